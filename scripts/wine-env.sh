# Sourced by the scripts that run Windows programs: one Wine prefix per build
# tree, no debug chatter, and no crash dialog writing onto a program's stdout.
# Expects BUILD_DIR to be set.
export WINEPREFIX="$BUILD_DIR/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=;mshtml="
export WINE64=/usr/lib/wine/wine64

# Creates the prefix once and starts a long-lived wineserver, so that each
# program afterwards starts in milliseconds instead of seconds.
wine_warm() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating the Wine prefix in $WINEPREFIX (once per build tree)"
  fi
  "$WINE64" wineboot -i >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -p >/dev/null 2>&1 || true
}

wine_stop() {
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
}
