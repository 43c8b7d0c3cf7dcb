#!/usr/bin/env bash
# Installs the Debian package on this machine as a user would, uses it, and
# removes it again: lintian finds no error or warning; after `dpkg -i` the
# programs, man pages, desktop entry, metainfo, icons, udev rule and bash
# completion are where the system looks for them and tapewell-rec splits a
# generated recording; after `dpkg -P` nothing of the package is left. Needs
# root (the test command runs as root).
#   install_test.sh PACKAGE.deb
set -uo pipefail
deb=$1
export LC_ALL=C.UTF-8
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() { local what=$1; shift; if "$@"; then echo "ok: $what"; else fail "$what"; fi; }

if [ "$(id -u)" -ne 0 ]; then
  echo "FAIL: the install test needs root (dpkg -i); run it as root, as scripts/test.sh does in CI"
  exit 1
fi
if dpkg-query -W -f='${Status}' tapewell 2>/dev/null | grep -q 'installed'; then
  echo "FAIL: a tapewell package is installed already; remove it first (dpkg -P tapewell)"
  exit 1
fi
version=$(dpkg-deb -f "$deb" Version)
tmp=$(mktemp -d)
installed=0
cleanup() {
  [ "$installed" -eq 1 ] && dpkg -P tapewell >/dev/null 2>&1
  rm -rf "$tmp"
}
trap cleanup EXIT

echo "== lintian $deb"
# lintian warns about being run as root; that line is not about the package.
lintian --fail-on error,warning "$deb" 2> >(grep -v 'running with root privileges' >&2)
check "lintian: no errors or warnings" test $? -eq 0

# The metainfo as it comes in the package, with the desktop entry and icons
# beside it (the entry it launches must be there).
mkdir "$tmp/tree"
dpkg-deb -x "$deb" "$tmp/tree"
check "appstreamcli validate-tree of the package's files" appstreamcli validate-tree --no-net "$tmp/tree"

# Every path under the places a package installs to, except the caches that
# the desktop's triggers keep (icon and MIME caches), which they may rebuild.
snapshot() {
  find /usr /etc /var/lib/dpkg/info /lib -xdev 2>/dev/null | grep -vE '\.cache$|/__pycache__(/|$)' | LC_ALL=C sort
}
snapshot >"$tmp/before"

echo "== dpkg -i"
check "dpkg -i installs the package" dpkg -i "$deb"
installed=1

check "tapewell-rec is /usr/bin/tapewell-rec" test "$(command -v tapewell-rec)" = /usr/bin/tapewell-rec
check "tapewell-rec --version names $version" test "$(tapewell-rec --version)" = "tapewell-rec $version"
check "tapewell-card --version names $version" test "$(tapewell-card --version)" = "tapewell-card $version"
check "tapewell is /usr/bin/tapewell" test -x /usr/bin/tapewell
for program in tapewell tapewell-rec tapewell-card; do
  check "no library of $program is missing" bash -c "! ldd /usr/bin/$program | grep -q 'not found'"
  check "man -w $program finds the installed page" \
    test "$(man -w "$program" 2>/dev/null)" = "/usr/share/man/man1/$program.1.gz"
done
grep -rqs '^path-exclude.*/usr/share/man' /etc/dpkg/dpkg.cfg.d &&
  echo "note: dpkg is told to leave out man pages here (/etc/dpkg/dpkg.cfg.d)"
check "man renders tapewell-rec(1) with its OPTIONS" bash -c "man tapewell-rec 2>/dev/null | grep -q '^OPTIONS'"

check "desktop entry in /usr/share/applications" desktop-file-validate /usr/share/applications/tapewell.desktop
metainfo=$(ls /usr/share/metainfo/*.metainfo.xml 2>/dev/null | xargs -r grep -l '<launchable type="desktop-id">tapewell.desktop<' | head -1)
check "metainfo in /usr/share/metainfo launches tapewell.desktop" test -n "$metainfo"
check "installed metainfo validates" appstreamcli validate --no-net "$metainfo"
check "scalable icon" test -f /usr/share/icons/hicolor/scalable/apps/tapewell.svg
for size in 16 22 24 32 48 64 128 256; do
  check "${size}x$size icon is a ${size}x$size PNG" \
    bash -c "file /usr/share/icons/hicolor/${size}x$size/apps/tapewell.png | grep -q 'PNG image data, $size x $size'"
done
check "udev rule where udev reads rules" bash -c 'ls /usr/lib/udev/rules.d/60-tapewell-audiopci.rules /lib/udev/rules.d/60-tapewell-audiopci.rules 2>/dev/null | grep -q .'
check "README and copyright in /usr/share/doc/tapewell" test -f /usr/share/doc/tapewell/README.md -a -f /usr/share/doc/tapewell/copyright
check "bash completion of tapewell-rec loads on demand" bash -c \
  'source /usr/share/bash-completion/bash_completion && _completion_loader tapewell-rec; complete -p tapewell-rec | grep -q _tapewell_rec'

echo "== split a generated recording with the installed tapewell-rec"
# 1 s of tone, 1 s of silence, 1 s of tone, 1 s of silence: two tracks.
sox -n -r 44100 -c 2 -b 16 "$tmp/in.wav" synth 1 sine 440 pad 0 1 repeat 1
mkdir "$tmp/tracks"
(cd "$tmp" && /usr/bin/tapewell-rec --input in.wav --fast -a -l 5 -w tracks >"$tmp/rec.out" 2>&1)
check "tapewell-rec exits 0" test $? -eq 0
tracks=("$tmp"/tracks/*.wav)
check "two track files (got ${#tracks[@]}: $(cd "$tmp/tracks" && echo *))" test "${#tracks[@]}" -eq 2
total=0
for t in "${tracks[@]}"; do
  [ -f "$t" ] || continue
  check "$(basename "$t") is 16-bit stereo at 44100 Hz" test "$(soxi -r "$t") $(soxi -c "$t") $(soxi -b "$t")" = "44100 2 16"
  total=$((total + $(soxi -s "$t")))
done
check "the tracks hold every frame of the input ($total of 176400)" test "$total" -eq 176400

echo "== dpkg -P"
check "dpkg -P removes the package" dpkg -P tapewell
installed=0
check "dpkg knows no tapewell" bash -c '! dpkg-query -W tapewell >/dev/null 2>&1'
snapshot >"$tmp/after"
left=$(comm -13 "$tmp/before" "$tmp/after")
gone=$(comm -23 "$tmp/before" "$tmp/after")
check "nothing of the package is left${left:+: $left}" test -z "$left"
check "nothing else is gone${gone:+: $gone}" test -z "$gone"
check "no tapewell program on the PATH" bash -c '! command -v tapewell-rec && ! command -v tapewell'

echo "install test: $failures failures"
[ "$failures" -eq 0 ]
