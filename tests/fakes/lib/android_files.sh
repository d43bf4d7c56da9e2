# Sourced by the fake `adb`: the fake device's own files, kept under
# <VYX_FAKE_ANDROID_DIR>/.device/<device path>, for screen recording and
# pulling files off the device.
#
#   fa_screenrecord PATH   records until SIGINT (at most 300 s), then leaves
#                          the file PATH on the device; its content is the
#                          fixture file screenrecord.mp4, else a fixed text.
#                          With the fixture file screenrecord-ignores-sigint
#                          it ignores SIGINT and writes its pid into that file
#   fa_await_recorder      with screenrecord-ignores-sigint: waits (at most
#                          10 s) until the recorder has taken up its pid, so
#                          it cannot be interrupted before it ignores SIGINT
#   fa_pull REMOTE LOCAL   copies a device file to LOCAL; a missing one fails
#                          like adb (exit 1)
#   fa_device_rm PATH      removes a device file (shell rm -f)

fa_device_path() { printf '%s/.device%s' "$fa_dir" "$1"; }

fa_screenrecord() {
  local remote=$1 stop=0 i stubborn
  stubborn=$(fa_file screenrecord-ignores-sigint)
  if [[ -n "$stubborn" ]]; then
    trap '' INT
    printf '%s\n' "$$" >"$stubborn"
  else
    trap 'stop=1' INT
  fi
  for ((i = 0; i < 6000 && stop == 0; i++)); do sleep 0.05; done
  [[ -n "$fa_dir" ]] || return 0
  mkdir -p "$(dirname "$(fa_device_path "$remote")")"
  local src
  src=$(fa_file screenrecord.mp4)
  if [[ -n "$src" ]]; then cp "$src" "$(fa_device_path "$remote")"; else printf 'fake screen recording\n' >"$(fa_device_path "$remote")"; fi
}

fa_await_recorder() {
  local f i
  f=$(fa_file screenrecord-ignores-sigint)
  [[ -n "$f" ]] || return 0
  for ((i = 0; i < 200; i++)); do
    [[ -s "$f" ]] && return 0
    sleep 0.05
  done
}

fa_pull() {
  local remote=$1 local_path=$2
  if [[ -z "$fa_dir" || ! -f "$(fa_device_path "$remote")" ]]; then
    printf "adb: error: failed to stat remote object '%s': No such file or directory\n" "$remote" >&2
    exit 1
  fi
  cp "$(fa_device_path "$remote")" "$local_path" || exit 1
  printf '%s: 1 file pulled.\n' "$remote"
}

fa_device_rm() {
  [[ -n "$fa_dir" ]] || return 0
  rm -f "$(fa_device_path "$1")"
}
