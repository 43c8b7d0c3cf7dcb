#!/usr/bin/env bash
# Runs the bash completion of tapewell-rec and tapewell-card as bash would on
# a Tab: the options come from the program's own --help, the rates and other
# values from the completion, and --device names from `--list-devices`
# (a stand-in program prints them here), with nothing when that fails.
#   completion_test.sh SOURCE_DIR TAPEWELL_REC TAPEWELL_CARD
set -uo pipefail
export LC_ALL=C
src=$1 rec=$2 card=$3
source /usr/share/bash-completion/bash_completion || { echo "FAIL: bash-completion is not installed"; exit 1; }
source "$src/packaging/completion/tapewell-rec"
source "$src/packaging/completion/tapewell-card"
failures=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Completes LINE (the cursor at its end) with FUNCTION; prints the candidates sorted.
complete_line() {
  local function=$1 line=$2
  COMP_LINE=$line
  COMP_POINT=${#line}
  read -ra COMP_WORDS <<<"$line"
  [[ $line == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  local prev=""
  [ "$COMP_CWORD" -gt 0 ] && prev=${COMP_WORDS[COMP_CWORD - 1]}
  "$function" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "$prev"
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

expect() {
  local what=$1 want=$2 got=$3
  if [ "$got" = "$want" ]; then
    echo "ok: $what"
  else
    echo "FAIL: $what: want '$want', got '$got'"
    failures=$((failures + 1))
  fi
}

expect "rates" "32000 44100 48000" "$(complete_line _tapewell_rec "$rec --rate ")"
expect "rates, short option, typed prefix" "44100 48000" "$(complete_line _tapewell_rec "$rec -r 4")"
expect "levels" "0 1 10 11 12 13 14 15 2 3 4 5 6 7 8 9" "$(complete_line _tapewell_rec "$rec -p ")"
expect "options from --help" "--fast --folder" "$(complete_line _tapewell_rec "$rec --f")"
expect "every long option of --help" \
  "$("$rec" --help | grep -E '^  -' | sed -E 's/^ +//; s/  .*//' | grep -oE -- '--[a-z][a-z-]*' | sort -u | tr '\n' ' ' | sed 's/ $//')" \
  "$(complete_line _tapewell_rec "$rec --")"
expect "nothing after --duration" "" "$(complete_line _tapewell_rec "$rec --duration ")"
mkdir "$tmp/in" "$tmp/in/sub"
touch "$tmp/in/"{a.wav,b.FLAC,c.aiff,d.mp3,e.ogg,f.w64,g.rf64,notes.txt,h.cue}
expect "--input: the audio files libsndfile opens, and folders" "a.wav b.FLAC c.aiff d.mp3 e.ogg f.w64 g.rf64 sub" \
  "$(cd "$tmp/in" && complete_line _tapewell_rec "$rec --input ")"

# --device: the first field of each line that --list-devices prints.
cat >"$tmp/lister" <<'LISTER'
#!/bin/sh
[ "$1" = --list-devices ] || exit 2
printf 'alsa_input.pci-0000_00_1b.0.analog-stereo  Built-in Audio Analog Stereo\n'
printf 'tapewell_null.monitor\tMonitor of Null Output\n'
LISTER
cat >"$tmp/failing" <<'FAILING'
#!/bin/sh
echo "tapewell-rec: no sound server" >&2
exit 1
FAILING
chmod +x "$tmp/lister" "$tmp/failing"
expect "device names" "alsa_input.pci-0000_00_1b.0.analog-stereo tapewell_null.monitor" \
  "$(complete_line _tapewell_rec "$tmp/lister --device ")"
expect "device names, typed prefix" "tapewell_null.monitor" "$(complete_line _tapewell_rec "$tmp/lister -d tap")"
expect "no device names when --list-devices fails" "" "$(complete_line _tapewell_rec "$tmp/failing --device ")"

expect "card subcommands" "monitor source status" "$(complete_line _tapewell_card "$card ")"
expect "card states" "off on" "$(complete_line _tapewell_card "$card --sony source ")"
expect "card options from --help" "--sony" "$(complete_line _tapewell_card "$card --s")"
expect "nothing after a card subcommand's state" "" "$(complete_line _tapewell_card "$card status ")"

echo "completion: $failures failures"
[ "$failures" -eq 0 ]
