#!/usr/bin/env bash
# The Windows tapewell-rec under Wine with folder and file names that Windows'
# ANSI code page cannot spell: Japanese letters and blanks. In the English and
# in the Japanese UI it must read its input from such a folder, write its
# track file there under the folder's real name with every frame of the
# input, and name such paths in its messages as they are.
# Usage: unicode_paths_test.sh TAPEWELL-REC.EXE LOCALE-FOLDER   (exit 77: skipped)
set -euo pipefail
exe=$1
locales=$2
if [ -z "${WINE:-}" ]; then
  echo "skipped: needs the Wine prefix of scripts/test-windows.sh"
  exit 77
fi
work=$(mktemp -d /tmp/tapewell-win-unicode.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }

# The Japanese UI: Wine takes Windows' UI language from LC_MESSAGES, and
# needs the locale to decode the command line. It is compiled once into the
# build tree, so that no system locale has to be installed.
if [ ! -f "$locales/ja_JP.UTF-8/LC_CTYPE" ]; then
  mkdir -p "$locales"
  localedef -i ja_JP -f UTF-8 "$locales/ja_JP.UTF-8" || fail "cannot compile the ja_JP.UTF-8 locale (package locales)"
fi

in_dir="$work/入力 フォルダ"
mkdir "$in_dir"
input="$in_dir/入力 ファイル.wav"
sox -n -r 44100 -c 2 -b 16 "$input" synth 1.5 sine 440 vol 0.5 : synth 0.5 sine 880 vol 0.25
want_frames=$(soxi -s "$input")
want_sum=$(sox "$input" -t raw - | md5sum)

check_ui() {  # $1: name of the UI, $2: the file line's prefix, then the environment
  local ui=$1 prefix=$2
  shift 2
  local out_dir="$work/日本語 フォルダ $ui/録音 先"
  mkdir -p "$out_dir"
  local status=0
  env "$@" "$WINE" "$exe" --input "$(winpath "$input")" --fast -w "$(winpath "$out_dir")" </dev/null \
    >"$work/out.txt" 2>&1 || status=$?
  # Status 1 with nothing said is Wine failing to start the program (seen
  # once, right after the window's test ended its processes): the program
  # itself always says why it fails. That start is tried once more.
  if [ $status -eq 1 ] && [ ! -s "$work/out.txt" ] && [ -z "$(ls "$out_dir")" ]; then
    echo "note: Wine did not start tapewell-rec.exe (status 1, no output); trying once more"
    status=0
    env "$@" "$WINE" "$exe" --input "$(winpath "$input")" --fast -w "$(winpath "$out_dir")" </dev/null \
      >"$work/out.txt" 2>&1 || status=$?
  fi
  tr -d '\r' <"$work/out.txt" >"$work/out-$ui.txt"
  cat "$work/out-$ui.txt"
  [ $status -eq 0 ] || fail "$ui UI: tapewell-rec.exe exited with $status"
  mapfile -t files < <(ls "$out_dir")
  [ ${#files[@]} -eq 1 ] || fail "$ui UI: expected 1 track file in '$out_dir', found: ${files[*]:-none}"
  local file="$out_dir/${files[0]}"
  # An event line is the text, then a tab with the time and the frame position.
  head -n 1 "$work/out-$ui.txt" | cut -f1 | grep -qxF "$prefix$(winpath "$file")" ||
    fail "$ui UI: the file line does not name '$(winpath "$file")' after '$prefix'"
  [ "$(soxi -s "$file")" = "$want_frames" ] || fail "$ui UI: the track holds $(soxi -s "$file") frames, not $want_frames"
  [ "$(sox "$file" -t raw - | md5sum)" = "$want_sum" ] || fail "$ui UI: the track's frames differ from the input's"

  # A file that is not there: the message names it as given.
  status=0
  env "$@" "$WINE" "$exe" --input "$(winpath "$in_dir/無い ファイル.wav")" -w "$(winpath "$out_dir")" </dev/null \
    >"$work/missing.txt" 2>&1 || status=$?
  cat "$work/missing.txt"
  [ $status -eq 2 ] || fail "$ui UI: a missing input gave exit status $status, not 2"
  grep -qF "'$(winpath "$in_dir/無い ファイル.wav")'" "$work/missing.txt" || fail "$ui UI: the message does not name the missing file"
  echo "$ui UI: ${files[0]} in '$out_dir', $want_frames frames as in the input"
}

check_ui English "REC - " LC_ALL=C.UTF-8
check_ui Japanese "録音中 - " LOCPATH="$locales" LC_ALL=ja_JP.UTF-8
