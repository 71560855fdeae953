#!/usr/bin/env bash
# Runs the fuzz targets of a fuzz build (make fuzz) for a while each, one after another.
#   tools/run-fuzzers.sh [build dir] [seconds per target] [target name...]
# Each target starts from its committed seeds (tests/fuzz/corpus/<name>) plus what earlier
# runs found (<build>/fuzz-corpus/<name>). Exits 1 when any target finds a crash, a leak,
# a timeout or a broken property; the input is kept as <build>/fuzz-findings/<name>/.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-fuzz}
seconds=${2:-20}
shift $(( $# > 2 ? 2 : $# ))
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for exe in "$build"/tests/fuzz/fuzz_*; do
    [ -x "$exe" ] && names+=("$(basename "$exe" | sed 's/^fuzz_//')")
  done
fi
[ ${#names[@]} -gt 0 ] || { echo "no fuzz targets in $build/tests/fuzz" >&2; exit 1; }
failed=0
for name in "${names[@]}"; do
  exe="$build/tests/fuzz/fuzz_$name"
  corpus="$build/fuzz-corpus/$name"
  findings="$build/fuzz-findings/$name"
  log="$build/fuzz-logs/$name.log"
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  if "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$findings/" "$corpus" "$root/tests/fuzz/corpus/$name" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
    echo "fuzz_$name: ok, $runs runs, $cov"
  else
    echo "fuzz_$name: FAILED (log: $log)"
    grep -E 'ERROR|property violated|SUMMARY|Test unit written' "$log" | head -20
    failed=1
  fi
done
exit $failed
