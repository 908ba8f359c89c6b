#!/usr/bin/env bash
# Builds everything and runs every test: a short run of each fuzz target
# (natively, under libFuzzer and the sanitizers), then the unit,
# process-level, pipe-client and interoperability tests, all under Wine.
# Extra arguments go to the Wine run's ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/bootstrap.sh"
cd "$root"
cmake -S fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=/usr/bin/clang++ >/dev/null
cmake --build build/fuzz
ctest --test-dir build/fuzz -j2 --output-on-failure
cmake --preset mingw >/dev/null
cmake --build --preset mingw
BUILD_DIR="$root/build/mingw"
. "$root/scripts/wine-env.sh"
# Programs that Wine failed to start and that were started again (see
# scripts/wine-test-run.sh), listed whether the run passed or not.
silent_starts="$BUILD_DIR/silent-starts.log"
rm -f "$silent_starts"
report_silent_starts() {
  if [ -s "$silent_starts" ]; then
    echo "Wine failed to start these test programs at first; they were started again:"
    cat "$silent_starts"
  fi
}
trap 'report_silent_starts; wine_stop' EXIT
wine_warm
ctest --preset mingw -j2 "$@"
