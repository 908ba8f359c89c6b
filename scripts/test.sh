#!/usr/bin/env bash
# Builds everything and runs every test: unit, process-level, pipe-client and
# interoperability tests, all under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/bootstrap.sh"
cd "$root"
cmake --preset mingw >/dev/null
cmake --build --preset mingw
BUILD_DIR="$root/build/mingw"
. "$root/scripts/wine-env.sh"
trap wine_stop EXIT
wine_warm
ctest --preset mingw -j2 "$@"
