#!/usr/bin/env bash
# Makes the sample photo library that the matched mosaic uses when no folder
# of the user's own is chosen: photo-shaped (3:2) pieces of the photographs
# that Debian's mate-backgrounds and plasma-workspace-wallpapers packages ship
# under free licences, each photograph cut into 16 close-ups and 4 wider
# views. SOURCES.txt in the library names every photograph, its authors and
# its licence. Without ImageMagick or the packages it makes nothing and says
# so: the program then falls back to the generated thumbnails.
#
#   scripts/make-sample-photos.sh OUTPUT_FOLDER
set -euo pipefail
out=${1:?usage: make-sample-photos.sh OUTPUT_FOLDER}

mate=/usr/share/backgrounds/mate/nature
plasma=/usr/share/wallpapers
mate_photos=(Aqua Blinds Dune FreshFlower Garden GreenMeadow LadyBird RainDrops Storm TwoWings Wood YellowFlower)
plasma_photos=(BytheWater ColdRipple ColorfulCups DarkestHour EveningGlow FallenLeaf Grey Kite OneStandsOut Path
               summer_1am)

if ! command -v convert >/dev/null || [ ! -d "$mate" ] || [ ! -d "$plasma" ]; then
  echo "make-sample-photos: ImageMagick or the wallpaper packages are missing; no sample photo library" >&2
  exit 0
fi

tmp="$out.tmp"
rm -rf "$tmp"
mkdir -p "$tmp"

# The largest JPEG of a wallpaper package (named WIDTHxHEIGHT.jpg), or its
# largest picture of any kind.
largest() {
  local best="" area=0 f size w h
  for f in "$1"/contents/images/*; do
    size=$(basename "${f%.*}")
    w=${size%x*}
    h=${size#*x}
    [[ $w =~ ^[0-9]+$ && $h =~ ^[0-9]+$ ]] || continue
    if [[ $f == *.jpg ]] && ((w * h > area)); then
      best=$f
      area=$((w * h))
    fi
  done
  [ -n "$best" ] || best=$(ls -S "$1"/contents/images/* | head -1)
  echo "$best"
}

# 16 close-ups (a 4 x 4 grid of the photograph at 960 x 640) and 4 wider
# views (2 x 2 at 480 x 320), each 240 x 160.
cut() {
  local source=$1 name=$2
  convert -quiet "$source" -resize '960x640^' -gravity center -extent 960x640 +repage -crop 240x160 +repage \
    -strip -quality 85 "$tmp/$name-%02d.jpg"
  convert -quiet "$source" -resize '480x320^' -gravity center -extent 480x320 +repage -crop 240x160 +repage \
    -strip -quality 85 "$tmp/$name-wide-%d.jpg"
}

{
  echo "The sample photo library: pieces of the photographs below, as Debian's"
  echo "packages ship them. Each keeps its photograph's licence."
  echo
} >"$tmp/SOURCES.txt"

for name in "${mate_photos[@]}"; do
  source="$mate/$name.jpg"
  [ -f "$source" ] || continue
  cut "$source" "$name"
  stanza=$(awk -v f="nature/$name.jpg" '/^Files:/{keep=0} index($0, f){keep=1} keep' \
    /usr/share/doc/mate-backgrounds/copyright)
  {
    echo "$name-*.jpg: $source (package mate-backgrounds)"
    echo "$stanza" | grep -E '^(Copyright|License):|^ +[0-9]' | sed 's/^ */  /'
    echo
  } >>"$tmp/SOURCES.txt"
done

for name in "${plasma_photos[@]}"; do
  [ -d "$plasma/$name" ] || continue
  source=$(largest "$plasma/$name")
  cut "$source" "$name"
  meta="$plasma/$name/metadata.json"
  author=$(grep -m1 -E '^ *"Name": ' "$meta" | sed 's/.*"Name": *"\(.*\)".*/\1/')
  licence=$(grep -m1 -E '"License": ' "$meta" | sed 's/.*"License": *"\(.*\)".*/\1/')
  {
    echo "$name-*.jpg: $source (package plasma-workspace-wallpapers)"
    echo "  Author: $author"
    echo "  License: $licence"
    echo
  } >>"$tmp/SOURCES.txt"
done

rm -rf "$out"
mv "$tmp" "$out"
echo "make-sample-photos: $(ls "$out"/*.jpg | wc -l) photos in $out" >&2
