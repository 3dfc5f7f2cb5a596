#!/usr/bin/env bash
# Runs the browser tests of tests/web/ in headless Chromium against build/web/ and leaves their
# JUnit report in build/web/test-results/, where the closing total of `make test` counts it.
# Arguments: an optional part of a test's name, to run only the tests that match.
set -uo pipefail
cd "$(dirname "$0")/.."
results=build/web/test-results
rm -rf "$results"
mkdir -p "$results"

# A run that cannot start still counts, as one failure, so the total never hides it.
give_up() {
  echo "web tests: $1" >&2
  echo '<testsuites tests="1" failures="1" disabled="0" errors="0" name="web"></testsuites>' \
    >"$results/web.xml"
  exit 1
}

[ -x "${KVP_CHROMIUM:-/usr/bin/chromium}" ] || give_up "no Chromium at /usr/bin/chromium"
[ -f build/web/kestrelvue-core.mjs ] || give_up "build/web has no core: run make web"
[ -x build/native/bin/kvp ] || give_up "build/native/bin/kvp is missing: run make native"

KVP_WEB_REPORT="$results/web.xml" bash scripts/web-node.sh tests/web/viewer.test.mjs "$@"
status=$?
[ -s "$results/web.xml" ] || give_up "the test run ended without a report (status $status)"
exit $status
