#!/usr/bin/env bash
# `make fuzz`: builds the fuzz targets (fuzz/) with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer into build/fuzz/, then runs each for FUZZ_SECONDS (default 180)
# on a working corpus seeded from fuzz/corpus/ and fuzz/regressions/, with the dictionary.
# A fault stops the run and leaves its input in build/fuzz/findings/<target>/; copy it into
# fuzz/regressions/<target>/ once fixed. The last lines give executions per second and
# coverage for each target (also in build/fuzz/summary.txt).
#   FUZZ_TARGETS="image_file open" FUZZ_SECONDS=600 make fuzz
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-180}
targets=${FUZZ_TARGETS:-image_file hotspot_block sprite_picture description open}
build=build/fuzz
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DKVP_SANITIZE=address,undefined -DKVP_LIBFUZZER=ON >/dev/null ||
  exit 1
for t in $targets; do
  cmake --build "$build" -j "${JOBS:-2}" --target "kvp_fuzz_$t" || exit 1
done

mkdir -p "$build/tmp"
export TMPDIR=$PWD/$build/tmp
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
summary=$build/summary.txt
: >"$summary"
status=0
for t in $targets; do
  corpus=$build/corpus/$t findings=$build/findings/$t
  mkdir -p "$corpus" "$findings"
  cp -n fuzz/corpus/"$t"/* fuzz/regressions/"$t"/* "$corpus"/ 2>/dev/null
  max_len=16384
  [ "$t" = open ] && max_len=8192
  log=$build/$t.log
  echo "== $t: $seconds s"
  "$build/bin/kvp_fuzz_$t" "$corpus" -dict=fuzz/kvp.dict -max_total_time="$seconds" \
    -max_len=$max_len -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 \
    -artifact_prefix="$findings/" >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  files=$(ls "$corpus" | wc -l)
  line=$(printf '%-15s %4ss  %10s runs  %7s exec/s  cov %6s  ft %6s  corpus %5s  %s' "$t" \
    "$seconds" "${runs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "$files" \
    "$([ $rc -eq 0 ] && echo ok || echo "FAULT (see $log)")")
  echo "$line" | tee -a "$summary"
  [ $rc -eq 0 ] || status=1
done
rm -rf "$TMPDIR"
echo "fuzz summary:"; cat "$summary"
exit $status
