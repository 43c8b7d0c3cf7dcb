#!/usr/bin/env bash
# Sets up and runs every test: installs what is missing, builds the project
# normally and runs all tests, then builds the Qt-free core with
# AddressSanitizer + UndefinedBehaviorSanitizer and runs the core's tests.
# Fails on any test failure or sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh

jobs=$(nproc)
export CTEST_OUTPUT_ON_FAILURE=1
export QT_QPA_PLATFORM=offscreen

echo "== normal build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAPEWELL_CORE_ONLY=OFF -DTAPEWELL_SANITIZE=OFF >/dev/null
cmake --build build -j "$jobs"

# A private sound server for the live-capture tests, stopped on exit.
source scripts/pulse-private.sh
pulse_private_start || echo "note: no private PulseAudio server could start; live-capture tests will skip"
trap pulse_private_stop EXIT

echo "== tests"
ctest --test-dir build -j "$jobs" --timeout 600

echo "== Windows build (MinGW-w64) and its tests under Wine"
bash scripts/test-windows.sh

echo "== sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer), core tests"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAPEWELL_SANITIZE=ON -DTAPEWELL_CORE_ONLY=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -j "$jobs" -L core --timeout 900

if [ -x scripts/fuzz.sh ]; then
  echo "== fuzzing"
  bash scripts/fuzz.sh
fi
echo "== all tests passed"
