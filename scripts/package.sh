#!/usr/bin/env bash
# Builds the Debian package tapewell_<version>_<arch>.deb: a Release build in
# its own folder (build-pkg, or the folder given as the first argument) without
# tests and benchmarks, compiled with Debian's hardening flags, then CPack.
# `scripts/package.sh --from-build DIR` only packs what DIR has built.
# The last line of its output is the path of the package.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build-pkg}

bash scripts/install-deps.sh >&2

# With --from-build DIR the package is made from a build that exists already
# (the test command's, configured with the same Debian flags and prefix).
if [ "$build" = --from-build ]; then
  build=${2:?--from-build needs the build folder}
else
  # Debian's hardening flags; -g is left out: the programs are stripped, and
  # it makes the build slower.
  source scripts/debian-flags.sh
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DTAPEWELL_TESTS=OFF -DTAPEWELL_BENCH=OFF -DTAPEWELL_CORE_ONLY=OFF -DTAPEWELL_SANITIZE=OFF \
    "${debian_flags[@]}" >&2
  cmake --build "$build" -j "$(nproc)" >&2
fi

# CPack installs from the build as it is: everything was built just above.
rm -f "$build"/tapewell_*.deb
(cd "$build" && cpack -G DEB) >&2
deb=$(ls "$build"/tapewell_*.deb)
echo "$root/$deb"
