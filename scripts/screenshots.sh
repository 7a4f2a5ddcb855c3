#!/usr/bin/env bash
# Takes a picture of each window into docs/ (PNG), on a virtual X display.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh >/dev/null
export LC_ALL=C.UTF-8 TZ=${TZ:-UTC0}
unset QT_QPA_PLATFORM
xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" "${BUILD_DIR:-build}/tools/screenshots/screenshots" docs
