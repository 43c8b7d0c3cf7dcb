#!/usr/bin/env bash
# Splits the same generated 44.1 kHz stereo file (10 min 16 s: 20 s tones
# with 2 s silences) with `tapewell-rec --input FILE --fast -a` and with SoX,
# alternating runs, and prints the median wall time of each, their ratio and
# tapewell-rec's peak RSS.
# Usage: bench/split_vs_sox.sh [path to tapewell-rec] (default: build-rel, built if missing)
set -euo pipefail
cd "$(dirname "$0")/.."
rec=${1:-build-rel/cli/tapewell-rec}
if [ ! -x "$rec" ]; then
  cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build-rel --target tapewell-rec >/dev/null
fi
work=$(mktemp -d /tmp/tapewell-split-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
sox -n -r 44100 -c 2 -b 16 "$work/unit.wav" synth 20 sine 440 vol 0.5 : synth 2 sine 0 vol 0
sox "$work/unit.wav" "$work/long.wav" repeat 27
echo "input: $(soxi -D "$work/long.wav") s, $(soxi -s "$work/long.wav") frames"

runs=7
: > "$work/rec.times"
: > "$work/sox.times"
for i in $(seq $runs); do
  rm -rf "$work/rec" "$work/sox" && mkdir "$work/rec" "$work/sox"
  /usr/bin/time -f "%e %M" -a -o "$work/rec.times" "$rec" --input "$work/long.wav" --fast -a -w "$work/rec" >/dev/null
  (cd "$work/sox" && /usr/bin/time -f "%e %M" -a -o "$work/sox.times" \
     sox "$work/long.wav" trk%3n.wav silence 1 0.1t 1% 1 1.0t 1% : newfile : restart)
done
echo "tracks: tapewell-rec $(ls "$work/rec" | wc -l), sox $(ls "$work/sox" | wc -l)"
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
rec_median=$(cut -d' ' -f1 "$work/rec.times" | median)
sox_median=$(cut -d' ' -f1 "$work/sox.times" | median)
rec_rss=$(cut -d' ' -f2 "$work/rec.times" | sort -n | tail -n 1)
echo "median tapewell-rec: ${rec_median} s"
echo "median sox:          ${sox_median} s"
awk -v a="$sox_median" -v b="$rec_median" 'BEGIN { if (b > 0) printf "ratio sox / tapewell-rec: %.1fx\n", a / b; else print "ratio: tapewell-rec too fast to time" }'
echo "peak RSS tapewell-rec: ${rec_rss} KB"
