#!/usr/bin/env bash
# Builds every fuzz target under fuzz/ (clang 19, libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60), starting
# from its committed seeds (fuzz/corpus/<name>/ for fuzz/<name>_fuzz.cpp).
# Prints executions and findings per target; a finding (crash, leak, time-out,
# out-of-memory) is kept in build/fuzz/findings/<target>/ and makes the script
# exit 1.
#
# Usage: scripts/fuzz.sh [SECONDS] [-j JOBS] [TARGET...]
#   -j JOBS   run that many targets at a time (default 1)
#   TARGET    e.g. json_fuzz; default every fuzz/*_fuzz.cpp
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
jobs=1
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    -j) jobs=$2; shift 2 ;;
    -j*) jobs=${1#-j}; shift ;;
    [0-9]*) seconds=$1; shift ;;
    *) targets+=("${1%.cpp}"); shift ;;
  esac
done
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi

build=${VYX_FUZZ_BUILD_DIR:-build/fuzz}
cxx=${VYX_FUZZ_CXX:-clang++-19}
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVYX_FUZZ=ON -DVYX_TESTS=OFF -DVYX_BENCH=OFF >/dev/null
cmake --build "$build" -j "${VYX_BUILD_JOBS:-4}" --target "${targets[@]}"

# One target: fresh findings directory, working corpus kept between runs.
run_one() {
  local name=$1
  local corpus="$build/corpus/$name" findings="$build/findings/$name" log="$build/logs/$name.log"
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  local seeds=()
  [ -d "fuzz/corpus/${name%_fuzz}" ] && seeds=("fuzz/corpus/${name%_fuzz}")
  local before
  before=$(find "$findings" -type f | wc -l)
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    "$build/fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$corpus" "${seeds[@]}" >"$log" 2>&1 || true
  local execs found
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  found=$(( $(find "$findings" -type f | wc -l) - before ))
  printf '%-24s %14s executions %4d findings\n' "$name" "${execs:-?}" "$found"
  if [ "$found" -gt 0 ] || [ -z "$execs" ]; then
    find "$findings" -type f -newer "$log.start" | sed 's/^/  /'
    echo "  log: $log"
    return 1
  fi
}

status=0
pids=()
for name in "${targets[@]}"; do
  mkdir -p "$build/logs" && touch "$build/logs/$name.log.start"
  run_one "$name" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
exit $status
