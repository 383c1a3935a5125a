#!/usr/bin/env bash
# Installs what is missing, builds the program, and makes a mosaic of the
# bundled sample picture with the bundled thumbnails.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

build=${TESSELUNE_BUILD:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSELUNE_TESTS=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)"

mkdir -p out
output=out/sample-mosaic.png
"$build/bin/tesselune-cli" mosaic "$build/bin/sample.jpg" --output "$output" "$@"
echo "Mosaic of the sample picture written to $PWD/$output"
