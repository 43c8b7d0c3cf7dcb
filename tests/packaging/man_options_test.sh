#!/usr/bin/env bash
# Checks a man page against its program: every option (and subcommand) that
# the program's --help prints is described in the page's OPTIONS section (or,
# for a subcommand, anywhere in the page), the page names the project's
# version, and groff renders it without a warning.
#   man_options_test.sh PAGE VERSION --help-of PROGRAM
#   man_options_test.sh PAGE VERSION --attached OPTION...   (options whose value
#       follows the letter directly, as the window's -wFOLDER)
set -euo pipefail
page=$1 version=$2 mode=$3
shift 3
failures=0
fail() { echo "FAIL: $page: $*"; failures=$((failures + 1)); }

# The page as a reader sees it: one line per paragraph, no hyphenation, plain ASCII.
render() { groff -man -Tascii -P-cbou -rLL=4000n -rHY=0 -ww -z "$page" 2>&1 >/dev/null; }
warnings=$(render)
[ -z "$warnings" ] || fail "groff warns: $warnings"
text=$(groff -man -Tascii -P-cbou -rLL=4000n -rHY=0 "$page")
options_section=$(awk '/^OPTIONS$/ {on = 1; next} /^[A-Z][A-Z ]*$/ {on = 0} on' <<<"$text")
[ -n "$options_section" ] || fail "no OPTIONS section"

grep -q "^\.TH .*\"Tapewell $version\"" "$page" || fail "the .TH line does not name Tapewell $version"

options=()
subcommands=()
if [ "$mode" = --help-of ]; then
  help=$("$1" --help)
  # Option lines: "  -w,--folder DIR   text" -> -w --folder (a description's
  # continued lines stand further in)
  while read -r first; do
    IFS=',' read -ra names <<<"$first"
    for n in "${names[@]}"; do options+=("${n%% *}"); done
  done < <(grep -E '^  -' <<<"$help" | sed -E 's/^ +//; s/  .*//')
  # Subcommand lines follow "Subcommands:" up to the next blank line.
  while read -r name _; do subcommands+=("$name"); done < <(awk '/^Subcommands:/ {on = 1; next} /^$/ {on = 0} on && /^  [^ ]/' <<<"$help")
  [ ${#options[@]} -gt 2 ] || fail "found only ${#options[@]} options in the --help of $1"
else
  options=("$@")
  [ ${#options[@]} -gt 0 ] || fail "no options given"
fi

# An option stands on its own, not as a part of a longer one.
for option in "${options[@]}"; do
  tail='([^[:alnum:]-]|$)'
  [ "$mode" = --attached ] && tail=''
  grep -Eq -- "(^|[^[:alnum:]-])${option}${tail}" <<<"$options_section" || fail "option $option is not in OPTIONS"
done
for name in "${subcommands[@]}"; do
  grep -Eq -- "(^|[^[:alnum:]-])${name}([^[:alnum:]-]|$)" <<<"$text" || fail "subcommand $name is not described"
done

echo "$page: ${#options[@]} options, ${#subcommands[@]} subcommands checked; $failures failures"
[ "$failures" -eq 0 ]
