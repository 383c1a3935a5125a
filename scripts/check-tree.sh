#!/usr/bin/env bash
# House rules that a compiler does not check. Fails naming every file at fault.
#  - The core (every file outside a folder named gui/) never includes a
#    QtWidgets or QtPrintSupport header.
#  - Every tracked C++ source is formatted as .clang-format says.
set -uo pipefail
cd "$(dirname "$0")/.."

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

# One clang-format run for the whole tree; its warnings start with the file name.
unformatted=$(git ls-files -co --exclude-standard -z -- '*.cpp' '*.h' |
  xargs -0 -r clang-format --dry-run --Werror 2>&1 >/dev/null | grep -oE '^[^:]+\.(cpp|h):' | sort -u | tr -d ':')
if [ -n "$unformatted" ]; then
  echo "Files that differ from .clang-format (run clang-format -i on them):" >&2
  echo "$unformatted" | sed 's/^/  /' >&2
  status=1
fi

exit $status
