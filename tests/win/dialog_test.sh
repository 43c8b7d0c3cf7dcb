#!/usr/bin/env bash
# Runs dialog_test.exe against tapewell.exe under Wine on the display of
# scripts/test-windows.sh, recording from the private PulseAudio, and turns its screenshots
# into PNG files.
# The test runs in the English and in the Japanese UI.
# Usage: dialog_test.sh DIALOG_TEST.EXE TAPEWELL.EXE SCREENSHOT-FOLDER LOCALE-FOLDER   (exit 77: skipped)
set -euo pipefail
test_exe=$1
tapewell_exe=$2
shots=$3
locales=$4
if [ -z "${TAPEWELL_PULSE:-}" ] || [ -z "${WINE:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "skipped: needs the private PulseAudio, Wine prefix and Xvfb display of scripts/test-windows.sh"
  exit 77
fi
work=$(mktemp -d /tmp/tapewell-win-dialog.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/rec" "$shots"
winpath() { echo "Z:${1//\//\\}"; }
"$WINE" "$test_exe" "$(winpath "$tapewell_exe")" "$(winpath "$work/rec")" "$(winpath "$shots")"
# Once more in the Japanese UI: Wine takes it from LC_MESSAGES (the locale is
# compiled into the build tree, as for the Unicode test).
if [ ! -f "$locales/ja_JP.UTF-8/LC_CTYPE" ]; then
  mkdir -p "$locales"
  localedef -i ja_JP -f UTF-8 "$locales/ja_JP.UTF-8"
fi
mkdir "$work/rec-ja"
LOCPATH="$locales" LC_ALL=ja_JP.UTF-8 "$WINE" "$test_exe" "$(winpath "$tapewell_exe")" "$(winpath "$work/rec-ja")" \
  "$(winpath "$shots")"
for bmp in "$shots"/*.bmp; do
  python3 "$(dirname "$0")/../../win/bmp_to_png.py" "$bmp" "${bmp%.bmp}.png"
done
