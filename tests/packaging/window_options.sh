#!/usr/bin/env bash
# The window's options: the letters its option scan acts on (printed by the
# probe program given) and the ones the README's section on the window shows
# ("tapewell [-f<format>] ..."), one "-x" a line, without repeats.
#   window_options.sh PROBE README
set -euo pipefail
probe=$1 readme=$2
{
  "$probe"
  awk '/^## The window/ {on = 1; next} /^## / {on = 0} on' "$readme" |
    grep -oE '\[-[a-zA-Z]<' | sed -E 's/^\[//; s/<$//'
} | sort -u
