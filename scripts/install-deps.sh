#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing keldar
# needs. Run as root. Skips apt when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ libgtest-dev   # build and tests
  clang-format   # .ci/run checks the formatting
  clang libclang-rt-14-dev   # scripts/fuzz.sh: libFuzzer and the sanitizers' runtimes
  libxxhash-dev   # XXH3-128 of carrier copies (used header-only, so the Windows build takes the same header)
  qt6-base-dev   # the window (Qt 6 Widgets, Qt Test; the offscreen and xcb platforms come with it)
  qt6-translations-l10n   # Qt's own Russian texts (qtbase_ru) for the stock file, folder and font choosers
  zip unzip   # scripts/package-windows.sh
  xvfb xauth fonts-dejavu-core   # scripts/screenshots.sh: a virtual display and a font with Cyrillic
  fuse3 fusefat dosfstools ntfs-3g exfat-fuse exfatprogs mount   # real FAT, exFAT and NTFS volumes in tests
  g++-mingw-w64-x86-64-posix googletest   # the Windows programs and their tests, cross-built
  wine64 fonts-wine   # runs the Windows tests; the fonts of its windows (Tahoma, Fixedsys)
  dpkg-dev file lintian desktop-file-utils   # scripts/package-deb.sh: the .deb's dependencies (dpkg-shlibdeps), its checks
  debootstrap   # scripts/test-deb-install.sh: a fresh Debian 12 root to install the .deb into
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
