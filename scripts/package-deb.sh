#!/usr/bin/env bash
# Builds the Linux package keldar_<version>-<revision>_amd64.deb in
# build-deb/ (or $DEB_BUILD_DIR): installs what is needed, builds the
# programs alone (no tests, no benchmarks) with Debian's hardening flags,
# makes the package with CPack and checks it with desktop-file-validate and
# lintian. Run as root on Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build_dir=${DEB_BUILD_DIR:-build-deb}
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DKELDAR_BENCH=OFF -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$build_dir"
rm -f "$build_dir"/keldar_*.deb
(cd "$build_dir" && cpack -G DEB)
deb=$(ls "$build_dir"/keldar_*_amd64.deb)
echo "Package: $deb"
desktop-file-validate packaging/linux/keldar.desktop
# lintian's status is non-zero on errors alone; warnings are printed.
lintian --info --display-info "$deb"
