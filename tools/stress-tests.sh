#!/usr/bin/env bash
# Runs the whole test suite RUNS times (default 5) on a busy machine and names every
# test that failed at least once. The load is LOAD busy loops at nice 0 (default: twice
# the processor count), started before the first run and stopped after the last.
#   tools/stress-tests.sh [BUILD] [RUNS] [LOAD]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd) || exit 1
runs=${2:-5}
load=${3:-$(($(nproc) * 2))}
logs=$(mktemp -d "${TMPDIR:-/tmp}/mev-stress-XXXXXX")

loops=()
stop_load() {
  for pid in "${loops[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${loops[@]}"; do wait "$pid" 2>/dev/null; done
  loops=()
}
trap stop_load EXIT
trap 'exit 130' INT TERM
for ((i = 0; i < load; i++)); do
  nice -n 0 bash -c 'while :; do :; done' &
  loops+=($!)
done
echo "stress: $runs runs under $load busy loops (logs in $logs)"

green=0
for ((run = 1; run <= runs; run++)); do
  start=$(date +%s)
  "$here/run-tests.sh" "$build" >"$logs/run$run.log" 2>&1
  rc=$?
  seconds=$(($(date +%s) - start))
  failed=$(cp "$build/Testing/Temporary/LastTestsFailed.log" "$logs/failed$run.log" 2>/dev/null &&
    sed 's/^[0-9]*://' "$logs/failed$run.log" | tr '\n' ' ')
  summary=$(grep -E '^[0-9]+% tests passed' "$logs/run$run.log" | tail -n 1)
  if [ "$rc" -eq 0 ]; then
    green=$((green + 1))
    rm -f "$logs/failed$run.log"
    echo "run $run: green in ${seconds}s ($summary)"
  else
    echo "run $run: FAILED in ${seconds}s ($summary): ${failed:-see $logs/run$run.log}"
  fi
done
stop_load

echo "stress: $green of $runs runs green"
if ls "$logs"/failed*.log >/dev/null 2>&1; then
  echo "tests that failed at least once (times):"
  sed 's/^[0-9]*://' "$logs"/failed*.log | sort | uniq -c | sort -rn
fi
[ "$green" -eq "$runs" ]
