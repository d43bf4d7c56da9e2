#!/usr/bin/env bash
# Installs what building and testing vyx needs on a fresh Debian machine.
set -euo pipefail
need=()
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v g++ >/dev/null || need+=(g++)
command -v python3 >/dev/null || need+=(python3)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/gmock/gmock.h ] || need+=(libgmock-dev)
[ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
# Readers that judge the bundles and reports in the tests.
command -v tar >/dev/null || need+=(tar)
command -v xmllint >/dev/null || need+=(libxml2-utils)
command -v chromium >/dev/null || need+=(chromium)
# The real adb that the doctor tests run.
command -v adb >/dev/null || need+=(adb)
# Fuzzing: clang 19 and its libFuzzer and sanitizer runtimes.
command -v clang++-19 >/dev/null || need+=(clang-19)
compgen -G '/usr/lib/llvm-19/lib/clang/*/lib/linux/libclang_rt.fuzzer-*.a' >/dev/null || need+=(libclang-rt-19-dev)
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update
  $SUDO apt-get install -y "${need[@]}"
fi
# The MCP clients the tests run against `vyx mcp` (Node.js packages, kept in
# the test folder that uses them).
if ! command -v npm >/dev/null; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update
  $SUDO apt-get install -y nodejs npm
fi
clients="$(cd "$(dirname "$0")/.." && pwd)/tests/mcp_client"
[ -d "$clients/node_modules/@modelcontextprotocol/sdk" ] || (cd "$clients" && npm ci --no-audit --no-fund)
