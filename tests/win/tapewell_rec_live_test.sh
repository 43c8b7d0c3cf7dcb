#!/usr/bin/env bash
# The Windows tapewell-rec under Wine, recording from the private PulseAudio
# through Wine's wave-input service: a tone, a silence of 2 s and another
# tone, split at a silence of 1 s, must come out as two track files that hold
# every frame of the 8 s recorded, the first tone in the first file and the
# second tone at the start of the second, with no frame dropped. Then Ctrl-C
# (SIGINT, which Wine turns into the console's Ctrl-C event) must stop a
# recording cleanly with its file completed.
# Usage: tapewell_rec_live_test.sh TAPEWELL-REC.EXE   (exit 77: skipped)
set -euo pipefail
exe=$1
if [ -z "${TAPEWELL_PULSE:-}" ] || [ -z "${WINE:-}" ]; then
  echo "skipped: needs the private PulseAudio and Wine prefix of scripts/test-windows.sh"
  exit 77
fi
work=$(mktemp -d /tmp/tapewell-win-live.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

rate=48000
seconds=8
sox -n -r $rate -c 2 -b 16 "$work/input.wav" synth 1.5 sine 440 vol 0.5 pad 0 2 : synth 1.5 sine 660 vol 0.5
mkdir "$work/rec"
# The input plays once the recorder has had time to start.
( sleep 2; paplay "$work/input.wav" ) &
player=$!
status=0
timeout 60 "$WINE" "$exe" -r $rate -a -l 10 --duration $seconds -w "Z:${work//\//\\}\\rec" </dev/null \
  >"$work/out.txt" 2>&1 || status=$?
wait $player || true
cat "$work/out.txt"
[ $status -eq 0 ] || fail "tapewell-rec.exe exited with $status"
grep -q '^frames dropped: 0' "$work/out.txt" || fail "frames were dropped"

near() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= t) }'; }
# What each file holds: its peak, and the pitch of a stretch of it.
peak() { sox "$1" -n trim "$2" "$3" stat 2>&1 | awk '/^Maximum amplitude/ {print $3}'; }

mapfile -t files < <(ls "$work/rec"/*.wav)
total=0
for f in "${files[@]}"; do
  [ "$(soxi -r "$f")" = $rate ] && [ "$(soxi -c "$f")" = 2 ] && [ "$(soxi -b "$f")" = 16 ] || fail "$f: not 16-bit stereo at $rate Hz"
  total=$((total + $(soxi -s "$f")))
done
[ $total -eq $((rate * seconds)) ] || fail "the files hold $total frames, recorded were $((rate * seconds))"
# When the capture started a second or more before the tone, the silence
# before it is a track of its own: digital silence only.
if [ ${#files[@]} -eq 3 ] && near "$(peak "${files[0]}" 0 -0)" 0 0.0001; then files=("${files[@]:1}"); fi
[ ${#files[@]} -eq 2 ] || fail "expected 2 track files with the tones, got ${#files[@]}: ${files[*]}"
pitch() { sox "$1" -n remix 1 trim "$2" "$3" stat 2>&1 | awk '/^Rough   frequency/ {print $3}'; }
first=${files[0]}
second=${files[1]}
near "$(peak "$first" 0 -0)" 0.5 0.02 || fail "the first tone is not in $first"
near "$(peak "$second" 0 0.05)" 0.5 0.02 || fail "$second does not start with the second tone"
near "$(pitch "$second" 0 1)" 660 20 || fail "the second file's tone is not 660 Hz: $(pitch "$second" 0 1)"
near "$(pitch "$first" -2.6 1)" 440 20 || fail "the first file's tone is not 440 Hz: $(pitch "$first" -2.6 1)"
echo "two tracks: $(soxi -s "$first") + $(soxi -s "$second") frames"

# Ctrl-C stops cleanly: exit 0, the file completed (its header states its frames).
mkdir "$work/ctrlc"
"$WINE" "$exe" -r 44100 -w "Z:${work//\//\\}\\ctrlc" </dev/null >"$work/ctrlc.txt" 2>&1 &
rec=$!
sleep 3
kill -INT $rec
status=0
wait $rec || status=$?
cat "$work/ctrlc.txt"
[ $status -eq 0 ] || fail "after Ctrl-C tapewell-rec.exe exited with $status"
mapfile -t files < <(ls "$work/ctrlc"/*.wav)
[ ${#files[@]} -eq 1 ] || fail "expected 1 file after Ctrl-C, got ${#files[@]}"
bytes=$(stat -c %s "${files[0]}")
frames=$(soxi -s "${files[0]}")
[ "$frames" -gt 44100 ] || fail "Ctrl-C after 3 s left only $frames frames"
[ $((44 + frames * 4)) -eq "$bytes" ] || fail "the header states $frames frames but the file has $bytes bytes"
echo "Ctrl-C: $frames frames, file completed"
