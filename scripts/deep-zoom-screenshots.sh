#!/usr/bin/env bash
# Draws docs/deep-zoom-1.png .. -3.png: a matched mosaic of the sample
# picture, made of the desktop wallpapers installed by install-deps.sh,
# written as a deep-zoom page and shown in headless Chromium at three zoom
# levels (the last with the mouse on a photo, named by the page).
#   scripts/deep-zoom-screenshots.sh [BUILD_DIR]   (default build/test)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}
cmake --build "$build" --target tesselune-cli tesselune-sample >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/tesselune-cli" mosaic "$build/bin/sample.jpg" --thumbnails /usr/share/backgrounds --recursive \
  --match --cell 40 --scale 4 --seed 1 --output "$work/mosaic.jpg" --deep-zoom "$work/page"
size=$("$build/bin/tesselune-cli" info "$work/mosaic.jpg" | sed -E 's/.*: ([0-9]+)x([0-9]+) pixels.*/\1 \2/')
read -r width height <<<"$size"
cell=160  # --cell 40 --scale 4: the mouse at the middle of a cell
node tests/browser/page-screenshots.mjs "$work/page" $((width * 45 / 100 / cell * cell + cell / 2)) \
  $((height * 40 / 100 / cell * cell + cell / 2)) docs/deep-zoom
echo "docs/deep-zoom-1.png .. -3.png from a $width x $height mosaic"
