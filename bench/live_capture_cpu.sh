#!/usr/bin/env bash
# CPU time of a live capture at 48 kHz (default 60 s) from a private
# PulseAudio null sink: user + sys seconds per wall second of tapewell-rec.
# Usage: bench/live_capture_cpu.sh [seconds] [path to tapewell-rec]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
rec=${2:-build-rel/cli/tapewell-rec}
if [ ! -x "$rec" ]; then
  cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build-rel --target tapewell-rec >/dev/null
fi
source scripts/pulse-private.sh
pulse_private_start || { echo "no PulseAudio server could start" >&2; exit 1; }
work=$(mktemp -d /tmp/tapewell-cpu-bench.XXXXXX)
pacat --playback --format=s16le --channels=2 --rate=48000 </dev/zero &
player=$!
trap 'kill $player 2>/dev/null; pulse_private_stop; rm -rf "$work"' EXIT
# The first client of a fresh server pays for the server setting up its
# streams; a short first run is reported on its own, then the measured one.
for run in first measured; do
  length=$seconds
  [ "$run" = first ] && length=3
  /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$rec" -r 48000 -a --duration "$length" -w "$work" >"$work/out"
  read -r wall user sys rss < "$work/time"
  echo "$run run (${length} s of audio): $(tail -n 1 "$work/out"); wall ${wall} s, user ${user} s, sys ${sys} s, peak RSS ${rss} KB"
  awk -v w="$wall" -v u="$user" -v s="$sys" -v r="$run" 'BEGIN { printf "%s run CPU: %.2f %% of one core\n", r, 100 * (u + s) / w }'
done
