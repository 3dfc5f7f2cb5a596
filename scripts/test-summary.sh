#!/usr/bin/env bash
# Adds up the JUnit reports of the given builds and prints one closing line:
#   tests: N passed, N failed, N skipped
set -euo pipefail
cd "$(dirname "$0")/.."
total=0 failed=0 skipped=0
for preset in "$@"; do
  for report in build/"$preset"/test-results/*.xml; do
    [ -f "$report" ] || continue
    # The first <testsuites ...> element carries the program's totals.
    line=$(grep -m1 -o '<testsuites [^>]*>' "$report")
    get() { echo "$line" | sed -n "s/.* $1=\"\([0-9]*\)\".*/\1/p"; }
    t=$(get tests); f=$(get failures); e=$(get errors); d=$(get disabled); s=$(get skipped)
    total=$((total + ${t:-0}))
    failed=$((failed + ${f:-0} + ${e:-0}))
    skipped=$((skipped + ${d:-0} + ${s:-0}))
    printf '  %-8s %-28s %s tests, %s failed\n' "$preset" "$(basename "$report")" "${t:-0}" "${f:-0}"
  done
done
passed=$((total - failed - skipped))
echo "tests: $passed passed, $failed failed, $skipped skipped"
