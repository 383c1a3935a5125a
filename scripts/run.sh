#!/usr/bin/env bash
# Installs what is missing, builds the program, and starts the window with the
# bundled sample picture open. Without a display (a server, a container) it
# says so and makes the command-line sample mosaic instead.
set -euo pipefail
cd "$(dirname "$0")/.."

if { [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; } || [ "${QT_QPA_PLATFORM:-}" = offscreen ]; then
  echo "No display available (neither DISPLAY nor WAYLAND_DISPLAY is set): the window cannot be shown." >&2
  echo "Making the command-line sample instead (scripts/run-sample.sh)." >&2
  exec ./scripts/run-sample.sh "$@"
fi

./scripts/install-deps.sh
build=${TESSELUNE_BUILD:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSELUNE_TESTS=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target tesselune tesselune-cli tesselune-sample
exec "$build/bin/tesselune" "$build/bin/sample.jpg" "$@"
