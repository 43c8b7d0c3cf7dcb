#!/usr/bin/env bash
# Offline splitting side by side: `tapewell-rec --input FILE --fast -a -l 10`
# (split where a silence of at least 1 s ends: "rec", the stillness rule,
# and "level", the level rule with its threshold found from the noise floor,
# --silence-below auto) against SoX (the `silence` effect's level split with
# newfile/restart), ffmpeg (silencedetect, then the segment muxer at the
# detected ends: both passes count) and a plain `cp` of the same file, in
# alternating rounds (the order of the tools turns round every round), over
# four generated 44.1 kHz 16-bit stereo inputs:
#   10min  eight different sounds of 14.75 s, each followed by 2 s of digital silence, for 10 minutes
#   60min  the same for 60 minutes
#   1100   1,100 tracks: 0.2 s sounds, each followed by 1.1 s of silence (1.5 s after every 184th)
#   tape   a 10-minute tape side (bench/make_side: 45 pieces of music-like sound over hiss at
#          -50 dBFS, 2.5 s gaps), where SoX splits at -42 dBFS (the level rule's threshold)
# On the 1100 input tapewell-rec also splits with -l 13, where only the five
# longer silences split (6 tracks, the same bytes): the per-byte cost of
# 1,100 tracks against 6.
# For every round it takes each tool's wall time and CPU time (user + system);
# it prints, per input, the min/median/max of the per-round ratios
# (throughput of tapewell-rec / throughput of the other tool, so 10 means
# ten times as fast) and the number of files each tool produced.
#
# Usage: bench/split_vs_sox.sh [rounds] [inputs...]   (default: 5 rounds; 10min 60min 1100)
#   TAPEWELL_REC=path   the binary (default build-rel/cli/tapewell-rec, built in Release if missing)
#   TAPEWELL_REC_BASE=path  a second tapewell-rec (an earlier build) run in the same rounds as
#                       "base"; the script then also prints base's time / rec's time, so a change
#                       is measured against what it changes, under the same load
#   BENCH_DIR=dir       where inputs and outputs go (default: /dev/shm when it is there, else /tmp).
#                       On tmpfs every tool meets the page cache alone; on a disk file system
#                       creating the next round's files after the last round's were deleted
#                       costs extra (ext4 looks at the recently freed inodes).
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
rounds=${1:-5}
shift || true
inputs=("$@")
[ ${#inputs[@]} -gt 0 ] || inputs=(10min 60min 1100 tape)
rec=${TAPEWELL_REC:-build-rel/cli/tapewell-rec}
if [ ! -x "$rec" ] || [ ! -x build-rel/bench/make_side ]; then
  cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build-rel --target tapewell-rec make_side >/dev/null
fi
make_side=$(realpath build-rel/bench/make_side)
rec=$(realpath "$rec")
base=${TAPEWELL_REC_BASE:+$(realpath "$TAPEWELL_REC_BASE")}
for tool in sox soxi ffmpeg /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "split_vs_sox.sh: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
default_dir=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && default_dir=/dev/shm
work=$(mktemp -d "${BENCH_DIR:-$default_dir}/tapewell-split-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# ------------------------------------------------------------------ inputs
silence() { echo "synth $1 sine 0 vol 0"; }
# Eight different sounds of $1 seconds, each followed by $2 seconds of silence.
eight_sounds() {
  local s=$1 q=$2
  # shellcheck disable=SC2046
  sox -n -r 44100 -c 2 -b 16 "$3" \
    synth "$s" sine 440 vol 0.5 : $(silence "$q") : \
    synth "$s" square 330 vol 0.2 : $(silence "$q") : \
    synth "$s" triangle 550 vol 0.5 : $(silence "$q") : \
    synth "$s" sawtooth 660 vol 0.3 : $(silence "$q") : \
    synth "$s" whitenoise vol 0.2 : $(silence "$q") : \
    synth "$s" pinknoise vol 0.3 : $(silence "$q") : \
    synth "$s" sine 300-3000 vol 0.5 : $(silence "$q") : \
    synth "$s" trapezium 770 vol 0.4 : $(silence "$q")
}
make_input() {
  case $1 in
    10min | 60min)
      [ -f "$work/cycle.wav" ] || eight_sounds 14.75 2 "$work/cycle.wav"  # 134 s
      local seconds=600
      [ "$1" = 60min ] && seconds=3600
      sox "$work/cycle.wav" "$work/$1.wav" repeat $((seconds / 134)) trim 0 "$seconds"
      ;;
    1100)
      eight_sounds 0.2 1.1 "$work/short.wav"                         # 8 tracks, 10.4 s
      sox "$work/short.wav" "$work/part.wav" repeat 22 pad 0 0.4     # 184 tracks, the last silence 1.5 s
      sox "$work/part.wav" "$work/1100.wav" repeat 5 trim 0 1432     # 1,100 tracks
      ;;
    tape) "$make_side" tape "$work/tape.wav" 45 10.8 >/dev/null ;;  # 45 tracks, 10 minutes
  esac
}

# ------------------------------------------------------------------ tools
# Each run prints "wall cpu" in seconds (CPU: user + system of the tool and
# its children, from the shell's own accounting) and leaves its files in $out.
# The shell's `times` (run here, not in a subshell) gives the user and system
# seconds of the children it has waited for.
children_cpu() {
  tail -n 1 "$1" | awk '{ n = split($0, t, " "); s = 0;
    for (i = 1; i <= n; i++) { split(t[i], f, /[ms]/); s += f[1] * 60 + f[2] } print s }'
}
timed() {
  local w0 w1
  times >"$work/times0"
  w0=$EPOCHREALTIME
  "$@" >/dev/null 2>"$work/stderr" || { echo "split_vs_sox.sh: failed: $*" >&2; cat "$work/stderr" >&2; exit 1; }
  w1=$EPOCHREALTIME
  times >"$work/times1"
  awk -v w0="$w0" -v w1="$w1" -v c0="$(children_cpu "$work/times0")" -v c1="$(children_cpu "$work/times1")" \
    'BEGIN { printf "%.4f %.4f\n", w1 - w0, c1 - c0 }'
}

run_tool() {
  local tool=$1 input=$2 out=$3
  rm -rf "$out" && mkdir "$out"
  case $tool in
    rec) timed "$rec" --input "$input" --fast -a -l 10 -w "$out" ;;
    level) timed "$rec" --input "$input" --fast -a -l 10 --silence-below auto -w "$out" ;;
    rec6) timed "$rec" --input "$input" --fast -a -l 13 -w "$out" ;;
    base) timed "$base" --input "$input" --fast -a -l 10 -w "$out" ;;
    sox) (cd "$out" && timed sox "$input" trk%3n.wav silence 1 0.1t "$sox_level" 1 1.0t "$sox_level" : newfile : restart) ;;
    ffmpeg)
      # Pass 1 finds where each silence of at least 1 s ends; pass 2 cuts there.
      timed bash -c 'ffmpeg -nostdin -hide_banner -nostats -i "$1" -af silencedetect=noise=-60dB:d=1 -f null - 2>&1 |
          sed -n "s/.*silence_end: \([0-9.]*\).*/\1/p" | paste -sd, > "$2/ends"
        ends=$(cat "$2/ends"); rm "$2/ends"
        ffmpeg -nostdin -hide_banner -loglevel error -i "$1" -f segment ${ends:+-segment_times "$ends"} \
          -c copy "$2/trk%04d.wav"' ffmpeg "$input" "$out" ;;
    cp) timed cp "$input" "$out/" ;;
  esac
}

stats() {  # min median max of the numbers on standard input
  sort -g | awk '{ a[NR] = $1 } END { m = NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2;
    printf "min %7.4g  median %7.4g  max %7.4g", a[1], m, a[NR] }'
}

echo "tapewell-rec: $rec"
[ -z "$base" ] || echo "base: $base"
echo "work folder: $work ($(stat -f -c %T "$work"))"
echo "$rounds rounds per input; ratio = throughput of tapewell-rec / throughput of the other"
for name in "${inputs[@]}"; do
  make_input "$name"
  input="$work/$name.wav"
  tools=(rec level sox ffmpeg cp)
  [ "$name" = 1100 ] && tools=(rec rec6 level sox ffmpeg cp)
  sox_level=1%
  [ "$name" = tape ] && sox_level=-42d
  [ -z "$base" ] || tools+=(base)
  cat "$input" >/dev/null  # page cache warm
  for t in "${tools[@]}"; do : >"$work/$t.times"; done
  for round in $(seq "$rounds"); do
    order=("${tools[@]}")
    if [ $((round % 2)) -eq 0 ]; then
      order=()
      for ((i = ${#tools[@]} - 1; i >= 0; i--)); do order+=("${tools[i]}"); done
    fi
    for t in "${order[@]}"; do
      run_tool "$t" "$input" "$work/out-$t" >>"$work/$t.times"
      ls "$work/out-$t" | wc -l >"$work/$t.count"
      rm -rf "$work/out-$t"
    done
  done
  echo
  echo "== $name: $(soxi -d "$input"), $(du -m "$input" | cut -f1) MB"
  printf "files: "
  for t in "${tools[@]}"; do printf "%s %s  " "$t" "$(cat "$work/$t.count")"; done
  echo
  for t in "${tools[@]}"; do
    printf "%-7s wall s: %s   cpu s: %s\n" "$t" "$(cut -d' ' -f1 "$work/$t.times" | stats)" \
      "$(cut -d' ' -f2 "$work/$t.times" | stats)"
  done
  others=(sox ffmpeg cp)
  [ -z "$base" ] || others+=(base)
  for t in "${others[@]}"; do
    printf "rec vs %-7s wall: %s   cpu: %s\n" "$t" \
      "$(paste -d' ' "$work/$t.times" "$work/rec.times" | awk '{ print $1 / $3 }' | stats)" \
      "$(paste -d' ' "$work/$t.times" "$work/rec.times" | awk '{ print ($4 > 0 ? $2 / $4 : 0) }' | stats)"
  done
  # The level rule against SoX's level split, and its time against the stillness rule's.
  printf "level vs sox     wall: %s   cpu: %s\n" \
    "$(paste -d' ' "$work/sox.times" "$work/level.times" | awk '{ print $1 / $3 }' | stats)" \
    "$(paste -d' ' "$work/sox.times" "$work/level.times" | awk '{ print ($4 > 0 ? $2 / $4 : 0) }' | stats)"
  printf "level time / rec time  wall: %s   cpu: %s\n" \
    "$(paste -d' ' "$work/level.times" "$work/rec.times" | awk '{ print $1 / $3 }' | stats)" \
    "$(paste -d' ' "$work/level.times" "$work/rec.times" | awk '{ print ($4 > 0 ? $2 / $4 : 0) }' | stats)"
  if [ "$name" = 1100 ]; then
    printf "per-byte cost, 1,100 tracks / 6 tracks (same bytes), wall: %s   cpu: %s\n" \
      "$(paste -d' ' "$work/rec.times" "$work/rec6.times" | awk '{ print $1 / $3 }' | stats)" \
      "$(paste -d' ' "$work/rec.times" "$work/rec6.times" | awk '{ print ($4 > 0 ? $2 / $4 : 0) }' | stats)"
  fi
  rm -rf "$work/out-rss" && mkdir "$work/out-rss"
  echo "tapewell-rec peak RSS: $(/usr/bin/time -f %M "$rec" --input "$input" --fast -a -l 10 -w "$work/out-rss" 2>&1 >/dev/null | tail -n 1) KB"
  rm -rf "$work/out-rss"
  rm -f "$input"
done
