#!/usr/bin/env bash
# `make bench`, web part: frame times of a 1024x768 view of the Mars sample in headless Chromium
# beside the native frame benchmark's in the same run, the core's size gzipped, and the time from
# page load to the first frame. It prints and never fails.
set -uo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/web/kestrelvue-core.wasm ] || [ ! -x build/native/bin/kvp ]; then
  echo "web bench: build/web or build/native is missing (make web native); skipped"
  exit 0
fi
mkdir -p build/web-bench
# Packed as the native frame benchmark packs it: 24 bits, the butterscotch sky.
build/native/bin/kvp pack samples/mars-husband-hill-2048x1024.png -o build/web-bench/mars.pan \
  --depth 24 --matte c9a27e >/dev/null || { echo "web bench: packing the sample failed"; exit 0; }

echo "==> web: the core's size"
raw=$(stat -c %s build/web/kestrelvue-core.wasm)
gz=$(gzip -9 -c build/web/kestrelvue-core.wasm | wc -c)
echo "kestrelvue-core.wasm: $raw bytes, $gz bytes gzipped (-9)"
if [ -f build/web/kestrelvue-core.mjs ]; then
  echo "kestrelvue-core.mjs: $(stat -c %s build/web/kestrelvue-core.mjs) bytes," \
    "$(gzip -9 -c build/web/kestrelvue-core.mjs | wc -c) gzipped"
fi

echo "==> native: kvp_frame_bench at 1024x768 (same run)"
if [ -x build/native/bin/kvp_frame_bench ]; then
  build/native/bin/kvp_frame_bench --benchmark_min_time=0.5 \
    --benchmark_filter='frame_(moving|first_still|settled)/1024x768' 2>&1 |
    grep -E 'frame_|memory' || true
fi

echo "==> web: headless Chromium, samples/web/bench.html"
bash scripts/web-node.sh tests/web/web-bench.mjs || echo "web bench: the page did not run"
exit 0
