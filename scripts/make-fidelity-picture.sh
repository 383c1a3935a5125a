#!/usr/bin/env bash
# Draws docs/matched-fidelity.png: one real photograph made into a matched
# mosaic from 300 crops of other real photographs (Debian's wallpaper
# packages), by the matched mode as it was before finer matching and the
# light tint (git ref $BEFORE, default 1aa6ec7), as it is now, and by
# metapixel at the same tint (25 %) and repeat distance (3); each seen from
# afar (the whole picture, reduced) and up close (a quarter of its width at
# full size). The quality figures of each are printed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
before=${BEFORE:-1aa6ec7}

./scripts/install-deps.sh

build=${TESSELUNE_BUILD:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSELUNE_TESTS=OFF >/dev/null
cmake --build "$build" --target tesselune-cli
# OLD_CLI: an already built tool of the earlier version, instead of building one.
old=build/fidelity-before
old_cli=${OLD_CLI:-$old/build/bin/tesselune-cli}
if [ ! -x "$old_cli" ]; then
  rm -rf "$old"
  git worktree prune
  git worktree add --detach "$old" "$before" >/dev/null
  cmake -S "$old" -B "$old/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSELUNE_TESTS=OFF >/dev/null
  cmake --build "$old/build" --target tesselune-cli
fi

scratch=${SCRATCH:-$(mktemp -d)}
mkdir -p "$scratch/library"
# The largest JPEG of a wallpaper, or the file itself.
photo() {
  local p=/usr/share/$1
  if [ -f "$p" ]; then echo "$p"; else ls -S "$p"/contents/images/*.jpg | head -1; fi
}
sources=(backgrounds/mate/nature/{Aqua,Blinds,Dune,FreshFlower,Garden,GreenMeadow,RainDrops,Storm,TwoWings,Wood,YellowFlower}.jpg
         wallpapers/{BytheWater,ColdRipple,DarkestHour,FallenLeaf,Grey,Kite,OneStandsOut,Path,summer_1am})
RANDOM=11
if [ ! -f "$scratch/library/complete" ]; then
  for s in "${sources[@]}"; do
    f=$(photo "$s")
    read -r w h < <(identify -format '%w %h\n' "$f")
    for c in $(seq 0 14); do
      cw=$(( w * (20 + RANDOM % 41) / 100 )); ch=$(( cw * 3 / 4 )); [ "$ch" -gt "$h" ] && ch=$h
      x=$(( (w - cw) * (RANDOM % 1000) / 1000 )); y=$(( (h - ch) * (RANDOM % 1000) / 1000 ))
      convert "$f" -crop "${cw}x${ch}+${x}+${y}" +repage -resize '320x240!' -quality 90 \
        "$scratch/library/$(basename "$s" .jpg)-$c.jpg"
    done
  done
  touch "$scratch/library/complete"
fi
convert "$(photo wallpapers/EveningGlow)" -resize '1600x1200^' -gravity center -extent 1600x1200 \
  -type TrueColor "$scratch/target.png"

common=(--thumbnails "$scratch/library" --cell 20 --seed 1 --no-cache --match --crop --tint 25 --repeat-distance 3)
"$old_cli" mosaic "$scratch/target.png" "${common[@]}" --output "$scratch/before.png"
"$build/bin/tesselune-cli" mosaic "$scratch/target.png" "${common[@]}" --output "$scratch/after.png" \
  --report "$scratch/after.json"
rm -rf "$scratch/mp-library" && mkdir "$scratch/mp-library"
metapixel-prepare --width=20 --height=20 "$scratch/library" "$scratch/mp-library" >/dev/null
metapixel --metapixel -l "$scratch/mp-library" -w 20 -h 20 --distance=3 --cheat=25 \
  "$scratch/target.png" "$scratch/metapixel.png" >/dev/null

# Each column: the whole mosaic at a quarter of its size, then a 400 x 300
# piece of it at full size, captioned.
column() { # file caption
  convert \( "$1" -resize 25% \) \( "$1" -crop 400x300+600+420 +repage \) -append +repage \
    -gravity south -background white -splice 0x28 -pointsize 18 -annotate +0+4 "$2" "$scratch/col-$(basename "$1")"
}
column "$scratch/target.png" 'Target'
column "$scratch/before.png" 'Matched, before'
column "$scratch/after.png" 'Matched, now'
column "$scratch/metapixel.png" 'metapixel'
mkdir -p docs
convert "$scratch"/col-{target,before,after,metapixel}.png -bordercolor white -border 6 +append \
  docs/matched-fidelity.png
echo "Written $root/docs/matched-fidelity.png (work files in $scratch)"
