#!/usr/bin/env bash
# Sets up and starts the recorder: installs what is missing, builds, and starts
# the window (or, where no window front end is built yet, the terminal recorder).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
if [ -x build/app/tapewell ]; then
  exec build/app/tapewell "$@"
elif [ -x build/cli/tapewell-rec ]; then
  exec build/cli/tapewell-rec "$@"
else
  echo "Built the WAV library and its tests; no recorder front end exists yet." >&2
  exit 1
fi
