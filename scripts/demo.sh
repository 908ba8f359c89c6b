#!/usr/bin/env bash
# The main job: builds everything, starts the stand-in calendar with sample
# data and AI access on, and holds a readable MCP session through
# tessary-mcp.exe (scripts/demo-session.mjs). First act: the tool list, the
# calendars, this week's events, one event, a day-cell line added, confirmed
# and read back, and the audit lines it caused. Second act: a weekly reminder
# created and confirmed, trusted writing switched on in the calendar, the
# reminder renamed at once and seen in this week's events, a note with
# non-ASCII text created and read back, then deleted with confirmation, and
# the audit lines and today's write quota per kind. Third act: a course
# timetable uploaded and confirmed, listed and read back. Ends by printing
# the client configuration for this machine.
#
# TESSARY_DEMO_BUILD_DIR=<dir> uses an already built tree instead of
# bootstrapping and building the default preset. TZ picks the time zone
# (default Asia/Shanghai).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [ -n "${TESSARY_DEMO_BUILD_DIR:-}" ]; then
  BUILD_DIR=$(cd "$TESSARY_DEMO_BUILD_DIR" && pwd)
else
  "$root/scripts/bootstrap.sh"
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw
  BUILD_DIR="$root/build/mingw"
fi
export TZ="${TZ:-Asia/Shanghai}"

bin="$BUILD_DIR/bin"
for f in tessary-mcp.exe tessary-devhost.exe tsyappaimcp.dll; do
  [ -f "$bin/$f" ] || { echo "demo: $bin/$f is missing; build the tree first" >&2; exit 1; }
done

. "$root/scripts/wine-env.sh"
wine_warm

data="$BUILD_DIR/demo-data"
rm -rf "$data"
windata="Z:${data//\//\\}"
devhost() { "$WINE64" "$bin/tessary-devhost.exe" "$@"; }

echo
echo "Starting the stand-in calendar with sample data (state in $data)"
"$WINE64" "$bin/tessary-devhost.exe" --data "$windata" --sample >"$BUILD_DIR/demo-devhost.log" 2>&1 &
calendar=$!
cleanup() {
  devhost --send quit >/dev/null 2>&1 || true
  wait "$calendar" 2>/dev/null || true
  wine_stop
}
trap cleanup EXIT
for _ in $(seq 1 100); do
  devhost --send status >/dev/null 2>&1 && break
  sleep 0.2
done
devhost --send status | sed -n '2,4p;9p' | sed 's/^/   /'
echo "Switching AI access on, as the user does on the AI access page:"
devhost --send ai on >/dev/null
token=$(devhost --send setting get sys_aimcp_token | sed -n 2p | tr -d '\r')
echo "   token $token"
echo

TESSARY_MCP_EXE="$bin/tessary-mcp.exe" TESSARY_DEVHOST_EXE="$bin/tessary-devhost.exe" \
  TESSARY_AIMCP_TOKEN="$token" TESSARY_DEMO_DATA="$data" \
  node "$root/scripts/demo-session.mjs"
