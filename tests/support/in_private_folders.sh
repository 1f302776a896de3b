#!/usr/bin/env bash
# in_private_folders.sh <test> [args...]: runs one CTest test with HOME, the
# XDG folders and TMPDIR in a fresh folder of its own, removed when the test
# ends. Whatever the test or a library under it writes on its own account
# (Qt's settings and runtime folder, PulseAudio's client folders, font and
# shader caches, gtest's temporary files) stays out of the user's home and
# the shared /tmp, and no test sees what an earlier one left there.
# STRIVON_KEEP_TEMP=1 keeps the folder of a failing test and prints its path.
set -u
base=$(mktemp -d "${TMPDIR:-/tmp}/strivon-test-XXXXXX") || exit 1
mkdir -p "$base/home" "$base/run" "$base/tmp" || exit 1
chmod 700 "$base/run"
export HOME="$base/home" XDG_RUNTIME_DIR="$base/run" XDG_CONFIG_HOME="$base/home/.config" \
  XDG_CACHE_HOME="$base/home/.cache" XDG_DATA_HOME="$base/home/.local/share" \
  TMPDIR="$base/tmp" TEST_TMPDIR="$base/tmp/"

"$@" &
child=$!
# CTest ends a test that ran out of time with a signal to this script; pass
# it on so the test can stop what it started.
trap 'kill -TERM "$child" 2>/dev/null' TERM INT HUP
status=0
while :; do
  wait "$child"
  status=$?
  kill -0 "$child" 2>/dev/null || break
done
if [ $status -ne 0 ] && [ -n "${STRIVON_KEEP_TEMP:-}" ]; then
  echo "in_private_folders: kept $base" >&2
else
  rm -rf "$base"
fi
exit $status
