#!/usr/bin/env bash
# The Windows tapewell-rec on a machine with no wave-input device at all
# (Wine's audio drivers switched off for these processes): --list-devices
# and a recording exit 1, and the hint points at Windows' recording devices,
# not at a sound server, which Windows does not have.
# Usage: no_device_test.sh TAPEWELL-REC.EXE   (exit 77: skipped)
set -euo pipefail
exe=$1
if [ -z "${WINE:-}" ]; then
  echo "skipped: needs the private Wine prefix of scripts/test-windows.sh"
  exit 77
fi
work=$(mktemp -d /tmp/tapewell-win-nodevice.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winepulse.drv,winealsa.drv,wineoss.drv=d"
hint="the wave-input service has no input (is a recording device connected and enabled under Sound settings?)"

status=0
timeout 60 "$WINE" "$exe" --list-devices </dev/null >"$work/out" 2>"$work/err" || status=$?
tr -d '\r' <"$work/err" >"$work/err.txt"
cat "$work/out" "$work/err.txt"
[ $status -eq 1 ] || fail "--list-devices exited with $status, not 1"
[ ! -s "$work/out" ] || fail "--list-devices listed devices"
grep -qxF "tapewell-rec: $hint" "$work/err.txt" || fail "--list-devices: no hint at the recording devices"
grep -qi "sound server" "$work/err.txt" && fail "the hint speaks of a sound server"

# A recording has no device to open: it says so and creates nothing.
mkdir "$work/rec"
status=0
timeout 60 "$WINE" "$exe" --duration 1 -w "Z:${work//\//\\}\\rec" </dev/null >"$work/out" 2>"$work/err" || status=$?
tr -d '\r' <"$work/err" >"$work/err.txt"
cat "$work/out" "$work/err.txt"
[ $status -eq 1 ] || fail "a recording without a device exited with $status, not 1"
grep -qF "enable it under Sound settings" "$work/err.txt" || fail "a recording without a device gives no hint"
[ -z "$(ls -A "$work/rec")" ] || fail "a recording without a device left files: $(ls "$work/rec")"
echo "ok"
