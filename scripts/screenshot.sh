#!/usr/bin/env bash
# Renders the main window and the About box to docs/window.png and
# docs/about.png without a display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAPEWELL_CORE_ONLY=OFF -DTAPEWELL_SANITIZE=OFF >/dev/null
cmake --build build --target tapewell-screenshot
mkdir -p docs
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$scratch" && QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$scratch" "$OLDPWD/build/app/tapewell-screenshot" \
   "$OLDPWD/docs/window.png" "$OLDPWD/docs/about.png")
echo "wrote docs/window.png and docs/about.png"
