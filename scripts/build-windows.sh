#!/usr/bin/env bash
# Cross-builds the Windows programs (keldar.exe, listtext.exe,
# dataupgrade.exe) and their tests with MinGW-w64 in build-win/ (or
# $WIN_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${WIN_BUILD_DIR:-build-win}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake "$@"
cmake --build "$build_dir"
