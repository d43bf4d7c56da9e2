# Sourced by the fake tools under tests/fakes/ to record how they were called.
#
#   source "$(dirname "$0")/lib/record.sh"
#   vyx_fake_record "$@"        # log this invocation's arguments
#   vyx_fake_read_stdin         # read all of stdin into VYX_FAKE_STDIN and log it
#
# Nothing is written unless VYX_FAKE_LOG names the log file. Every record is
# one line of tab-separated fields, each field escaped so that it holds no
# tab or line feed:  \ -> \\   tab -> \t   line feed -> \n   carriage return -> \r
#
#   call<TAB><pid><TAB><tool><TAB><arg 1><TAB>...<TAB><arg n>
#   stdin<TAB><pid><TAB><bytes read from standard input>
#
# <tool> is the fake's file name (basename of $0). A call without arguments
# ends right after <tool>; an empty argument is an empty field. A stdin record
# belongs to the call record with the same pid. tests/support/fake_log.hpp
# reads the log back. (Bash cannot hold NUL bytes, so neither can the log.)

vyx_fake_escape() {
  local s=$1
  s=${s//\\/\\\\}
  s=${s//$'\t'/\\t}
  s=${s//$'\n'/\\n}
  s=${s//$'\r'/\\r}
  printf '%s' "$s"
}

vyx_fake_record() {
  [[ -n "${VYX_FAKE_LOG:-}" ]] || return 0
  local line arg
  line="call"$'\t'"$$"$'\t'"$(vyx_fake_escape "${0##*/}")"
  for arg in "$@"; do
    line+=$'\t'"$(vyx_fake_escape "$arg")"
  done
  printf '%s\n' "$line" >>"$VYX_FAKE_LOG"
}

vyx_fake_read_stdin() {
  # The trailing "x" keeps the input's own trailing line feeds.
  VYX_FAKE_STDIN=$(cat; printf x)
  VYX_FAKE_STDIN=${VYX_FAKE_STDIN%x}
  [[ -n "${VYX_FAKE_LOG:-}" ]] || return 0
  printf 'stdin\t%s\t%s\n' "$$" "$(vyx_fake_escape "$VYX_FAKE_STDIN")" >>"$VYX_FAKE_LOG"
}
