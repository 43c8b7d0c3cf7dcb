#!/usr/bin/env bash
# Builds the Debian package tapewell_<version>_<arch>.deb: a Release build in
# its own folder (build-pkg, or the folder given as the first argument) without
# tests and benchmarks, compiled with Debian's hardening flags, then CPack.
# The last line of its output is the path of the package.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build-pkg}

bash scripts/install-deps.sh >&2

# Debian's build flags with every hardening feature (PIE, RELRO and BIND_NOW,
# stack protector, FORTIFY_SOURCE); CMake's Release flags come after them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
# -g is left out: the programs are stripped, and it makes the build slower.
cxxflags=$(dpkg-buildflags --get CXXFLAGS | sed -E 's/(^| )-g( |$)/ /')
ldflags=$(dpkg-buildflags --get LDFLAGS)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTAPEWELL_TESTS=OFF -DTAPEWELL_BENCH=OFF -DTAPEWELL_CORE_ONLY=OFF -DTAPEWELL_SANITIZE=OFF \
  "-DCMAKE_CXX_FLAGS=$cppflags $cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" >&2
cmake --build "$build" -j "$(nproc)" >&2

# CPack installs from the build as it is: everything was built just above.
rm -f "$build"/tapewell_*.deb
(cd "$build" && cpack -G DEB) >&2
deb=$(ls "$build"/tapewell_*.deb)
echo "$root/$deb"
