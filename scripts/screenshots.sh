#!/usr/bin/env bash
# Saves PNG screenshots of the AI access settings page as the stand-in
# calendar shows it: inside the settings dialog with AI access off and on,
# and in its own window. The calendar runs under Wine's X11 driver on a
# virtual X display (Xvfb), in a Wine prefix of its own (the test prefix
# uses the null driver, which draws nothing), with fresh sample data.
#
#   scripts/screenshots.sh [OUTPUT_DIR]     (default docs/screenshots)
#
# TESSARY_DEMO_BUILD_DIR=<dir> uses an already built tree instead of
# bootstrapping and building the default preset.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=$(mkdir -p "${1:-docs/screenshots}" && cd "${1:-docs/screenshots}" && pwd)

if [ -n "${TESSARY_DEMO_BUILD_DIR:-}" ]; then
  BUILD_DIR=$(cd "$TESSARY_DEMO_BUILD_DIR" && pwd)
else
  "$root/scripts/bootstrap.sh"
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw
  BUILD_DIR="$root/build/mingw"
fi
bin="$BUILD_DIR/bin"

export WINEPREFIX="$BUILD_DIR/wineprefix-x11"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=;mshtml="
export LANG=C.UTF-8
WINE64=/usr/lib/wine/wine64

# A display number nobody uses.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
export DISPLAY=":$display"
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!

data="$BUILD_DIR/screenshot-data"
rm -rf "$data"
windata="Z:${data//\//\\}"
devhost() { "$WINE64" "$bin/tessary-devhost.exe" "$@"; }
cleanup() {
  devhost --send quit >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

# The prefix keeps Wine's default (X11) graphics driver.
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver -p >/dev/null 2>&1 || true
"$WINE64" wineboot -i >/dev/null 2>&1 || true

echo "screenshots: starting the stand-in calendar on $DISPLAY"
"$WINE64" "$bin/tessary-devhost.exe" --data "$windata" --sample >"$BUILD_DIR/screenshot-devhost.log" 2>&1 &
for _ in $(seq 1 100); do
  devhost --send status >/dev/null 2>&1 && break
  sleep 0.2
done
send() { devhost --send "$@" >/dev/null || { echo "screenshots: '$*' failed" >&2; devhost --send "$@" >&2 || true; exit 1; }; }

# Saves the top-level window whose title is the given text.
shoot() {
  local title=$1 file=$2 id=""
  for _ in $(seq 1 50); do
    id=$(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] || { echo "screenshots: no window titled '$title'" >&2; exit 1; }
  sleep 0.5  # let the controls paint
  import -window "$id" "$out/$file"
  echo "screenshots: $out/$file"
}

send page open
shoot "AI access" settings-page-off.png
send page toggle
shoot "AI access" settings-page-on.png
send page finish 1
send page window
shoot "Tessary - AI access" settings-window-on.png
send page toggle
shoot "Tessary - AI access" settings-window-off.png
