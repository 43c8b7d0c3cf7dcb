#!/usr/bin/env bash
# The Windows tapewell-rec under Wine, recording from the private PulseAudio
# through Wine's wave-input service: a tone, a silence of 2 s and another
# tone, split at a silence of 1 s, must come out as two track files that hold
# every frame of the 8 s recorded, the first tone in the first file and the
# second tone at the start of the second, with no frame dropped. Then Ctrl-C
# (SIGINT, which Wine turns into the console's Ctrl-C event) must stop a
# recording cleanly with its file completed. Then, with a signal whose every
# frame is unique and a reference recorder (parec) on the same monitor
# stopped at the same instant: Ctrl-C in the middle of a 5 s write stall
# (made by the slow-disk shim, preloaded into Wine) writes everything
# captured before it, and a take whose process stood still for 3 s (SIGSTOP)
# goes on, with every frame missing from it counted as dropped.
# The window's Stop in the same stall, driven by dialog_test.exe, when the
# two are given and there is a display.
# Usage: tapewell_rec_live_test.sh TAPEWELL-REC.EXE [DIALOG_TEST.EXE TAPEWELL.EXE]   (exit 77: skipped)
set -euo pipefail
exe=$1
dialog_test=${2:-}
window=${3:-}
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

# -- against a reference: every frame n of the signal holds n (32 bits over
# its two samples).
python3 - "$work/numbered.wav" <<'PY'
import struct, sys, wave
w = wave.open(sys.argv[1], "wb")
w.setnchannels(2); w.setsampwidth(2); w.setframerate(48000)
w.writeframes(b"".join(struct.pack("<I", n) for n in range(1, 30 * 48000)))
w.close()
PY
c++ -std=c++20 -shared -fPIC -o "$work/slow_disk_shim.so" "$(dirname "$0")/../shim/slow_disk_shim.cpp" -ldl

# start_reference NAME: the reference recorder on the monitor into
# $work/NAME.raw ($reference) and the signal playing ($player).
start_reference() {
  parec -d tapewell_null.monitor --raw --format=s16le --rate=48000 --channels=2 --latency-msec=20 \
    >"$work/$1.raw" &
  reference=$!
  paplay -d tapewell_null "$work/numbered.wav" &
  player=$!
}
end_player() {
  kill $player 2>/dev/null || true
  wait $player 2>/dev/null || true
}
slow_disk=(LD_PRELOAD="$work/slow_disk_shim.so" TAPEWELL_SHIM_STALL_WRITE=2 TAPEWELL_SHIM_STALL_SECONDS=5)

# stop_against_reference NAME FAULT SECONDS [ENV...]: records the signal with
# ENV set, FAULT (a command given the recorder's process) run 2 s into it,
# and Ctrl-C SECONDS after it, the reference stopped at the same instant;
# leaves the exit status in $status and the recorder's output in $work/NAME.txt.
stop_against_reference() {
  local name=$1 fault=$2 seconds=$3
  shift 3
  mkdir "$work/$name"
  env "$@" "$WINE" "$exe" -r 48000 -w "Z:${work//\//\\}\\$name" </dev/null >"$work/$name.txt" 2>&1 &
  local rec=$!
  sleep 1.5
  start_reference "$name"
  sleep 2
  $fault $rec
  sleep "$seconds"
  kill -INT $reference $rec 2>/dev/null || true
  status=0
  wait $rec || status=$?
  wait $reference || true
  end_player
  cat "$work/$name.txt"
}

# compare_with_reference NAME [DROPPED]: the files hold every frame the
# reference got before the stop, or the frames missing are exactly those
# counted as dropped (DROPPED, else tapewell-rec's count in $work/NAME.txt),
# within 50 ms: Wine's own latency behind the reference's 20 ms.
compare_with_reference() {
  local dropped=${2:-$(sed -n 's/^frames dropped: \([0-9]*\).*/\1/p' "$work/$1.txt")}
  python3 - "$work/$1" "$work/$1.raw" "${dropped:-none}" <<'PY'
import glob, struct, sys
folder, reference, dropped = sys.argv[1:]
def numbers(data):
    return [n for (n,) in struct.iter_unpack("<I", data[:len(data) // 4 * 4]) if 0 < n < 100000000]
heard = numbers(open(reference, "rb").read())
if not heard: sys.exit("the reference recorded nothing")
ref = set(heard)
if max(heard) - min(heard) + 1 - len(ref) > 0.02 * 48000:
    print("skipped: the server lost frames for every client, the reference too"); sys.exit(0)
got = []
for name in sorted(glob.glob(folder + "/*.wav")):
    data = open(name, "rb").read()
    if struct.unpack_from("<I", data, 40)[0] != len(data) - 44: sys.exit(name + ": not completed")
    got += numbers(data[44:])
if any(b <= a for a, b in zip(got, got[1:])): sys.exit("frames repeated or out of order")
present = set(got)
missing = sum(1 for n in range(min(got), max(got)) if n not in present and n in ref)
at_end = max(0, max(heard) - max(got))
print(f"take {min(got)}..{max(got)}, reference up to {max(heard)}: {missing} missing inside, {at_end} at the end, dropped {dropped}")
if dropped == "none": sys.exit("no count of dropped frames")
if abs(int(dropped) - missing - at_end) > 0.05 * 48000: sys.exit("the frames missing are not those counted")
PY
}

# Ctrl-C 4 s into a 5 s stall of the second block's write (4.3 s into the take).
stop_against_reference stall true 5 "${slow_disk[@]}"
[ $status -eq 0 ] || fail "after a write stall tapewell-rec.exe exited with $status"
compare_with_reference stall || fail "Ctrl-C during a write stall lost frames captured before it"
grep -q '^frames dropped: 0' "$work/stall.txt" || fail "frames were dropped in a write stall"

# The process stands still for 3 s; Ctrl-C 4 s after it goes on.
stand_still() { kill -STOP "$1"; sleep 3; kill -CONT "$1"; }
stop_against_reference stopped stand_still 4
[ $status -eq 0 ] || [ $status -eq 3 ] || fail "after SIGSTOP tapewell-rec.exe exited with $status"
compare_with_reference stopped || fail "frames missing after SIGSTOP were not counted"

# The window's Stop clicked about 2 s into the same stall (it takes the click
# once the write returns): nothing captured before the click is missing.
if [ -n "$window" ] && [ -n "${DISPLAY:-}" ]; then
  mkdir "$work/window"
  env "${slow_disk[@]}" "$WINE" "$dialog_test" --record "Z:${window//\//\\}" "Z:${work//\//\\}\\window" 6 \
    >"$work/window.txt" 2>&1 &
  driver=$!
  start_reference window
  until grep -q '^stop' "$work/window.txt" || ! kill -0 $driver 2>/dev/null; do sleep 0.02; done
  kill -INT $reference 2>/dev/null || true
  status=0
  wait $driver || status=$?
  wait $reference || true
  end_player
  cat "$work/window.txt"
  [ $status -eq 0 ] || fail "the window through a write stall: the driver exited with $status"
  compare_with_reference window 0 || fail "the window's Stop during a write stall lost frames captured before it"
fi
