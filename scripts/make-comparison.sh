#!/usr/bin/env bash
# Draws docs/mosaic-comparison.png for the README: the bundled sample picture
# made into a mosaic twice, on the left the default mosaic (the bundled
# thumbnails at random, tint 77 %), on the right the colour-matched one (the
# bundled sample photographs, nearest first, tint at most 25 %), same seed,
# same cell size.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

build=${TESSELUNE_BUILD:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSELUNE_TESTS=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target tesselune-cli tesselune-sample tesselune-sample-photos

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cli="$build/bin/tesselune-cli"
common=(--cell 20 --seed 1 --no-cache)
"$cli" mosaic "$build/bin/sample.jpg" "${common[@]}" --output "$scratch/default.png"
# Without --thumbnails the matched mosaic takes the sample photographs.
"$cli" mosaic "$build/bin/sample.jpg" "${common[@]}" --match --crop --output "$scratch/matched.png"

mkdir -p docs
# Side by side at half size, each with its caption underneath.
convert \
  \( "$scratch/default.png" -resize 40% -gravity south -background white -splice 0x28 \
     -pointsize 18 -annotate +0+4 'Default mosaic (random photos, tint 77 %%)' \) \
  \( "$scratch/matched.png" -resize 40% -gravity south -background white -splice 0x28 \
     -pointsize 18 -annotate +0+4 'Matched colours, sample photographs (tint at most 25 %%)' \) \
  -bordercolor white -border 6 +append docs/mosaic-comparison.png
echo "Written $PWD/docs/mosaic-comparison.png"
