#!/usr/bin/env bash
# Builds vyx with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test (unit and end-to-end) through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VYX_BUILD_DIR:-build/test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVYX_SANITIZE=ON -DVYX_TESTS=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
