#!/usr/bin/env bash
# Cross-compiles the Windows programs and the core's tests with MinGW-w64,
# makes the release zip and installer (scripts/package-windows.sh) and runs
# the tests under Wine, in a private Wine prefix under the build tree
# (created once). The live-capture test records from the private PulseAudio
# when the caller has started it (scripts/sound-server.sh); the window's
# test runs on a private Xvfb display started here.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
# tapewell-rec.exe reads its --input through libsndfile, cross-built once into the build tree.
bash scripts/build-libsndfile-win.sh build-win/libsndfile
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-win -j "$jobs"
bash scripts/package-windows.sh build-win >/dev/null

# One private X display for every Wine process of this step: the first of
# them starts Wine's desktop process, which every window later needs.
xvfb=""
display_file=$(mktemp)
stop_all() {
  wine_private_stop
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
  rm -f "$display_file"
}
trap stop_all EXIT
source scripts/wine-private.sh
if command -v Xvfb >/dev/null; then
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 50); do [ -s "$display_file" ] && break; sleep 0.1; done
  if [ -s "$display_file" ]; then export DISPLAY=":$(cat "$display_file")"; else unset DISPLAY; fi
else
  unset DISPLAY
fi
wine_private_start

ctest --test-dir build-win -L win --timeout 600 --output-on-failure
