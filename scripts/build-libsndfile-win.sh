#!/usr/bin/env bash
# Cross-builds libsndfile for 64-bit Windows with MinGW-w64, static and
# without its external codecs (FLAC, Ogg, Opus, MPEG), from Debian's own
# source package, for the Windows tapewell-rec's --input. Everything lives in
# the folder given (default build-win/libsndfile): the source list with the
# deb-src entry and apt's package lists (a private apt configuration, so the
# system's is left alone and no root is needed), the unpacked source, the
# build and the installed library in prefix/. Once prefix/lib/libsndfile.a is
# there, a rerun returns at once.
# Usage: scripts/build-libsndfile-win.sh [folder]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(realpath -m "${1:-build-win/libsndfile}")
toolchain=$(realpath cmake/mingw-w64-x86_64.cmake)
if [ -f "$root/prefix/lib/libsndfile.a" ]; then exit 0; fi
mkdir -p "$root/apt/lists/partial" "$root/src"

# The deb-src entry: the system's Debian archives (deb822 or one-line form),
# for source packages; Debian 12's own archive when none is configured.
sources="$root/apt/sources.list"
: >"$sources"
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  awk 'BEGIN { RS = ""; ORS = "\n\n" }
       /URIs:[^\n]*debian/ && /Types:[^\n]*deb/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f" \
    >>"$root/apt/debian.sources"
done
if [ -f /etc/apt/sources.list ]; then
  sed -n 's/^deb \(.*debian.*\)$/deb-src \1/p' /etc/apt/sources.list >>"$sources"
fi
if [ ! -s "$sources" ] && [ ! -s "$root/apt/debian.sources" ]; then
  echo "deb-src http://deb.debian.org/debian bookworm main" >"$sources"
fi
apt_private=(-o "Dir::Etc::SourceList=$sources" -o "Dir::Etc::SourceParts=$root/apt/parts"
             -o "Dir::State::Lists=$root/apt/lists" -o "Dir::Cache=$root/apt/cache" -o Debug::NoLocking=1
             -o APT::Sandbox::User="$(id -un)")
mkdir -p "$root/apt/parts" "$root/apt/cache"
[ -f "$root/apt/debian.sources" ] && cp "$root/apt/debian.sources" "$root/apt/parts/"
apt-get "${apt_private[@]}" -qq update
(cd "$root/src" && apt-get "${apt_private[@]}" -qq source libsndfile >/dev/null)
srcdir=$(find "$root/src" -maxdepth 1 -type d -name 'libsndfile-*' | head -n 1)
[ -n "$srcdir" ] || { echo "build-libsndfile-win.sh: apt-get source libsndfile unpacked nothing" >&2; exit 1; }

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$srcdir" -B "$root/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$root/prefix" "${launcher[@]}" \
  -DBUILD_SHARED_LIBS=OFF -DENABLE_EXTERNAL_LIBS=OFF -DENABLE_MPEG=OFF -DBUILD_PROGRAMS=OFF \
  -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DBUILD_REGTEST=OFF -DENABLE_CPACK=OFF -DINSTALL_MANPAGES=OFF \
  -DINSTALL_PKGCONFIG_MODULE=OFF >/dev/null
cmake --build "$root/build" -j "$(nproc)" >/dev/null
cmake --install "$root/build" >/dev/null
