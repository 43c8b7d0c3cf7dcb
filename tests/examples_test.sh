#!/usr/bin/env bash
# Every example in the README (its ```sh blocks) and in the man pages (their
# .EX blocks) runs as typed, with the programs of BUILD_DIR first on PATH, in
# a scratch folder with generated inputs of the names the examples use and a
# scratch home folder. Examples that record from the audio input are stopped
# with SIGINT after a few seconds (or SIGTERM for the window) and must end
# with status 0; they are skipped when no audio input answers. tapewell-card
# has no card here: its examples must get as far as looking for it (status 1).
#   examples_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$(cd "$1" && pwd -P)
build=$(cd "$2" && pwd -P)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0 checked=0 skipped=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The examples, one a line: "SOURCE<TAB>COMMAND".
examples() {
  awk -v name=README.md '/^```sh$/ {on = 1; next} /^```/ {on = 0} on {print name "\t" $0}' "$src/README.md"
  for page in "$src"/packaging/man/*.1; do
    # In a block that shows a prompt ("$ "), only the prompted lines are commands.
    awk -v name="$(basename "$page")" '
      /^\.EX/ {on = 1; n = 0; prompted = 0; next}
      /^\.EE/ {for (i = 1; i <= n; i++) if (!prompted || lines[i] ~ /^\$ /) {l = lines[i]; sub(/^\$ /, "", l); print name "\t" l}
               on = 0; next}
      on {gsub(/\\-/, "-"); lines[++n] = $0; if ($0 ~ /^\$ /) prompted = 1}' "$page"
  done
}

export PATH="$build/cli:$build/app:$PATH" HOME="$scratch/home"
export LANG=C.UTF-8 LC_ALL= LANGUAGE=
mkdir -p "$HOME" "$scratch/work"
cd "$scratch/work"
# A tone, 2 s of silence and another tone: two tracks at any length up to 2 s.
sox -n -r 44100 -c 2 -b 16 concert.wav synth 3 sine 440 : synth 2 sine 0 vol 0 : synth 3 sine 880
sox concert.wav concert.flac
cp concert.wav side-a.wav
cp concert.wav in.wav
live=no
tapewell-rec --list-devices >/dev/null 2>&1 && live=yes

# How many .wav files the scratch folder holds, and how many more than before the example.
wavs() { find "$scratch" -name '*.wav' | wc -l; }
new_tracks() { echo $(($(wavs) - before)); }

while IFS=$'\t' read -r from line; do
  line=${line%%#*}                       # a comment after the command
  line=$(sed -E 's/[[:space:]]+$//' <<<"$line")
  [ -n "$line" ] || continue
  first=${line%% *}
  case $first in
    tapewell-rec | tapewell | tapewell-card | ffmpeg | kill) ;;
    *) continue ;;                       # set-up commands (scripts/, sudo apt ...), not examples
  esac
  before=$(wavs)
  status=0
  case $line in
    tapewell-card*)
      bash -c "$line" >"$scratch/out" 2>&1 || status=$?
      [ "$status" = 1 ] || fail "$from: '$line' exited $status, not 1 (no card here): $(cat "$scratch/out")"
      ;;
    kill*)
      if [ "$live" = no ]; then skipped=$((skipped + 1)); continue; fi
      tapewell-rec -w "$scratch/marks" </dev/null >/dev/null 2>&1 &
      recorder=$!
      # pidof answers with this recorder alone: other recorders on the
      # machine (other tests) get no signal from here.
      mkdir -p "$scratch/bin"
      printf '#!/bin/sh\necho %s\n' "$recorder" >"$scratch/bin/pidof"
      chmod +x "$scratch/bin/pidof"
      sleep 2
      PATH="$scratch/bin:$PATH" bash -c "$line" || status=$?
      sleep 1
      kill -INT "$recorder"
      wait "$recorder" || status=$?
      [ "$status" = 0 ] && [ "$(find "$scratch/marks" -name '*.wav' | wc -l)" = 2 ] ||
        fail "$from: '$line' (status $status) did not mark a track: $(ls "$scratch/marks")"
      ;;
    tapewell\ * | tapewell)
      if [ ! -x "$build/app/tapewell" ]; then skipped=$((skipped + 1)); continue; fi
      QT_QPA_PLATFORM=offscreen timeout --preserve-status -s TERM 3 bash -c "exec $line" </dev/null \
        >"$scratch/out" 2>&1 || status=$?
      [ "$status" = 0 ] || fail "$from: '$line' exited $status: $(cat "$scratch/out")"
      ;;
    *--input* | *--help* | *--version*)
      timeout 60 bash -c "$line" </dev/null >"$scratch/out" 2>&1 || status=$?
      [ "$status" = 0 ] || fail "$from: '$line' exited $status: $(cat "$scratch/out")"
      if [[ $line == *" -a "* && $line != *--dry-run* ]]; then
        [ "$(new_tracks)" = 2 ] || fail "$from: '$line' made $(new_tracks) tracks, not 2"
      fi
      ;;
    *)
      if [ "$live" = no ]; then skipped=$((skipped + 1)); continue; fi
      timeout --preserve-status -s INT 3 bash -c "exec $line" </dev/null >"$scratch/out" 2>&1 || status=$?
      [ "$status" = 0 ] || fail "$from: '$line' exited $status: $(cat "$scratch/out")"
      # A trimmed take of an input that stays silent keeps no track, and says so.
      [[ $line == *--list-devices* ]] || [ "$(new_tracks)" -ge 1 ] ||
        { [[ $line == *--trim* ]] && grep -q 'nothing but silence was heard' "$scratch/out"; } ||
        fail "$from: '$line' made no track"
      ;;
  esac
  checked=$((checked + 1))
done < <(examples)

echo "examples: $checked checked, $skipped skipped (no audio input or no window), $failures failures"
[ "$checked" -ge 8 ] || fail "found only $checked examples"
[ "$failures" -eq 0 ]
