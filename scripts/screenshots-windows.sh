#!/usr/bin/env bash
# Takes the pictures of keldar.exe's windows under Wine on a virtual display
# and saves them as PNG files in docs/windows/. Run after
# scripts/build-windows.sh (the pictures come from its build directory).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/wine-env.sh
win_build=${WIN_BUILD_DIR:-build-win}
program=$PWD/$win_build/tests/win32_gui/win32_screenshots.exe
[ -x "$program" ] || { echo "no $program: run scripts/build-windows.sh first" >&2; exit 1; }
export WINEPREFIX=${WINEPREFIX:-$PWD/$win_build/wineprefix}
[ -d "$WINEPREFIX" ] || wine_prefix_new "$WINEPREFIX"
pictures=$(mktemp -d)
trap 'rm -rf "$pictures"' EXIT
# A Wine desktop of its own draws the windows' frames and captions, which
# no window manager does on the virtual display.
(cd "$pictures" &&
  xvfb-run -a -s "-screen 0 1024x768x24" "$wine" explorer /desktop=keldar,1000x740 "$program")
mkdir -p docs/windows
for bmp in "$pictures"/*.bmp; do
  png=docs/windows/$(basename "${bmp%.bmp}").png
  python3 scripts/bmp-to-png.py "$bmp" "$png"
  echo "$png"
done
