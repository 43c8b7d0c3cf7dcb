#!/usr/bin/env bash
# Runs dialog_test.exe against tapewell.exe under Wine on a private Xvfb
# display, recording from the private PulseAudio, and turns its screenshots
# into PNG files.
# Usage: dialog_test.sh DIALOG_TEST.EXE TAPEWELL.EXE SCREENSHOT-FOLDER   (exit 77: skipped)
set -euo pipefail
test_exe=$1
tapewell_exe=$2
shots=$3
if [ -z "${TAPEWELL_PULSE:-}" ] || [ -z "${WINE:-}" ] || ! command -v Xvfb >/dev/null; then
  echo "skipped: needs Xvfb and the private PulseAudio and Wine prefix of scripts/test-windows.sh"
  exit 77
fi
work=$(mktemp -d /tmp/tapewell-win-dialog.XXXXXX)
xvfb=""
cleanup() {
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/rec" "$shots"
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
winpath() { echo "Z:${1//\//\\}"; }
"$WINE" "$test_exe" "$(winpath "$tapewell_exe")" "$(winpath "$work/rec")" "$(winpath "$shots")"
for bmp in "$shots"/*.bmp; do
  python3 "$(dirname "$0")/../../win/bmp_to_png.py" "$bmp" "${bmp%.bmp}.png"
done
