#!/usr/bin/env bash
# Runs two builds of tesselune-cli on the same inputs in every mode and
# compares what they write, byte for byte: the check that a restructuring
# changed no output. Each tool is run from its own folder, with the bundled
# Thumbnails and SamplePhotos beside it.
#
#   scripts/compare-tool-outputs.sh OLD/tesselune-cli NEW/tesselune-cli [TARGET [PHOTOS]]
#
# TARGET defaults to the bundled sample picture beside the new tool; PHOTOS,
# when given, is the folder of photos of every run (else each tool's own).
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 OLD_CLI NEW_CLI [TARGET]" >&2
  exit 2
fi
old=$(realpath "$1")
new=$(realpath "$2")
target=$(realpath "${3:-$(dirname "$new")/sample.jpg}")
photos=()
[ -n "${4:-}" ] && photos=(--thumbnails "$(realpath "$4")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A thin picture, 6 x 480 pixels of gradients, for the band modes: at
# --scale 140 its mosaic is 840 x 67200, beyond the 65535 pixels a side of a
# picture held whole, so it is drawn in bands, yet small.
python3 - "$work/thin.bmp" <<'PY'
import struct, sys
w, h = 6, 480
row = (w * 3 + 3) & ~3
pixels = bytearray()
for y in range(h):
    line = bytearray()
    for x in range(w):
        line += bytes(((x * 40) % 256, (y * 255) // h, (255 - (y * 255) // h)))
    pixels += line + bytes(row - len(line))
header = struct.pack('<2sIHHI', b'BM', 54 + len(pixels), 0, 0, 54)
info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
open(sys.argv[1], 'wb').write(header + info + pixels)
PY

# Each line: a name, the options, the output's extension (png if none) and
# the target (the sample if none, "thin" for the thin picture); @ stands for
# the run's own output folder. Every run has --seed 1, so that the random
# choices are the same.
modes=(
  "default|"
  "cell10|--cell 10"
  "cell15|--cell 15"
  "cell40|--cell 40"
  "nocheck|--no-check-size"
  "noaa|--no-antialias"
  "fast|--fast"
  "scale2|--scale 2"
  "match|--match --report @/report.json --tile-map @/map.json"
  "matchcsv|--match --tile-map @/map.csv"
  "crop|--crop"
  "shape169|--tile-aspect 16:9"
  "matchshape|--match --tile-aspect 3:4 --tile-map @/map.json"
  "maxuses|--match --max-uses 2 --report @/report.json"
  "useall|--match --use-all --report @/report.json"
  "whole|--match --tint-mode whole --tint 40 --repeat-distance 0"
  "recursive|--recursive"
  "bands|--match --no-check-size --scale 140 --deep-zoom @/page --tile-map @/map.json --report @/report.json|tif|thin"
  "bandspng|--no-check-size --scale 140|png|thin"
  "deepzoom|--match --deep-zoom @/page"
  "deepzoomrandom|--deep-zoom @/page"
)

status=0
for line in "${modes[@]}"; do
  IFS='|' read -r name options ext picture <<<"$line"
  ext=${ext:-png}
  input=$target
  [ "$picture" = thin ] && input=$work/thin.bmp
  for side in old new; do
    tool=${!side}
    dir="$work/$side/$name"
    mkdir -p "$dir"
    # shellcheck disable=SC2086
    if ! "$tool" mosaic "$input" --output "$dir/mosaic.$ext" --seed 1 --no-cache "${photos[@]}" ${options//@/$dir} \
      >"$dir/stdout" 2>"$dir/stderr.raw"; then
      echo "$name: $side tool failed:" >&2
      cat "$dir/stderr.raw" >&2
      status=1
    fi
    # Progress lines carry carriage returns and timings: compare the rest.
    tr '\r' '\n' <"$dir/stderr.raw" | grep -v '%' | sed "s|$dir|@|g" >"$dir/stderr" || true
    rm "$dir/stderr.raw"
    # The photo folder is named as found beside each tool: the same name.
    grep -rlF "$(dirname "$tool")" "$dir" | xargs -r sed -i "s|$(dirname "$tool")|TOOL|g" || true
  done
  if diff -r "$work/old/$name" "$work/new/$name" >"$work/diff" 2>&1; then
    echo "same: $name"
  else
    echo "DIFFERENT: $name"
    head -20 "$work/diff"
    status=1
  fi
done
exit $status
