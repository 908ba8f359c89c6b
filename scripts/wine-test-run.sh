#!/usr/bin/env bash
# Runs one test program under Wine for ctest: wine-test-run.sh LOG COMMAND...
#
# Every test program is a GoogleTest program, which prints and flushes before
# its first test. One that fails having printed nothing at all never reached
# its own code: Wine failed to start it (seen once in many thousands of runs,
# on a freshly made prefix). Such a start is tried once more and recorded in
# LOG, which scripts/test.sh prints after the run, so that a start failure
# that keeps coming back stays visible. Any other failure is final; its exit
# status is printed after the program's own output.
set -u
log=$1
shift
output=$(mktemp)
trap 'rm -f "$output"' EXIT

for attempt in 1 2; do
  # tee keeps the output streaming to ctest while recording whether any came.
  "$@" 2>&1 | tee "$output"
  status=${PIPESTATUS[0]}
  [ "$status" -eq 0 ] && exit 0
  if [ "$attempt" -eq 1 ] && [ ! -s "$output" ]; then
    echo "$(date '+%F %T') exit status $status with no output, started again: ${*: -3}" >>"$log"
    continue
  fi
  echo "(exit status $status)"
  exit "$status"
done
