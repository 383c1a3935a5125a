#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Quick when everything is already there: apt runs only for what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev libgl-dev
  libjpeg62-turbo-dev libjpeg-turbo-progs libpng-dev libgif-dev libtiff-dev zlib1g-dev
  libdeflate-dev               # the PNG writer's compressor
  libmagick++-dev imagemagick metapixel
  libsqlite3-dev               # the lasting thumbnail cache
  libmagickcore-6.q16-6-extra  # ImageMagick's WMF reader (with libwmf): the metafile tests need it
  libvips-dev libvips-tools    # the resize benchmark's peer
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libnanoflann-dev             # the k-d tree the match benchmark measures our scan against
  mate-backgrounds plasma-workspace-wallpapers  # real photographs: the sample photo library, the match benchmark
  clang libclang-rt-14-dev clang-format
  fonts-dejavu-core
  cups cups-ipp-utils printer-driver-cups-pdf poppler-utils
  chromium                     # the browser the deep-zoom page is tested in
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# The deep-zoom page's viewer, bundled with the program, as its
# package-lock.json pins it; npm ci runs again only when the lock file
# changed. (The browser test drives Chromium over its DevTools pipe with
# plain Node.js: it needs no package.)
npm_packages() {
  local folder
  folder="$(cd "$(dirname "$0")/.." && pwd)/data/web"
  if ! cmp -s "$folder/package-lock.json" "$folder/node_modules/.installed-lock.json"; then
    (cd "$folder" && npm ci --ignore-scripts --no-audit --no-fund >/dev/null)
    cp "$folder/package-lock.json" "$folder/node_modules/.installed-lock.json"
  fi
}

# node and npm fetch the viewer and run the browser test: Debian's own
# nodejs (18) will do, and so does a node of another origin that brings its
# own npm.
if ! command -v npm >/dev/null; then missing+=(nodejs npm); fi

if [ ${#missing[@]} -eq 0 ]; then
  npm_packages
  exit 0
fi

echo "Installing: ${missing[*]}" >&2
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
npm_packages
