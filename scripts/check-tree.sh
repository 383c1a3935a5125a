#!/usr/bin/env bash
# House rules that a compiler does not check. Fails naming every file at fault.
#  - The core (every file outside a folder named gui/) never includes a
#    QtWidgets or QtPrintSupport header.
#  - No core file includes a header of a gui/ folder, and no file includes a
#    header of a folder on its floor or above (the floors are listed once, in
#    src/CMakeLists.txt).
#  - Every tracked C++ source is formatted as .clang-format says.
#   check-tree.sh [ROOT]    (the repository this script is in by default)
set -uo pipefail
cd "${1:-$(dirname "$0")/..}" || exit 2

status=0

# Module headers and the class headers of both modules; generated from the
# installed Qt so that no class is missed.
widget_headers() {
  local inc
  for mod in QtWidgets QtPrintSupport; do
    inc=$(find /usr/include -maxdepth 3 -type d -name "$mod" -print -quit 2>/dev/null)
    echo "$mod"
    [ -n "$inc" ] && find "$inc" -maxdepth 1 -type f -name 'Q*' ! -name '*.h' -printf '%f\n'
  done
}
pattern=$(widget_headers | sort -u | paste -sd'|')
leaks=$(git ls-files -co --exclude-standard -- 'src/*.cpp' 'src/*.h' ':!src/**/gui/**' |
  xargs -r grep -l -E "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]((QtWidgets|QtPrintSupport)/)?($pattern)[>\"]" 2>/dev/null)
if [ -n "$leaks" ]; then
  echo "Widget or print-support headers outside a gui/ folder (move the code into the gui/ folder of its subsystem):" >&2
  echo "$leaks" | sed 's/^/  /' >&2
  status=1
fi

# The core never reaches up into a gui/ folder, its own subsystem's included:
# a core step that needs the user takes a value or a small interface.
upward=$(git ls-files -co --exclude-standard -- 'src/*.cpp' 'src/*.h' ':!src/**/gui/**' |
  xargs -r grep -l -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z]+/gui/' 2>/dev/null)
if [ -n "$upward" ]; then
  echo "Core files that include a header of a gui/ folder:" >&2
  echo "$upward" | sed 's/^/  /' >&2
  status=1
fi

# The floors, lowest first, as src/CMakeLists.txt lists them; "a|b" share one.
floors=$(sed -n 's/^set(TESSELUNE_FLOORS \(.*\))$/\1/p' src/CMakeLists.txt)
if [ -z "$floors" ]; then
  echo "src/CMakeLists.txt lists no TESSELUNE_FLOORS" >&2
  status=1
fi
declare -A floor_of=()
level=0
for floor in $floors; do
  for folder in ${floor//|/ }; do floor_of[$folder]=$level; done
  level=$((level + 1))
done
# A file's folder is the first part of its path under src/ (gui/ halves share
# their folder's floor). Siblings on one floor may not use each other either.
climbs=$(git ls-files -co --exclude-standard -- 'src/*.cpp' 'src/*.h' | while read -r file; do
  own=${file#src/}
  own=${own%%/*}
  [ -n "${floor_of[$own]+x}" ] || { echo "  $file: folder \"$own\" is on no floor"; continue; }
  grep -oE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z]+/[^"]+"' "$file" | sed -E 's/.*"([a-z]+)\/.*/\1/' | sort -u |
    while read -r used; do
      [ "$used" = "$own" ] && continue
      [ -n "${floor_of[$used]+x}" ] || continue
      if [ "${floor_of[$used]}" -ge "${floor_of[$own]}" ]; then
        echo "  $file: includes $used/ (floor ${floor_of[$used]}) from $own/ (floor ${floor_of[$own]})"
      fi
    done
done)
if [ -n "$climbs" ]; then
  echo "Includes that climb a floor (a folder uses only the floors below it, as src/CMakeLists.txt orders them):" >&2
  echo "$climbs" >&2
  status=1
fi

# One clang-format run for the whole tree; its warnings start with the file name.
unformatted=$(git ls-files -co --exclude-standard -z -- '*.cpp' '*.h' |
  xargs -0 -r clang-format --dry-run --Werror 2>&1 >/dev/null | grep -oE '^[^:]+\.(cpp|h):' | sort -u | tr -d ':')
if [ -n "$unformatted" ]; then
  echo "Files that differ from .clang-format (run clang-format -i on them):" >&2
  echo "$unformatted" | sed 's/^/  /' >&2
  status=1
fi

exit $status
