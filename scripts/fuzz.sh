#!/usr/bin/env bash
# Runs the fuzz targets for longer than scripts/test.sh does:
#
#   scripts/fuzz.sh [TARGET] [SECONDS]
#
# TARGET is one of the targets in fuzz/CMakeLists.txt (json_fuzz,
# framing_fuzz, envelope_fuzz, dates_fuzz, write_checks_fuzz, timetable_fuzz;
# the "_fuzz" may be left out) or "all", the default; each runs SECONDS
# (default 600). What a run finds stays in the build tree: the grown corpus
# in build/fuzz/corpus/TARGET, the input of a failure in
# build/fuzz/artefacts/TARGET, the log in build/fuzz/logs/TARGET.log. Extra
# libFuzzer options can be given in FUZZ_FLAGS, e.g. FUZZ_FLAGS=-seed=1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:-all}
seconds=${2:-600}
"$root/scripts/bootstrap.sh"
cd "$root"
build="$root/build/fuzz"
cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=/usr/bin/clang++ >/dev/null
cmake --build "$build"
mkdir -p "$build/logs"

status=0
ran=0
while read -r name max_len; do
  [ "$target" = all ] || [ "$target" = "$name" ] || [ "${target}_fuzz" = "$name" ] || continue
  ran=$((ran + 1))
  log="$build/logs/$name.log"
  echo "fuzz: $name for ${seconds}s (log: $log)"
  result=ok
  # shellcheck disable=SC2086
  "$build/$name" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/artefacts/$name/" ${FUZZ_FLAGS:-} \
    "$build/corpus/$name" "$build/seeds/$name" >"$log" 2>&1 || { result=FAILED; status=1; }
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  echo "fuzz: $name $result: ${execs:-?} executions, ${rate:-?}/s"
  [ "$result" = ok ] || tail -n 30 "$log"
done <"$build/targets.txt"

if [ "$ran" -eq 0 ]; then
  echo "fuzz: no target named $target; the targets are:" >&2
  cut -d' ' -f1 "$build/targets.txt" >&2
  exit 2
fi
exit "$status"
