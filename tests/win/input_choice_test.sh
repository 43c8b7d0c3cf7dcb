#!/usr/bin/env bash
# The Windows tapewell-rec under Wine chooses its input among Wine's
# wave-input devices: --list-devices prints each with its number and name and
# marks the wave mapper's as the default; --device takes a number or a name
# and records from that device, not from the default; an unknown name is a
# usage error. The window's -d does the same (an unknown name is a warning,
# and the window records from the default input). The private PulseAudio
# gets a second output for this, whose monitor is the device chosen; a tone
# played there reaches only the recorder that chose it.
# Usage: input_choice_test.sh TAPEWELL-REC.EXE DIALOG_TEST.EXE TAPEWELL.EXE   (exit 77: skipped)
set -euo pipefail
exe=$1
dialog_test=$2
window=$3
if [ -z "${TAPEWELL_PULSE:-}" ] || [ -z "${WINE:-}" ]; then
  echo "skipped: needs the private PulseAudio and Wine prefix of scripts/test-windows.sh"
  exit 77
fi
work=$(mktemp -d /tmp/tapewell-win-input.XXXXXX)
module=$(pactl load-module module-null-sink sink_name=tapewell_second \
  sink_properties=device.description=Tapewell-Second)
trap 'pactl unload-module "$module" || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }

# Wine adds a new device to its registry at the first enumeration that sees
# it, and may number the devices differently in that one process: list once
# to let it settle.
"$WINE" "$exe" --list-devices </dev/null >/dev/null 2>&1 || true
status=0
"$WINE" "$exe" --list-devices </dev/null >"$work/list.txt" 2>"$work/list.err" || status=$?
tr -d '\r' <"$work/list.txt" >"$work/list"
cat "$work/list" "$work/list.err"
[ $status -eq 0 ] || fail "--list-devices exited with $status"
awk -F '\t' 'NF != 2 || $1 != NR - 1 { bad = 1 } END { exit bad }' "$work/list" ||
  fail "each line must be the device's number (0, 1, ...), a tab and its name"
[ "$(grep -c ' \[default\]$' "$work/list")" -eq 1 ] || fail "exactly one input must be marked [default]"
line=$(grep -F 'Monitor of Tapewell-Second' "$work/list") || fail "the second output's monitor is not listed"
number=$(cut -f 1 <<<"$line")
name=$(cut -f 2 <<<"$line" | sed 's/ \[default\]$//')
grep -F 'Monitor of Tapewell-Second' "$work/list" | grep -q '\[default\]' && fail "the second monitor must not be the default"

# Two recorders at once: one from the chosen device, one from the default;
# the tone plays only into the second output.
sox -n -r 48000 -c 2 -b 16 "$work/tone.wav" synth 2 sine 440 vol 0.5
mkdir "$work/chosen" "$work/default" "$work/by-name"
"$WINE" "$exe" -r 48000 --device "$number" --duration 4 -w "$(winpath "$work/chosen")" </dev/null \
  >"$work/chosen.txt" 2>&1 &
chosen=$!
"$WINE" "$exe" -r 48000 --duration 4 -w "$(winpath "$work/default")" </dev/null >"$work/default.txt" 2>&1 &
default=$!
sleep 1.5
paplay --device=tapewell_second "$work/tone.wav"
status_chosen=0 status_default=0
wait $chosen || status_chosen=$?
wait $default || status_default=$?
cat "$work/chosen.txt" "$work/default.txt"
[ $status_chosen -eq 0 ] && [ $status_default -eq 0 ] || fail "exit status $status_chosen (--device $number), $status_default (default)"
peak() { sox "$1" -n stat 2>&1 | awk '/^Maximum amplitude/ {print $3}'; }
near() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= t) }'; }
chosen_file=$(ls "$work/chosen"/*.wav)
default_file=$(ls "$work/default"/*.wav)
near "$(peak "$chosen_file")" 0.5 0.02 || fail "--device $number did not record the tone (peak $(peak "$chosen_file"))"
near "$(peak "$default_file")" 0 0.001 || fail "the default input recorded the second output's tone (peak $(peak "$default_file"))"
echo "--device $number: peak $(peak "$chosen_file"); default input: peak $(peak "$default_file")"

# By name, as listed.
status=0
"$WINE" "$exe" -r 48000 --device "$name" --duration 1 -w "$(winpath "$work/by-name")" </dev/null \
  >"$work/by-name.txt" 2>&1 || status=$?
cat "$work/by-name.txt"
[ $status -eq 0 ] || fail "--device '$name' exited with $status"
[ "$(soxi -s "$work/by-name"/*.wav)" -eq 48000 ] || fail "--device '$name' did not record 1 s"

# An unknown name is a usage error that says where the names come from.
mkdir "$work/unknown"
status=0
"$WINE" "$exe" --device "no such input" --duration 1 -w "$(winpath "$work/unknown")" </dev/null >"$work/unknown.txt" 2>&1 ||
  status=$?
cat "$work/unknown.txt"
[ $status -eq 2 ] || fail "an unknown --device gave exit status $status, not 2"
grep -qF -- "--list-devices" "$work/unknown.txt" || fail "the message does not point to --list-devices"
[ -z "$(ls "$work/unknown")" ] || fail "an unknown --device created a file"
echo "unknown name: exit 2"

# The window's -d, driven by dialog_test.exe (it needs the display).
if [ -n "${DISPLAY:-}" ]; then
  mkdir "$work/window" "$work/window-unknown"
  "$WINE" "$dialog_test" --record "$(winpath "$window")" "$(winpath "$work/window")" 4 "-d$number" \
    >"$work/window.txt" 2>&1 &
  driver=$!
  sleep 2
  paplay --device=tapewell_second "$work/tone.wav"
  status=0
  wait $driver || status=$?
  cat "$work/window.txt"
  [ $status -eq 0 ] || fail "the window with -d$number: the driver exited with $status"
  grep -q '^warning:' "$work/window.txt" && fail "the window warned about -d$number"
  window_file=$(ls "$work/window"/*.wav)
  near "$(peak "$window_file")" 0.5 0.02 || fail "the window with -d$number did not record the tone (peak $(peak "$window_file"))"
  echo "the window with -d$number: peak $(peak "$window_file")"

  status=0
  "$WINE" "$dialog_test" --record "$(winpath "$window")" "$(winpath "$work/window-unknown")" 1 "-dnosuch" \
    >"$work/window-unknown.txt" 2>&1 || status=$?
  cat "$work/window-unknown.txt"
  [ $status -eq 0 ] || fail "the window with -dnosuch: the driver exited with $status"
  grep -qF "warning: The wave-input service has no input named 'nosuch'" "$work/window-unknown.txt" ||
    fail "the window did not warn about -dnosuch"
  [ -n "$(ls "$work/window-unknown")" ] || fail "the window with -dnosuch did not record from the default input"
  echo "the window with -dnosuch: warned, recorded from the default input"
fi
