#!/usr/bin/env bash
# Renders the main window and the About box in Japanese and in English to
# docs/window-ja.png, docs/about-ja.png, docs/window-en.png and
# docs/about-en.png without a display, and the window during a take (a
# generated tone) to docs/recording-ja.png and docs/recording-en.png, and the
# Options dialog to docs/options-ja.png and docs/options-en.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAPEWELL_CORE_ONLY=OFF -DTAPEWELL_SANITIZE=OFF >/dev/null
cmake --build build --target tapewell-screenshot
mkdir -p docs
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for language in ja:ja_JP.UTF-8 en:en_US.UTF-8; do
  name=${language%%:*} locale=${language#*:}
  (cd "$scratch" && env LANGUAGE= LC_ALL="$locale" LANG="$locale" QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$scratch" \
     "$OLDPWD/build/app/tapewell-screenshot" "$OLDPWD/docs/window-$name.png" "$OLDPWD/docs/about-$name.png" \
       "$OLDPWD/docs/recording-$name.png" "$scratch" "$OLDPWD/docs/options-$name.png")
  echo "wrote docs/window-$name.png, docs/about-$name.png, docs/recording-$name.png and docs/options-$name.png"
done
