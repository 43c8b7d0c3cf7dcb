#!/usr/bin/env bash
# Sets up and starts the recorder: installs what is missing, builds the window
# and the terminal recorder (nothing else), and starts the window. Without a
# display it starts the terminal recorder instead.
# Arguments go to the program (the window takes -f, -i, -w, -d and -m options).
# Recordings go where you ran this from (or to -w): never into the checkout.
# Run from inside the checkout, the window starts in your music folder and the
# terminal recorder in your home folder.
# TAPEWELL_BUILD_DIR: the build folder (default: build in the checkout).
set -euo pipefail
start=$(pwd -P)
root=$(cd "$(dirname "$0")/.." && pwd -P)
build=${TAPEWELL_BUILD_DIR:-$root/build}
(
  cd "$root"
  bash scripts/install-deps.sh --no-guest-kernel
  # Configured as the test command configures it, so the two share one build.
  source scripts/debian-flags.sh debug
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DTAPEWELL_CORE_ONLY=OFF -DTAPEWELL_SANITIZE=OFF "${debian_flags[@]}" >/dev/null
  cmake --build "$build" -j "$(nproc)" --target tapewell tapewell-rec
)
inside=false
case "$start/" in "$root"/*) inside=true ;; esac
display=false
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ]; then display=true; fi
if $display; then
  if $inside; then
    cd "$HOME"
    exec "$build/app/tapewell" -m "$@"
  fi
  exec "$build/app/tapewell" "$@"
fi
if $inside; then
  cd "$HOME"
  echo "Recording into $HOME (not into the checkout; -w chooses another folder)." >&2
fi
echo "No display: starting the terminal recorder ($build/cli/tapewell-rec --help lists its options)." >&2
exec "$build/cli/tapewell-rec" "$@"
