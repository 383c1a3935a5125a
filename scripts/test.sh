#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
./scripts/check-tree.sh
# The print tests use a real CUPS queue; without one they say so and skip on
# a developer's machine, while in CI (CI=true) a print system that does not
# start fails the run.
if ! ./scripts/start-printer.sh; then
  if [ "${CI:-}" = true ]; then
    echo "No print system in CI: the print tests cannot run." >&2
    exit 1
  fi
  echo "No print system: the print tests will be skipped." >&2
fi

build=${TESSELUNE_TEST_BUILD:-build/test}
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSELUNE_SANITIZE=ON "${launcher[@]}" >/dev/null
cmake --build "$build" --parallel "$(nproc)"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp}
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
