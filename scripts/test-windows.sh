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
source scripts/x-private.sh
stop_all() {
  wine_private_stop
  x_private_stop
}
trap stop_all EXIT
source scripts/wine-private.sh
x_private_start || unset DISPLAY
wine_private_start

ctest --test-dir build-win -L win --timeout 600 --output-on-failure
