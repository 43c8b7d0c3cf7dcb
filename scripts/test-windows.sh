#!/usr/bin/env bash
# Cross-compiles the Windows programs and the core's tests with MinGW-w64 and
# runs the tests under Wine, in a private Wine prefix under the build tree
# (created once). The live-capture test records from the private PulseAudio
# when the caller has started it (scripts/pulse-private.sh); the window's
# test runs on a private Xvfb display.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-win -j "$jobs"

source scripts/wine-private.sh
wine_private_start
trap wine_private_stop EXIT

ctest --test-dir build-win -L win --timeout 600 --output-on-failure
