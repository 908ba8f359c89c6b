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
  # A persistent server first: the helpers wineboot starts then attach to it
  # and every later program finds it running.
  mkdir -p "$WINEPREFIX"
  /usr/lib/wine/wineserver -p >/dev/null 2>&1 || true
  "$WINE64" wineboot -i >/dev/null 2>&1 || true
  # Without a display Wine cannot create windows at all, not even hidden or
  # message-only ones; its null graphics driver lets programs make them.
  if ! grep -q '"Graphics"="null"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    "$WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 || true
    # The desktop process that creating the prefix started has no usable
    # driver; start over so that the first window brings up one that has.
    /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -p >/dev/null 2>&1 || true
    "$WINE64" wineboot >/dev/null 2>&1 || true
  fi
  wine_keep_desktop
}

# Wine's desktop process ends a moment after the last program with windows
# ends, and the next program that makes a window starts it again, handing it
# that program's standard output and error. Under ctest that test then counts
# as running until the desktop process ends, which may be minutes later. A
# program that keeps a window open for the whole run keeps one desktop
# process, started here with no output of its own.
wine_keep_desktop() {
  local keeper="$WINEPREFIX/desktop-keeper.pid"
  if [ -f "$keeper" ] && kill -0 "$(cat "$keeper")" 2>/dev/null; then
    return 0
  fi
  setsid "$WINE64" notepad </dev/null >/dev/null 2>&1 &
  echo $! >"$keeper"
  local i
  for i in $(seq 1 100); do
    pgrep -f 'explorer.exe /desktop' >/dev/null && return 0
    sleep 0.1
  done
}

wine_stop() {
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  rm -f "$WINEPREFIX/desktop-keeper.pid"
}
