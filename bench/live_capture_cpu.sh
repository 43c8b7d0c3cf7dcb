#!/usr/bin/env bash
# A live recording as a user makes it, side by side with the standard tools:
# tapewell-rec, arecord (through ALSA's pulse plugin) and parecord each record
# the private server's null-sink monitor at 48 kHz for SECONDS, in ROUNDS
# rounds whose order rotates (A B C, B C A, C A B, ...). For each tool: client
# CPU (user + sys over wall time, % of one core), peak RSS, and the time from
# launch until the server has the tool's record stream. Then the per-round
# ratios of tapewell-rec's CPU to each peer's, min/median/max.
#
# Usage: bench/live_capture_cpu.sh [SECONDS=60] [ROUNDS=5] [pulseaudio|pipewire]
# TAPEWELL_BENCH_PORTAUDIO=1 adds tapewell-rec through PortAudio (the fallback).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
rounds=${2:-5}
kind=${3:-pulseaudio}
rec=${TAPEWELL_REC:-build-rel/cli/tapewell-rec}
if [ ! -x "$rec" ]; then
  cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build-rel --target tapewell-rec >/dev/null
fi
for tool in arecord parecord pacat pactl; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done

source scripts/sound-server.sh
sound_server_start "$kind" || { echo "no private $kind server could start" >&2; exit 1; }
work=$(mktemp -d /tmp/tapewell-live-bench.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  sound_server_stop
  rm -rf "$work"
}
trap cleanup EXIT

# The null sink runs (its monitor delivers frames) while something plays.
pacat --playback --format=s16le --channels=2 --rate=48000 </dev/zero &
pids+=($!)
# Every new record stream, stamped as the server announces it.
pactl subscribe 2>/dev/null | while read -r line; do
  case $line in *"'new' on source-output"*) echo "$(date +%s.%N) $line" ;; esac
done > "$work/streams" &
pids+=($!)
sleep 1

tools=(tapewell-rec arecord parecord)
[ "${TAPEWELL_BENCH_PORTAUDIO:-0}" = 1 ] && tools+=(tapewell-rec-portaudio)

# run TOOL ROUND: records, appends "tool cpu% rss_kb first_stream_ms" to $work/results.
run() {
  local tool=$1 round=$2 out="$work/$1-$2"
  mkdir -p "$out"
  local before start
  before=$(wc -l < "$work/streams")
  start=$(date +%s.%N)
  case $tool in
    tapewell-rec)
      TAPEWELL_AUDIO=pulse /usr/bin/time -f "%e %U %S %M" -o "$out/time" \
        "$rec" -r 48000 --duration "$seconds" -w "$out" >"$out/log" 2>&1 ;;
    tapewell-rec-portaudio)
      TAPEWELL_AUDIO=portaudio /usr/bin/time -f "%e %U %S %M" -o "$out/time" \
        "$rec" -r 48000 --duration "$seconds" -w "$out" >"$out/log" 2>&1 ;;
    arecord)
      /usr/bin/time -f "%e %U %S %M" -o "$out/time" \
        arecord -q -D pulse -f S16_LE -c 2 -r 48000 -d "$seconds" "$out/a.wav" >"$out/log" 2>&1 ;;
    parecord)
      # parecord records until it is told to stop.
      /usr/bin/time -f "%e %U %S %M" -o "$out/time" \
        timeout -s INT "$seconds" parecord --format=s16le --channels=2 --rate=48000 --file-format=wav \
        "$out/p.wav" >"$out/log" 2>&1 || true ;;
  esac
  sleep 0.3
  local stream
  stream=$(tail -n +"$((before + 1))" "$work/streams" | head -n 1 | cut -d' ' -f1)
  read -r wall user sys rss < <(tail -n 1 "$out/time")  # after a "Command exited..." line
  awk -v t="$tool" -v w="$wall" -v u="$user" -v s="$sys" -v r="$rss" -v a="$start" -v b="${stream:-0}" \
    'BEGIN { printf "%s %.4f %d %.0f\n", t, 100 * (u + s) / w, r, (b > 0 ? 1000 * (b - a) : -1) }' >> "$work/results"
  rm -rf "$out"
}

echo "recording ${seconds} s at 48 kHz from a private $kind null-sink monitor, $rounds rounds, order rotated"
n=${#tools[@]}
for ((round = 0; round < rounds; round++)); do
  for ((k = 0; k < n; k++)); do
    tool=${tools[$(((round + k) % n))]}
    run "$tool" "$round"
    echo "round $((round + 1)): $(tail -n 1 "$work/results")"
  done
done

# Medians per tool, and per-round ratios of tapewell-rec's CPU to each peer's.
awk -v n="$n" '
  function sort(a, c,   i, j, t) { for (i = 2; i <= c; i++) for (j = i; j > 1 && a[j-1] > a[j]; j--) { t = a[j]; a[j] = a[j-1]; a[j-1] = t } }
  function median(a, c) { sort(a, c); return c % 2 ? a[(c + 1) / 2] : (a[c / 2] + a[c / 2 + 1]) / 2 }
  { k = ++count[$1]; cpu[$1, k] = $2; rss[$1, k] = $3; first[$1, k] = $4; order[$1] = 1 }
  END {
    printf "\n%-24s %14s %10s %22s\n", "tool", "CPU % (median)", "RSS MB", "launch to stream, ms"
    for (t in order) {
      c = count[t]
      for (i = 1; i <= c; i++) { x[i] = cpu[t, i]; y[i] = rss[t, i]; z[i] = first[t, i] }
      printf "%-24s %14.3f %10.1f %22.0f\n", t, median(x, c), median(y, c) / 1024, median(z, c)
    }
    printf "\n"
    split("arecord parecord", peers, " ")
    for (p = 1; p <= 2; p++) {
      peer = peers[p]; c = 0
      for (i = 1; i <= count["tapewell-rec"] && i <= count[peer]; i++) if (cpu[peer, i] > 0) r[++c] = cpu["tapewell-rec", i] / cpu[peer, i]
      if (c == 0) continue
      sort(r, c)
      printf "CPU ratio tapewell-rec / %-9s min %.2f  median %.2f  max %.2f  (%d rounds)\n", peer, r[1], median(r, c), r[c], c
    }
  }' "$work/results"
