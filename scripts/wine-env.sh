# Sourced by the scripts that run Windows programs: a private Wine prefix
# (made anew by wine_prefix_new) and quiet Wine. Wine's own programs are
# in /usr/lib/wine (Debian's wine64).
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64

# Makes the prefix $1 anew and sets WINEPREFIX to it. Wine's own fonts
# (Debian's fonts-wine: Tahoma for the dialogs, Fixedsys) are put in its
# fonts folder, where this Wine looks for them.
wine_prefix_new() {
  rm -rf "$1"
  export WINEPREFIX=$1
  "$wine" wineboot --init >/dev/null 2>&1
  "$wineserver" -w
  if [ -d /usr/share/wine/fonts ]; then
    ln -sf /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
}

# Starts Wine's server and its service processes in the prefix, to stay
# until they are stopped. Done before a test suite, away from CTest's pipes:
# started by a test, they would keep its output pipe open, and CTest would
# count that test running (and time it out) until the whole suite had ended.
wine_up() {
  "$wineserver" -p
  "$wine" cmd /c exit </dev/null >/dev/null 2>&1 || true
}
