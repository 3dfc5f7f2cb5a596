#!/usr/bin/env bash
# Runs one build's tests through ctest: run-tests.sh native|win32|asan.
# Each test program leaves a JUnit report in build/<preset>/test-results/; a program that
# dies before writing one gets a report of one failure, so the total never hides a crash.
set -uo pipefail
preset=$1
cd "$(dirname "$0")/.."
results="build/$preset/test-results"
rm -rf "$results"
mkdir -p "$results"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --preset "$preset" -j 2
status=$?
failedlog="build/$preset/Testing/Temporary/LastTestsFailed.log"
if [ $status -ne 0 ] && [ -f "$failedlog" ]; then
  while IFS=: read -r _ name; do
    [ -n "$name" ] || continue
    if [ ! -s "$results/$name.xml" ]; then
      echo "<testsuites tests=\"1\" failures=\"1\" disabled=\"0\" errors=\"0\" name=\"$name\"></testsuites>" \
        >"$results/$name.xml"
    fi
  done <"$failedlog"
fi
exit $status
