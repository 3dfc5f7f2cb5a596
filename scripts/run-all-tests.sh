#!/usr/bin/env bash
# `make test`: builds every target and runs every test suite (the four native builds, then the
# browser tests of the web build), then prints the total.
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
    # The closing line counts a build that failed as one failed test, instead of leaving out
    # its tests (or counting a stale run's reports).
    rm -rf "build/$preset/test-results"
    mkdir -p "build/$preset/test-results"
    echo '<testsuites tests="1" failures="1" disabled="0" errors="0" name="build"></testsuites>' \
      >"build/$preset/test-results/build.xml"
    continue
  fi
  echo "==> test $preset"
  # The thread sanitizer build soaks the render thread for longer.
  if [ "$preset" = tsan ]; then soak=30; else soak=3; fi
  KVP_SOAK_SECONDS=$soak bash scripts/run-tests.sh "$preset" || status=1
done
# The page script and the core in WebAssembly, in headless Chromium. A failed build still runs
# the tests' script, which then counts one failure instead of testing a stale build.
echo "==> build web"
make --no-print-directory web || { echo "==> build web FAILED"; status=1; rm -f build/web/kestrelvue-core.mjs; }
echo "==> test web"
bash scripts/run-web-tests.sh || status=1
echo "==> summary ($(( $(date +%s) - start )) s)"
bash scripts/test-summary.sh native win32 asan tsan web
exit $status
