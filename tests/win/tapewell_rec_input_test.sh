#!/usr/bin/env bash
# The Windows tapewell-rec under Wine reads its --input through the
# cross-built libsndfile as on Linux: a file that ffmpeg writes at 96 kHz
# (an extensible header after a LIST chunk) splits into tracks whose data,
# joined, is the input's; the same stream on standard input gives the same
# tracks byte for byte; 8-bit mono and 24-bit stereo are kept (the 24-bit
# tracks written by their own writer); a 24-bit file with six channels is
# refused by name with exit status 2 and nothing created.
# Usage: tapewell_rec_input_test.sh TAPEWELL-REC.EXE   (exit 77: skipped)
set -euo pipefail
exe=$1
if [ -z "${WINE:-}" ]; then
  echo "skipped: needs the private Wine prefix of scripts/test-windows.sh"
  exit 77
fi
work=$(mktemp -d /tmp/tapewell-win-input.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
win() { echo "Z:${1//\//\\}"; }
rec() { timeout 60 "$WINE" "$exe" "$@"; }

# A tone, 0.3 s of digital silence, another tone: two tracks at -l 2.
sox -n -r 96000 -c 2 -b 16 "$work/base.wav" synth 0.4 sine 440 vol 0.5 : synth 0.3 sine 0 vol 0 : \
  synth 0.5 sine 700 vol 0.5
ffmpeg -nostdin -loglevel error -i "$work/base.wav" -c:a pcm_s16le "$work/x96.wav"
[ "$(od -An -tx2 -j20 -N2 "$work/x96.wav" | tr -d ' ')" = fffe ] || fail "ffmpeg wrote no extensible header"

mkdir "$work/file" "$work/pipe"
rec --input "$(win "$work/x96.wav")" --fast -a -l 2 -w "$(win "$work/file")" >/dev/null || fail "the file: exit $?"
ffmpeg -nostdin -loglevel error -i "$work/x96.wav" -f wav - |
  rec --input - --fast -a -l 2 -w "$(win "$work/pipe")" >/dev/null || fail "standard input: exit $?"
mapfile -t tracks < <(cd "$work/file" && ls)
[ ${#tracks[@]} -eq 2 ] || fail "expected 2 tracks from the file, got ${#tracks[@]}"
[ "$(cd "$work/pipe" && ls)" = "$(cd "$work/file" && ls)" ] || fail "standard input made other tracks"
for t in "${tracks[@]}"; do cmp -s "$work/file/$t" "$work/pipe/$t" || fail "$t differs between file and stream"; done
cmp -s <(sox "$work"/file/*.wav -t raw -) <(sox "$work/x96.wav" -t raw -) || fail "the tracks' data is not the input's"

sox "$work/base.wav" -b 8 -c 1 "$work/mono8.wav"
mkdir "$work/mono8"
rec --input "$(win "$work/mono8.wav")" --fast -a -l 2 -w "$(win "$work/mono8")" >/dev/null || fail "8-bit mono: exit $?"
for t in "$work"/mono8/*.wav; do
  [ "$(soxi -b "$t")" = 8 ] && [ "$(soxi -c "$t")" = 1 ] || fail "$t: not 8-bit mono"
done
cmp -s <(sox "$work"/mono8/*.wav -t raw -) <(sox "$work/mono8.wav" -t raw -) || fail "8-bit mono data changed"

sox "$work/base.wav" -b 24 "$work/b24.wav"
mkdir "$work/b24"
rec --input "$(win "$work/b24.wav")" --fast -a -l 2 -w "$(win "$work/b24")" >/dev/null || fail "24-bit: exit $?"
mapfile -t tracks < <(cd "$work/b24" && ls)
[ ${#tracks[@]} -eq 2 ] || fail "expected 2 tracks from the 24-bit file, got ${#tracks[@]}"
for t in "${tracks[@]}"; do [ "$(soxi -b "$work/b24/$t")" = 24 ] || fail "$t: not 24-bit"; done
cmp -s <(sox "$work"/b24/*.wav -t raw -) <(sox "$work/b24.wav" -t raw -) || fail "24-bit data changed"

sox -M "$work/base.wav" "$work/base.wav" "$work/base.wav" -b 24 "$work/six.wav"
mkdir "$work/six"
status=0
rec --input "$(win "$work/six.wav")" --fast -w "$(win "$work/six")" >/dev/null 2>"$work/err.txt" || status=$?
[ $status -eq 2 ] || fail "six channels: exit $status"
grep -q "is 6 channels;" "$work/err.txt" || fail "six channels: $(cat "$work/err.txt")"
[ -z "$(ls "$work/six")" ] || fail "six channels: files were created"
echo "ok"
