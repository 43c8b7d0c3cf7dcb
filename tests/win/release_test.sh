#!/usr/bin/env bash
# The Windows release that scripts/package-windows.sh made, as a user gets
# it: the zip holds exactly the two stripped programs, README.txt and
# LICENSE.txt in one folder, and its programs run under Wine (tapewell-rec.exe
# with the project's version in its version resource and its manifest);
# the installer installs silently for the current user and for all users,
# registers its uninstaller and the Start-menu shortcut, the installed
# tapewell-rec.exe splits a file, and the silent uninstall leaves nothing.
# Usage: release_test.sh BUILD-FOLDER   (exit 77: skipped)
set -euo pipefail
build=$1
if [ -z "${WINE:-}" ] || [ -z "${WINEPREFIX:-}" ]; then
  echo "skipped: needs the Wine prefix of scripts/test-windows.sh"
  exit 77
fi
fail() { echo "FAIL: $*"; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
zip="$build/release/tapewell-$version-windows-x64.zip"
setup="$build/release/tapewell-$version-windows-x64-setup.exe"
[ -f "$zip" ] && [ -f "$setup" ] || fail "no release in $build/release: run scripts/package-windows.sh $build"
work=$(mktemp -d /tmp/tapewell-win-release.XXXXXX)
trap 'rm -rf "$work"' EXIT
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
unixpath() { "$WINE" winepath -u "$1" 2>/dev/null | tr -d '\r'; }

# The zip.
folder=tapewell-$version
want=$(printf '%s\n' "$folder/" "$folder/LICENSE.txt" "$folder/README.txt" "$folder/tapewell-rec.exe" "$folder/tapewell.exe")
[ "$(unzip -Z1 "$zip" | sort)" = "$want" ] || fail "the zip holds: $(unzip -Z1 "$zip" | tr '\n' ' ')"
unzip -q "$zip" -d "$work/zip"
for exe in tapewell.exe tapewell-rec.exe; do
  x86_64-w64-mingw32-objdump -h "$work/zip/$folder/$exe" | grep -q '\.debug' && fail "$exe is not stripped"
  bytes=$(stat -c %s "$work/zip/$folder/$exe")
  [ "$bytes" -lt 3000000 ] || fail "$exe has $bytes bytes"
done
grep -q $'\r$' "$work/zip/$folder/README.txt" || fail "README.txt does not have Windows' line ends"
grep -qF "Tapewell $version for Windows" "$work/zip/$folder/README.txt" || fail "README.txt does not name version $version"
grep -qF -- "--list-devices" "$work/zip/$folder/README.txt" || fail "README.txt does not tell how to choose the input"
grep -qF "MIT" "$work/zip/$folder/LICENSE.txt" || fail "LICENSE.txt is not the licence"
rec="$work/zip/$folder/tapewell-rec.exe"
[ "$("$WINE" "$rec" --version | tr -d '\r')" = "tapewell-rec $version" ] || fail "the zip's tapewell-rec.exe --version"
# Its resources: the version as Windows shows it, and the manifest.
python3 - "$rec" "$version" <<'PY' || fail "tapewell-rec.exe lacks its version resource or manifest"
import sys
data = open(sys.argv[1], "rb").read()
u16 = lambda s: s.encode("utf-16-le")
for key in ("FileVersion", "ProductVersion"):
    if u16(key + "\0") not in data or u16(sys.argv[2] + "\0") not in data:
        sys.exit(f"no {key} {sys.argv[2]}")
for text in (b"<activeCodePage", b">UTF-8</activeCodePage>", b">true</longPathAware>"):
    if text not in data:
        sys.exit(f"no {text!r} in the manifest")
PY
if [ -n "${DISPLAY:-}" ]; then
  # The window runs: still up after 3 s (a missing library ends it at once).
  status=0
  timeout 3 "$WINE" "$work/zip/$folder/tapewell.exe" -w"$(winpath "$work")" >/dev/null 2>&1 || status=$?
  [ $status -eq 124 ] || fail "the zip's tapewell.exe ended with $status within 3 s"
fi
echo "zip: $(unzip -Z1 "$zip" | wc -l) entries, tapewell-rec $version runs"

# A file to split: a tone, 2 s of silence, another tone.
sox -n -r 44100 -c 2 -b 16 "$work/input.wav" synth 1 sine 440 vol 0.5 pad 0 2 : synth 1 sine 660 vol 0.5

everything_named_tapewell() {
  find "$WINEPREFIX/drive_c" -iname '*tapewell*' | sort
}
before=$(everything_named_tapewell)

round_trip() {  # $1: /CurrentUser or /AllUsers, $2: the registry root it uses
  local mode=$1 root=$2 key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Tapewell'
  "$WINE" "$setup" /S "$mode" || fail "$mode: the installer exited with $?"
  local location
  location=$("$WINE" reg query "$root\\$key" /v InstallLocation 2>/dev/null | tr -d '\r' |
    sed -n 's/.*REG_SZ[[:space:]]*//p') || true
  [ -n "$location" ] || fail "$mode: no uninstaller registered under $root\\$key"
  "$WINE" reg query "$root\\$key" /v DisplayVersion | tr -d '\r' | grep -q "REG_SZ[[:space:]]*$version$" ||
    fail "$mode: the registered version is not $version"
  "$WINE" reg query "$root\\$key" /v UninstallString | grep -qF 'uninstall.exe' || fail "$mode: no UninstallString"
  local dir
  dir=$(unixpath "$location")
  for f in tapewell.exe tapewell-rec.exe README.txt LICENSE.txt uninstall.exe; do
    [ -f "$dir/$f" ] || fail "$mode: $location has no $f"
  done
  [ -n "$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Tapewell.lnk')" ] ||
    fail "$mode: no Start-menu shortcut"

  [ "$("$WINE" "$dir/tapewell-rec.exe" --version | tr -d '\r')" = "tapewell-rec $version" ] ||
    fail "$mode: the installed tapewell-rec.exe --version"
  rm -rf "$work/split"
  mkdir "$work/split"
  "$WINE" "$dir/tapewell-rec.exe" --input "$(winpath "$work/input.wav")" --fast -a -l 10 \
    -w "$(winpath "$work/split")" </dev/null >"$work/split.txt" 2>&1 || { cat "$work/split.txt"; fail "$mode: split"; }
  mapfile -t files < <(ls "$work/split"/*.wav)
  [ ${#files[@]} -eq 2 ] || fail "$mode: the split gave ${#files[@]} files, not 2"
  [ $(($(soxi -s "${files[0]}") + $(soxi -s "${files[1]}"))) -eq "$(soxi -s "$work/input.wav")" ] ||
    fail "$mode: the split's files do not hold every frame"

  # The silent uninstall, as Apps & features runs it. The uninstaller runs
  # from a copy of itself in the temporary folder and returns at once.
  "$WINE" "$dir/uninstall.exe" "$mode" /S || fail "$mode: the uninstaller exited with $?"
  for _ in $(seq 100); do [ -e "$dir" ] || break; sleep 0.2; done
  [ ! -e "$dir" ] || fail "$mode: $location is still there: $(ls "$dir")"
  "$WINE" reg query "$root\\$key" >/dev/null 2>&1 && fail "$mode: the uninstaller's registration is left"
  "$WINE" reg query "$root\\Software\\Tapewell" >/dev/null 2>&1 && fail "$mode: the settings key is left"
  [ "$(everything_named_tapewell)" = "$before" ] ||
    fail "$mode: left behind: $(comm -13 <(echo "$before") <(everything_named_tapewell) | tr '\n' ' ')"
  echo "$mode: installed into $location, split ${#files[@]} tracks, uninstalled without a trace"
}
round_trip /CurrentUser HKCU
round_trip /AllUsers HKLM
