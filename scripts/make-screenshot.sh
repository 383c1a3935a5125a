#!/usr/bin/env bash
# Installs what is missing, builds, and draws the window offscreen with the
# bundled sample made into a mosaic: docs/screenshot.png (and
# docs/screenshot-menu.png with the "Action" menu open, docs/screenshot-options.png
# with the "Options" menu open).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
build=${TESSELUNE_BUILD:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSELUNE_TESTS=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target tesselune-screenshot tesselune-sample
mkdir -p docs
QT_QPA_PLATFORM=offscreen "$build/tools/screenshot/tesselune-screenshot" "$build/bin/sample.jpg" \
  docs/screenshot.png docs/screenshot-menu.png docs/screenshot-options.png
echo "Written docs/screenshot.png, docs/screenshot-menu.png and docs/screenshot-options.png"
