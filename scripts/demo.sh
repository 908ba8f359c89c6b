#!/usr/bin/env bash
# Builds tessary-mcp.exe and holds a short MCP session with it under Wine:
# initialize, tools/list and one tool call, each message printed as it goes,
# followed by a ready-made MCP client configuration for this machine.
#
# TESSARY_DEMO_BUILD_DIR=<dir> uses an already built tree instead of
# bootstrapping and building the default preset.
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

exe="$BUILD_DIR/bin/tessary-mcp.exe"
if [ ! -f "$exe" ]; then
  echo "demo: $exe is missing; build the tree first" >&2
  exit 1
fi

. "$root/scripts/wine-env.sh"
trap wine_stop EXIT
wine_warm

echo
TESSARY_MCP_EXE="$exe" node "$root/scripts/demo-session.mjs"
