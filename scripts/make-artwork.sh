#!/usr/bin/env bash
# Draws the toolbar pictures and the application icon again (after a change
# of data/artwork/MakeArtwork.cpp); the PNG files are committed.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
build=${TESSELUNE_BUILD:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSELUNE_TESTS=OFF >/dev/null
cmake --build "$build" --target tesselune-make-artwork
"$build/data/artwork/tesselune-make-artwork" src/shell/gui/images/toolbar data/icons
echo "Toolbar pictures in src/shell/gui/images/toolbar, icons in data/icons"
