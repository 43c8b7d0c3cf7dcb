#!/usr/bin/env bash
# Validates the desktop entry (desktop-file-validate) and the AppStream
# metainfo (appstreamcli, without network), and checks that they agree with
# each other and with the project: the metainfo launches this desktop entry,
# names the project's version as its newest release, and the entry's icon is
# the one installed.
#   desktop_metadata_test.sh SOURCE_DIR VERSION
set -euo pipefail
src=$1 version=$2
desktop=$src/ui/res/tapewell.desktop
metainfo=$(ls "$src"/packaging/metainfo/*.metainfo.xml)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $metainfo"

id=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$metainfo")
[ "$(basename "$metainfo")" = "$id.metainfo.xml" ] || fail "$metainfo is not named after its id $id"
launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
[ "$launchable" = "$(basename "$desktop")" ] || fail "metainfo launches '$launchable', the entry is $(basename "$desktop")"
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -1 | cut -d'"' -f2)
[ "$newest" = "$version" ] || fail "newest release in the metainfo is '$newest', the project is $version"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$src/ui/res/$icon.svg" ] || fail "the entry's icon '$icon' is not ui/res/$icon.svg"

echo "desktop metadata: $failures failures"
[ "$failures" -eq 0 ]
