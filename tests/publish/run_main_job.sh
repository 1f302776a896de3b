#!/usr/bin/env bash
# Runs the main job (scripts/run without an address) as a headless machine
# would: no display and no sound server, so it starts its own Xvfb,
# PulseAudio and nginx-rtmp. Checks that it succeeds, reports the server's
# acceptance and per-second statistics, and that the server recorded H.264
# pictures and AAC sound for the whole time asked for.
# Usage: run_main_job.sh <source folder> <build folder>
set -uo pipefail
source_dir=$1
build_dir=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "FAILED: $*"
  echo "--- output of scripts/run ---"
  cat "$scratch/out"
  exit 1
}

status=0
env -u DISPLAY PULSE_SERVER="unix:$scratch/no-sound-server" TMPDIR="$scratch" \
  STRIVON_RUN_NO_SETUP=1 STRIVON_BUILD_DIR="$build_dir" \
  "$source_dir/scripts/run" --seconds 4 --size 640x360 >"$scratch/out" 2>&1 || status=$?

[ "$status" -eq 0 ] || fail "scripts/run exited with $status"
grep -q 'screen: a private Xvfb' "$scratch/out" || fail "no private display"
grep -q 'sound: a private PulseAudio' "$scratch/out" || fail "no private sound server"
grep -q 'status .*: NetStream.Publish.Start$' "$scratch/out" || fail "the server never accepted the stream"
grep -Eq '^ +[0-9]+s  video +[0-9]+ kbit/s  audio +[0-9]+ kbit/s  frames +[1-9][0-9]* ' "$scratch/out" ||
  fail "no statistics line with pictures sent"
grep -q '^  video: h264 .* 640x360' "$scratch/out" || fail "the recording holds no 640x360 H.264 pictures"
grep -q '^  audio: aac .* 44100 Hz, 2 channels' "$scratch/out" || fail "the recording holds no AAC stereo sound"
# --seconds counts from the server's acceptance: the recording holds them
# all, not what was left of them after connecting.
duration=$(sed -n 's/^  duration: \([0-9.]*\) s,.*/\1/p' "$scratch/out")
[ -n "$duration" ] || fail "no duration in the summary"
awk -v d="$duration" 'BEGIN { exit !(d >= 3.7 && d <= 5.0) }' || fail "recorded $duration s of a 4 s run"
# Everything the run started is gone: only the kept recording stays.
pgrep -af "$scratch" && fail "processes still running"
leftovers=$(find "$scratch" -mindepth 1 -maxdepth 1 ! -name out ! -name 'strivon-recording-*')
[ -z "$leftovers" ] || fail "left behind: $leftovers"
echo "main job: ok"
