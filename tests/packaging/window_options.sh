#!/usr/bin/env bash
# The window's options: the letters its option scan acts on (printed by the
# probe program given) and the ones the window's page of the documentation
# shows ("tapewell [-f<format>] ... [--trim] ..."), one "-x" or "--name" a
# line, without repeats.
#   window_options.sh PROBE WINDOW_PAGE
set -euo pipefail
probe=$1 page=$2
{
  "$probe"
  grep -oE '\[-[a-zA-Z]<' "$page" | sed -E 's/^\[//; s/<$//'
  grep -oE '\[--[a-z-]+' "$page" | sed -E 's/^\[//'
} | sort -u
