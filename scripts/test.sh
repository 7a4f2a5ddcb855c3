#!/usr/bin/env bash
# Installs what is needed, builds the Linux and the Windows programs, and
# runs both test suites: first the Linux one, whose interop suite runs this
# keldar and keldar.exe under Wine on one carrier, then the fuzz targets
# for a short while each (scripts/fuzz.sh), the Linux suite again under the
# sanitizers (scripts/sanitize.sh), then the Windows suite under
# Wine on a virtual display (xvfb-run), which its window tests need; last
# it makes the Windows and the Linux packages. It also runs the demo, the
# README's command that runs the program. Wine runs in a private prefix made anew in build-win/, which also serves
# GoogleTest's test discovery.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh

. scripts/wine-env.sh
win_build=${WIN_BUILD_DIR:-build-win}
mkdir -p "$win_build"
wine_prefix_new "$PWD/$win_build/wineprefix"
status=0
# The README's command that runs the program, on its demo carrier.
scripts/demo.sh >/dev/null || { echo "scripts/demo.sh failed" >&2; status=1; }
if scripts/build-windows.sh; then
  export KELDAR_WINDOWS_BUILD=$PWD/$win_build
  wine_up
else
  status=$?  # the Linux suite still runs; its interop suite says it skipped
fi
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure --timeout 300 -j"$(nproc)" || status=$?
# Every fuzz target for a short while from its seeds (built with clang in
# build-fuzz/); FUZZ_SECONDS=0 leaves them out.
if [ "${FUZZ_SECONDS:-10}" != 0 ]; then
  scripts/fuzz.sh --seconds "${FUZZ_SECONDS:-10}" || status=$?
fi
# The suite again under sanitizers (scripts/sanitize.sh): AddressSanitizer
# and UndefinedBehaviorSanitizer over all of it in build-asan/,
# ThreadSanitizer over the worker, batch and window tests in build-tsan/.
# SANITIZE=0 leaves them out.
if [ "${SANITIZE:-1}" != 0 ]; then
  scripts/sanitize.sh address || status=$?
  scripts/sanitize.sh thread || status=$?
fi
if [ -n "${KELDAR_WINDOWS_BUILD:-}" ]; then
  # The interop suite's Wine ran without a display; its server must be gone
  # before the window tests, or they would share its display-less desktop.
  # It starts again inside the virtual display. Wine is slow at the
  # failing-call sweep over the real disk (about 90 s alone, near 300 s on a
  # loaded machine), hence the longer limit.
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w
  export win_build
  xvfb-run -a bash -c '. scripts/wine-env.sh && wine_up &&
    ctest --test-dir "$win_build" --output-on-failure --timeout 900 -j"$(nproc)"' || status=$?
  # The package is made from the same build, and each program in it starts.
  scripts/package-windows.sh >/dev/null || status=$?
fi
"$wineserver" -k 2>/dev/null || true
# The Linux package, checked by lintian (scripts/package-deb.sh). Installing
# it on a fresh Debian root is scripts/test-deb-install.sh, run by hand: it
# downloads Debian.
scripts/package-deb.sh >/dev/null || status=$?
exit $status
