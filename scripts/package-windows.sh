#!/usr/bin/env bash
# Makes the Windows package dist/keldar-windows-x64.zip: the three programs,
# stripped, the README as text and the first-steps page, with CR LF line
# ends. Builds
# the Windows programs first (scripts/build-windows.sh, build-win/ or
# $WIN_BUILD_DIR), then unpacks the zip into a scratch folder and runs each
# program from it under Wine, in a private prefix, to show that it starts.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
win_build=${WIN_BUILD_DIR:-build-win}
scripts/build-windows.sh >/dev/null

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
root=$stage/keldar
mkdir -p "$root"
cp "$win_build/programs/keldar.exe" "$win_build/tools/listtext/listtext.exe" \
  "$win_build/tools/dataupgrade/dataupgrade.exe" "$root/"
x86_64-w64-mingw32-strip "$root"/*.exe  # the build keeps its debugging symbols
sed 's/$/\r/' README.md >"$root/README.txt"
sed 's/$/\r/' packaging/windows/FIRST-STEPS.txt >"$root/FIRST-STEPS.txt"
mkdir -p dist
zip=$PWD/dist/keldar-windows-x64.zip
rm -f "$zip"
(cd "$stage" && zip -q -X -r "$zip" keldar)

# The unpacked programs start under Wine and answer --help with status 0.
. scripts/wine-env.sh
check=$stage/check
mkdir -p "$check"
(cd "$check" && unzip -q "$zip")
wine_prefix_new "$stage/wineprefix"
for program in keldar listtext dataupgrade; do
  if ! out=$(cd "$check/keldar" && "$wine" "$program.exe" --help 2>&1) ||
    ! grep -q "Коды завершения" <<<"$out"; then
    echo "package-windows: $program.exe from the package does not start under Wine:" >&2
    echo "$out" >&2
    "$wineserver" -k 2>/dev/null || true
    exit 1
  fi
done
"$wineserver" -k 2>/dev/null || true
echo "Made $zip:"
unzip -l "$zip"
