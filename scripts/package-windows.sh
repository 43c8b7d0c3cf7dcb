#!/usr/bin/env bash
# Makes the Windows release from a cross build (scripts/test-windows.sh builds
# build-win/ and runs this): in BUILD/release/
#   tapewell-VERSION-windows-x64.zip        the stripped tapewell.exe and
#       tapewell-rec.exe, README.txt and LICENSE.txt in a folder tapewell-VERSION
#   tapewell-VERSION-windows-x64-setup.exe  the same as an NSIS installer
# VERSION is the project's (CMakeLists.txt). Prints the two paths.
# Usage: scripts/package-windows.sh [BUILD]   (default build-win)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-win}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "package-windows.sh: no project version in $build/CMakeCache.txt" >&2; exit 1; }
for exe in "$build/win/tapewell.exe" "$build/cli/tapewell-rec.exe"; do
  [ -f "$exe" ] || { echo "package-windows.sh: $exe is missing: build $build first" >&2; exit 1; }
done
command -v makensis >/dev/null || { echo "package-windows.sh: makensis is missing: apt-get install nsis" >&2; exit 1; }

name=tapewell-$version-windows-x64
out="$build/release"
stage="$out/tapewell-$version"
rm -rf "$out"
mkdir -p "$stage"
x86_64-w64-mingw32-strip -o "$stage/tapewell.exe" "$build/win/tapewell.exe"
x86_64-w64-mingw32-strip -o "$stage/tapewell-rec.exe" "$build/cli/tapewell-rec.exe"
# Text files with Windows' line ends, for Notepad of any age.
sed -e "s/@VERSION@/$version/" -e 's/$/\r/' packaging/windows/README.txt >"$stage/README.txt"
sed -e 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
# Every entry carries the time of the sources (the last commit's, else
# CMakeLists.txt's), not of this run.
stamp=$(git log -1 --format=%ct 2>/dev/null || stat -c %Y CMakeLists.txt)
touch -d "@$stamp" "$stage"/* "$stage"
(cd "$out" && TZ=UTC zip -q -X -r "$name.zip" "tapewell-$version")

# The installer takes the icon beside the files; the zip does not.
cp win/tapewell.ico "$out/tapewell.ico"
size_kb=$(du -k -c "$stage"/* | tail -n 1 | cut -f 1)
makensis -V2 -DVERSION="$version" -DSTAGE="$(realpath "$stage")" -DICON="$(realpath "$out/tapewell.ico")" \
  -DSIZE_KB="$size_kb" -DOUTFILE="$(realpath "$out")/$name-setup.exe" packaging/windows/tapewell.nsi >/dev/null
rm "$out/tapewell.ico"
echo "$out/$name.zip"
echo "$out/$name-setup.exe"
