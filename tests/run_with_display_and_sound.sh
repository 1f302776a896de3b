#!/usr/bin/env bash
# Runs a command with a private X server and a private sound server, then
# stops both: Xvfb (1366x768x24, no TCP, a display number it picks free) and
# PulseAudio with one null sink on a unix socket in a private folder. The
# command sees DISPLAY and PULSE_SERVER pointing at them, so tests labelled
# "display" or "sound" that use the environment instead of starting their
# own servers can run on a headless machine without touching a real session.
#   tests/run_with_display_and_sound.sh ctest --test-dir build -L outside
set -euo pipefail
if [ $# -eq 0 ]; then
  echo "usage: $0 command [args...]" >&2
  exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/strivon-peers-XXXXXX")
xvfb_pid=""
pulse_pid=""
cleanup() {
  [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null && wait "$pulse_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

# Xvfb writes the display number it chose to the given descriptor once it
# accepts connections.
Xvfb -displayfd 3 -screen 0 1366x768x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 150); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; exit 1; }
  sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb did not come up" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

mkdir -p "$work/pulse-home" "$work/pulse-run"
(cd "$work" && HOME="$work/pulse-home" XDG_RUNTIME_DIR="$work/pulse-run" exec pulseaudio -n \
  --daemonize=no --exit-idle-time=-1 --disable-shm=yes --use-pid-file=no \
  -L "module-native-protocol-unix socket=$work/pulse.sock auth-anonymous=1" \
  -L "module-null-sink sink_name=strivon_null") >"$work/pulse.log" 2>&1 &
pulse_pid=$!
export PULSE_SERVER="unix:$work/pulse.sock"
for _ in $(seq 1 150); do
  pactl info >/dev/null 2>&1 && break
  kill -0 "$pulse_pid" 2>/dev/null || { cat "$work/pulse.log" >&2; exit 1; }
  sleep 0.1
done
pactl info >/dev/null 2>&1 || { echo "PulseAudio did not come up" >&2; exit 1; }

status=0
"$@" || status=$?
exit $status
