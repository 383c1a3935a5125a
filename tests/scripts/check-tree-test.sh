#!/usr/bin/env bash
# scripts/check-tree.sh on small trees made here, each breaking one house
# rule (or keeping to it where a careless check would complain): the check
# must fail on every break, name the file at fault, and pass the rest.
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
check=$here/scripts/check-tree.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# A tree of four floors, the third shared by two folders, that keeps the rules.
base() {
  local root=$1
  mkdir -p "$root"/src/{raster,app,display,document,shell}/gui
  cp "$here/.clang-format" "$root/"
  echo 'set(TESSELUNE_FLOORS raster app display|document shell)' >"$root/src/CMakeLists.txt"
  printf '#pragma once\nint Pixel();\n' >"$root/src/raster/Pixel.h"
  printf '#include "raster/Pixel.h"\nint Text() { return Pixel(); }\n' >"$root/src/app/Text.cpp"
  printf '#include "app/Text.h"\n#include "raster/Pixel.h"\n' >"$root/src/display/Zoom.cpp"
  printf '#include <QImage>\n\n#include "display/Zoom.h"\n' >"$root/src/shell/Window.cpp"
  printf '#include <QWidget>\n\n#include "display/gui/View.h"\n' >"$root/src/shell/gui/Window.cpp"
  git -C "$root" init -q
}

# case NAME EXPECTED_STATUS FILE CONTENTS: FILE (under src/) added to a fresh
# tree, the check run on it; a failure must name FILE.
case_() {
  local name=$1 expected=$2 file=$3 contents=$4 root="$work/$1"
  base "$root"
  mkdir -p "$(dirname "$root/src/$file")"
  printf '%b' "$contents" >"$root/src/$file"
  local out status
  out=$("$check" "$root" 2>&1)
  status=$?
  if [ "$expected" = pass ] && [ $status -ne 0 ]; then
    echo "FAIL $name: the check failed on a tree that keeps the rules:" >&2
    echo "$out" | sed 's/^/    /' >&2
    failures=$((failures + 1))
  elif [ "$expected" = fail ] && { [ $status -eq 0 ] || ! grep -qF "src/$file" <<<"$out"; }; then
    echo "FAIL $name: status $status, and the output should name src/$file:" >&2
    echo "$out" | sed 's/^/    /' >&2
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

case_ clean-tree pass raster/Row.h '#pragma once\n'
case_ include-from-below pass document/Doc.cpp '#include "app/Text.h"\n#include "raster/Pixel.h"\n'
case_ gui-uses-lower-gui pass display/gui/View.cpp '#include <QWidget>\n\n#include "app/gui/Dialog.h"\n'
case_ own-core-from-gui pass display/gui/Frame.cpp '#include "display/Zoom.h"\n'
case_ same-floor-include fail document/Doc.cpp '#include "display/Zoom.h"\n'
case_ same-floor-include-back fail display/Pan.cpp '#include "document/Doc.h"\n'
case_ upward-include fail raster/Row.cpp '#include "app/Text.h"\n'
case_ upward-by-several fail app/Menu.cpp '#include "shell/Window.h"\n'
case_ gui-climbs-too fail app/gui/Dialog.cpp '#include "display/gui/View.h"\n'
case_ core-includes-own-gui fail display/Pan.cpp '#include "display/gui/View.h"\n'
case_ core-includes-lower-gui fail document/Doc.cpp '#include "app/gui/Dialog.h"\n'
case_ core-includes-widgets fail display/Pan.cpp '#include <QPushButton>\n'
case_ core-includes-widgets-module fail display/Pan.cpp '#include <QtWidgets/QWidget>\n'
case_ core-includes-print-support fail document/Print.cpp '#include <QPrinter>\n'
case_ folder-on-no-floor fail extra/Thing.cpp '#include "raster/Pixel.h"\n'
case_ unformatted fail raster/Row.cpp 'int  Row( ) {return 1;}\n'

if [ $failures -ne 0 ]; then
  echo "$failures case(s) failed" >&2
  exit 1
fi
