#!/usr/bin/env bash
# `make test`: builds every target and runs every test suite, then prints the total.
# A failing suite does not stop the others; the exit status says whether all passed.
set -uo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
status=0
for preset in native win32 asan tsan; do
  echo "==> build $preset"
  if ! make --no-print-directory "$preset"; then
    echo "==> build $preset FAILED"
    status=1
    continue
  fi
  echo "==> test $preset"
  # The thread sanitizer build soaks the render thread for longer.
  if [ "$preset" = tsan ]; then soak=30; else soak=3; fi
  KVP_SOAK_SECONDS=$soak bash scripts/run-tests.sh "$preset" || status=1
done
echo "==> summary ($(( $(date +%s) - start )) s)"
bash scripts/test-summary.sh native win32 asan tsan
exit $status
