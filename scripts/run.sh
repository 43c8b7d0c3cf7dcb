#!/usr/bin/env bash
# Sets up and starts the recorder: installs what is missing, builds, and starts
# the window. Without a display it starts the terminal recorder instead.
# Arguments go to the program (the window takes -f, -i and -w options).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAPEWELL_CORE_ONLY=OFF -DTAPEWELL_SANITIZE=OFF >/dev/null
cmake --build build -j "$(nproc)"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ]; then
  exec build/app/tapewell "$@"
fi
echo "No display: starting the terminal recorder (build/cli/tapewell-rec --help lists its options)." >&2
exec build/cli/tapewell-rec "$@"
