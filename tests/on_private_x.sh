#!/usr/bin/env bash
# Runs a command with Qt's X11 platform on a private X display
# (scripts/x-private.sh), stopped afterwards; the test command itself runs
# without a display.
# Usage: on_private_x.sh <source dir> <command> [argument...]
set -euo pipefail
source "$1/scripts/x-private.sh"
shift
trap x_private_stop EXIT
if ! x_private_start; then
  echo "on_private_x.sh: no private X display could start (Xvfb: bash scripts/install-deps.sh)" >&2
  exit 1
fi
QT_QPA_PLATFORM=xcb "$@"
