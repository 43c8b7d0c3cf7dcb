#!/usr/bin/env bash
# Runs dialog_test.exe against tapewell.exe under Wine on the display of
# scripts/test-windows.sh, recording from the private PulseAudio, and turns its screenshots
# into PNG files.
# Usage: dialog_test.sh DIALOG_TEST.EXE TAPEWELL.EXE SCREENSHOT-FOLDER   (exit 77: skipped)
set -euo pipefail
test_exe=$1
tapewell_exe=$2
shots=$3
if [ -z "${TAPEWELL_PULSE:-}" ] || [ -z "${WINE:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "skipped: needs the private PulseAudio, Wine prefix and Xvfb display of scripts/test-windows.sh"
  exit 77
fi
work=$(mktemp -d /tmp/tapewell-win-dialog.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/rec" "$shots"
winpath() { echo "Z:${1//\//\\}"; }
"$WINE" "$test_exe" "$(winpath "$tapewell_exe")" "$(winpath "$work/rec")" "$(winpath "$shots")"
for bmp in "$shots"/*.bmp; do
  python3 "$(dirname "$0")/../../win/bmp_to_png.py" "$bmp" "${bmp%.bmp}.png"
done
