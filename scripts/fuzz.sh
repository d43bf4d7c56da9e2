#!/usr/bin/env bash
# Builds every fuzz target under fuzz/ (clang 19, libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60), starting
# from its committed seeds (fuzz/corpus/<name>/ for fuzz/<name>_fuzz.cpp).
# Prints executions (summed over the workers), seconds and findings per
# target; a finding (crash, leak, time-out, out-of-memory) is kept in
# build/fuzz/findings/<target>/ and makes the script exit 1.
#
# Usage: scripts/fuzz.sh [SECONDS] [-j JOBS] [-w WORKERS] [TARGET...]
#   -j JOBS     run that many targets at a time (default 1)
#   -w WORKERS  run that many fuzzing processes per target, sharing its
#               working corpus (default 1); JOBS x WORKERS cores are busy
#   TARGET      e.g. json_fuzz; default every fuzz/*_fuzz.cpp
# Inputs are at most VYX_FUZZ_MAX_LEN bytes (default 4096). The default
# ASAN_OPTIONS keep a small quarantine of freed memory: the inputs are small,
# and the default 256 MB one makes every target several times slower.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
jobs=1
workers=1
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    -j) jobs=$2; shift 2 ;;
    -j*) jobs=${1#-j}; shift ;;
    -w) workers=$2; shift 2 ;;
    -w*) workers=${1#-w}; shift ;;
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
  local corpus="$build/corpus/$name" findings="$build/findings/$name" log="$build/logs/$name"
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  local seeds=()
  [ -d "fuzz/corpus/${name%_fuzz}" ] && seeds=("fuzz/corpus/${name%_fuzz}")
  local before started
  before=$(find "$findings" -type f | wc -l)
  started=$(date +%s)
  local worker pids=()
  for worker in $(seq 1 "$workers"); do
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:quarantine_size_mb=16} \
      UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
      "$build/fuzz/$name" -max_total_time="$seconds" -max_len="${VYX_FUZZ_MAX_LEN:-4096}" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "${seeds[@]}" \
      >"$log.$worker.log" 2>&1 &
    pids+=($!)
  done
  local pid
  for pid in "${pids[@]}"; do wait "$pid" || true; done
  local execs found counted
  execs=$(cat "$log".*.log | sed -n 's/^stat::number_of_executed_units: *//p' | awk '{n += $1} END {print n}')
  counted=$(cat "$log".*.log | grep -c '^stat::number_of_executed_units:' || true)
  found=$(( $(find "$findings" -type f | wc -l) - before ))
  printf '%-24s %14s executions %6ss %4d findings\n' "$name" "${execs:-?}" "$(( $(date +%s) - started ))" "$found"
  if [ "$found" -gt 0 ] || [ "$counted" -ne "$workers" ]; then
    find "$findings" -type f -newer "$log.start" | sed 's/^/  /'
    echo "  logs: $log.*.log"
    return 1
  fi
}

status=0
pids=()
for name in "${targets[@]}"; do
  mkdir -p "$build/logs" && rm -f "$build/logs/$name".*.log && touch "$build/logs/$name.start"
  run_one "$name" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
exit $status
