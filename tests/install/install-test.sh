#!/usr/bin/env bash
# Installs the build into a temporary prefix as a user would (cmake --install)
# and starts the installed programs from there: the window (offscreen, with
# --quit-after-show) must open the installed sample and find the installed
# thumbnails and information page; the command-line tool must find the
# thumbnails too.
#   install-test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

data=$prefix/share/tesselune
for f in bin/tesselune bin/tesselune-cli share/tesselune/tesselune.htm share/tesselune/sample.jpg \
         share/applications/tesselune.desktop share/icons/hicolor/48x48/apps/tesselune.png \
         share/icons/hicolor/256x256/apps/tesselune.png; do
  [ -e "$prefix/$f" ] || { echo "missing after install: $f" >&2; exit 1; }
done
ls "$data/Thumbnails" | grep -q . || { echo "no thumbnails installed" >&2; exit 1; }
grep -q '^Exec=tesselune %f$' "$prefix/share/applications/tesselune.desktop"

# Started from elsewhere, so that nothing is found by chance in the current folder.
cd "$prefix"
out=$(QT_QPA_PLATFORM=offscreen "$prefix/bin/tesselune" --quit-after-show "$data/sample.jpg")
echo "$out"
expected_size=$("$prefix/bin/tesselune-cli" info "$data/sample.jpg" | sed -n 's/.*: \([0-9]*x[0-9]*\) pixels.*/\1/p')
grep -qx "status: Ready | $expected_size | $data/sample.jpg" <<<"$out" || { echo "the window did not show the sample ($expected_size)" >&2; exit 1; }
grep -qx "thumbnails: $data/Thumbnails" <<<"$out" || { echo "the window did not find the installed thumbnails" >&2; exit 1; }
grep -qx "information: $data/tesselune.htm" <<<"$out" || { echo "the window did not find the information page" >&2; exit 1; }

"$prefix/bin/tesselune-cli" mosaic "$data/sample.jpg" --output "$prefix/mosaic.png" --cell 40 --seed 1
[ -s "$prefix/mosaic.png" ]
echo "installed programs work from $prefix"
