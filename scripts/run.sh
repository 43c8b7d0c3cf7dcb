#!/usr/bin/env bash
# Sets up and starts the recorder: installs what is missing, builds the window
# and the terminal recorder (nothing else), and starts the window. Without a
# display it starts the terminal recorder instead, splitting on silence (-a),
# and says where the tracks go and how to stop it.
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
fi
# Where the tracks go: the folder of -w (--folder) when given, else here.
folder=$(pwd -P)
previous=
for arg in "$@"; do
  case $previous in -w | --folder) folder=$arg ;; esac
  case $arg in -w?*) folder=${arg#-w} ;; --folder=*) folder=${arg#--folder=} ;; esac
  previous=$arg
done
{
  echo "No display: starting the terminal recorder, a new track after each silence (-a)."
  if $inside; then
    echo "The tracks go to $folder (not into the checkout; -w chooses another folder)."
  else
    echo "The tracks go to $folder (-w chooses another folder)."
  fi
  echo "Press q or Ctrl-C to stop; Enter or m starts the next track by hand."
  echo "Its options: $build/cli/tapewell-rec --help"
} >&2
exec "$build/cli/tapewell-rec" -a "$@"
