# Sourced by the fake `adb` and the fake `android-shim`: the fixture
# directory that describes the fake Android device, its screens and its
# configured failures. See tests/fakes/README.md ("Fake Android device").
#
#   fa_cat NAME           print the fixture file NAME of the current screen
#   fa_exit_code KEY      the exit code configured for the command KEY (0)
#   fa_maybe_advance KEY  move to the next screen when KEY advances screens

fa_dir=${VYX_FAKE_ANDROID_DIR:-}

# Index (from 0) of the current screen, and the screen names in order.
fa_screen_index() {
  local i=0
  [[ -n "$fa_dir" && -f "$fa_dir/.screen" ]] && i=$(<"$fa_dir/.screen")
  printf '%s' "${i:-0}"
}

fa_screens() {
  [[ -n "$fa_dir" && -f "$fa_dir/screens" ]] || return 0
  grep -v '^[[:space:]]*$' "$fa_dir/screens" || true
}

# The path of NAME for the current screen: <dir>/<screen>/NAME when the
# screen has it, else <dir>/NAME; nothing when neither exists.
fa_file() {
  local name=$1 screen
  [[ -n "$fa_dir" ]] || return 0
  screen=$(fa_screens | sed -n "$(( $(fa_screen_index) + 1 ))p")
  if [[ -n "$screen" && -f "$fa_dir/$screen/$name" ]]; then
    printf '%s' "$fa_dir/$screen/$name"
  elif [[ -f "$fa_dir/$name" ]]; then
    printf '%s' "$fa_dir/$name"
  fi
}

fa_cat() {
  local f
  f=$(fa_file "$1")
  [[ -n "$f" ]] && cat "$f"
  return 0
}

# True when the line-wise PREFIX list in FILE holds a prefix of KEY (whole
# words: KEY equals the prefix or continues it after a blank).
fa_key_matches() {
  local key=$1 prefix=$2
  [[ "$key" == "$prefix" || "$key" == "$prefix "* ]]
}

# Lines "<code> <command prefix>" in exit-codes; the first that matches wins.
fa_exit_code() {
  local key=$1 f code prefix
  f=$(fa_file exit-codes)
  if [[ -n "$f" ]]; then
    while read -r code prefix; do
      [[ -z "$code" || "$code" == \#* ]] && continue
      if fa_key_matches "$key" "$prefix"; then
        printf '%s' "$code"
        return 0
      fi
    done <"$f"
  fi
  printf '0'
}

fa_maybe_advance() {
  local key=$1 prefixes prefix count i
  [[ -n "$fa_dir" ]] || return 0
  if [[ -f "$fa_dir/advance-on" ]]; then
    prefixes=$(<"$fa_dir/advance-on")
  else
    prefixes=$'shell input tap\nshell input swipe\nshim tap\nshim swipe'
  fi
  while IFS= read -r prefix; do
    [[ -z "$prefix" ]] && continue
    if fa_key_matches "$key" "$prefix"; then
      count=$(fa_screens | wc -l)
      i=$(fa_screen_index)
      if (( i + 1 < count )); then printf '%s' "$((i + 1))" >"$fa_dir/.screen"; fi
      return 0
    fi
  done <<<"$prefixes"
}
