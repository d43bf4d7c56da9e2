#!/usr/bin/env bash
# Builds vyx (Release, no sanitizers, into build/release) and runs the demo
# app's scenario (examples/demo) end to end against the fake Android device
# of tests/fakes, printing the run's JSON summary. The trace is left in
# traces/demo: trace.json, events.jsonl and artifacts/ (snapshots,
# screenshots, UI trees and the screen recording), with the run's HTML
# report (report.html) and JUnit XML (junit.xml) beside them.
#
# Usage: scripts/demo.sh [scenario.json]
# With a scenario file (for example one drafted from traces/demo by
# `vyx discover`) that scenario runs instead of the demo's own, on a fresh
# copy of the same fake device.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVYX_SANITIZE=OFF >/dev/null
cmake --build build/release --target vyx >/dev/null

# The fake device keeps its state (current screen, files on the device) in
# its fixture directory, so it runs on a copy.
device=$(mktemp -d)
trap 'rm -rf "$device"' EXIT
cp -R examples/demo/device/. "$device"/

status=0
VYX_FAKE_ANDROID_DIR="$device" ./build/release/vyx run "$@" --config examples/demo/.vyx/config.json \
  --adb tests/fakes/adb --trace-dir traces/demo --json || status=$?
# The report is written for a failed run too; a report that cannot be written
# only adds its own error line.
./build/release/vyx report traces/demo --out traces/demo/report.html --junit traces/demo/junit.xml >&2 || true
echo "trace: traces/demo (trace.json, events.jsonl, artifacts/, report.html, junit.xml)" >&2
exit "$status"
