#!/usr/bin/env bash
# Installs what is needed, builds the Linux and the Windows programs, and
# runs both test suites (the Windows one under Wine, in a private prefix
# made anew in build-win/, which also serves GoogleTest's test discovery).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure --timeout 300 -j"$(nproc)"

. scripts/wine-env.sh
win_build=${WIN_BUILD_DIR:-build-win}
mkdir -p "$win_build"
wine_prefix_new "$PWD/$win_build/wineprefix"
status=0
scripts/build-windows.sh &&
  ctest --test-dir "$win_build" --output-on-failure --timeout 300 -j"$(nproc)" || status=$?
"$wineserver" -k 2>/dev/null || true
exit $status
