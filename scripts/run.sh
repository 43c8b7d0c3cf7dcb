#!/usr/bin/env bash
# Sets up and starts the recorder: installs what is missing, builds, and starts
# the window. Without a display it starts the terminal recorder instead.
# Arguments go to the program (the window takes -f, -i, -w and -d options).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# Configured as the test command configures it, so the two share one build.
source scripts/debian-flags.sh debug
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DTAPEWELL_CORE_ONLY=OFF -DTAPEWELL_SANITIZE=OFF "${debian_flags[@]}" >/dev/null
cmake --build build -j "$(nproc)"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ]; then
  exec build/app/tapewell "$@"
fi
echo "No display: starting the terminal recorder (build/cli/tapewell-rec --help lists its options)." >&2
exec build/cli/tapewell-rec "$@"
