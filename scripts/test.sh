#!/usr/bin/env bash
# Sets up and runs every test: installs what is missing, builds the project
# normally and runs all tests, then builds the Qt-free core with
# AddressSanitizer + UndefinedBehaviorSanitizer and runs the core's tests.
# Between the two it builds the Debian package, installs, uses and removes it.
# Fails on any test failure or sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh

jobs=$(nproc)
# The live tests mostly wait on the clock (stalls, takes of some seconds, each
# against a server of its own): one test more than there are processors.
test_jobs=$((jobs + 1))
export CTEST_OUTPUT_ON_FAILURE=1
# Each phase's heading says how long the command has run.
started=$SECONDS
phase() { echo "== $1 (at $((SECONDS - started)) s)"; }
export QT_QPA_PLATFORM=offscreen
# The tests choose their languages themselves; everything else runs in English.
unset LC_ALL LC_MESSAGES
export LANG=C.UTF-8

phase "normal build"
# With Debian's hardening flags and prefix, so that the package is packed from
# this very build (it holds what the tests ran).
source scripts/debian-flags.sh debug
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DTAPEWELL_CORE_ONLY=OFF -DTAPEWELL_SANITIZE=OFF "${debian_flags[@]}" >/dev/null
cmake --build build -j "$jobs"

# A private sound server for the live-capture tests: PulseAudio for the whole
# suite, then PipeWire (with pipewire-pulse) for the live tests once more.
source scripts/sound-server.sh
sound_server_start pulseaudio || echo "note: no private PulseAudio server could start; live-capture tests will skip"
trap sound_server_stop EXIT

phase "tests (live capture against PulseAudio)"
ctest --test-dir build -j "$test_jobs" --timeout 600

# The Debian package as a user gets it, packed from the build just tested,
# checked by lintian, installed with dpkg -i, used, and purged.
phase "Debian package: pack, lintian, install, use, remove"
deb=$(bash scripts/package.sh --from-build build | tail -1)
bash tests/packaging/install_test.sh "$deb"

phase "Windows build (MinGW-w64) and its tests under Wine"
bash scripts/test-windows.sh

phase "sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer), core tests"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAPEWELL_SANITIZE=ON -DTAPEWELL_CORE_ONLY=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -j "$jobs" -L core --timeout 900

sound_server_stop
phase "live-capture tests against PipeWire"
if sound_server_start pipewire; then
  ctest --test-dir build --timeout 300 -R 'LiveCapture|LiveRecording'
  sound_server_stop
else
  echo "note: no private PipeWire server could start; its live-capture tests were not run"
fi

if [ -x scripts/fuzz.sh ]; then
  phase "fuzzing"
  bash scripts/fuzz.sh
fi
phase "all tests passed"
