# Sourced by the fake `xcrun` and the fake `ios-shim`: answers from the
# fixture directory named by VYX_FAKE_IOS_DIR.
#
# Every call has a key (set by the fake, e.g. "simctl-launch" or
# "shim-snapshot") and is the n-th call with that key (counted in
# $VYX_FAKE_IOS_DIR/.count-<key>, from 1). An answer file for the call is
# looked up as "<key>.<n>.<ext>" first, then "<key>.<ext>":
#   <key>.out    printed on standard output
#   <key>.err    printed on standard error
#   <key>.exit   the exit code (one number; 0 when absent)
#   <key>.hang   present: sleep for a minute instead of answering (the caller's
#                time-out must kill it)
# The fakes add their own extensions (see each fake).

vyx_fixture_key=""
vyx_fixture_n=0

# vyx_fixture_begin <key>: counts this call of <key>.
vyx_fixture_begin() {
  vyx_fixture_key=$1
  [[ -n "${VYX_FAKE_IOS_DIR:-}" ]] || return 0
  local counter="$VYX_FAKE_IOS_DIR/.count-$vyx_fixture_key"
  local n=0
  [[ -f "$counter" ]] && n=$(<"$counter")
  vyx_fixture_n=$((n + 1))
  printf '%s\n' "$vyx_fixture_n" >"$counter"
}

# vyx_fixture_file <ext>: prints the answer file's path, fails when none.
vyx_fixture_file() {
  [[ -n "${VYX_FAKE_IOS_DIR:-}" ]] || return 1
  local f="$VYX_FAKE_IOS_DIR/$vyx_fixture_key.$vyx_fixture_n.$1"
  [[ -e "$f" ]] || f="$VYX_FAKE_IOS_DIR/$vyx_fixture_key.$1"
  [[ -e "$f" ]] || return 1
  printf '%s' "$f"
}

# vyx_fixture_answer [default stdout]: hangs, or prints the answer and exits
# with its code. Without an .out file the default is printed.
vyx_fixture_answer() {
  local f
  if f=$(vyx_fixture_file hang); then exec sleep 60; fi
  if f=$(vyx_fixture_file out); then cat "$f"; else printf '%s' "${1:-}"; fi
  if f=$(vyx_fixture_file err); then cat "$f" >&2; fi
  local code=0
  if f=$(vyx_fixture_file exit); then code=$(<"$f"); fi
  exit "$code"
}
