#!/usr/bin/env bash
# Runs the benchmarks of a build folder, prints the table and writes bench/results.json.
# Usage: bench/run.sh BUILD_DIR   (./ger bench passes the release build)
set -euo pipefail
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
BUILD="${1:?usage: bench/run.sh BUILD_DIR}"
BIN="$BUILD/bin/ger_bench"
if [ ! -x "$BIN" ]; then
  cmake --build "$BUILD" -j "${GER_JOBS:-2}" --target ger_bench
fi
# Written aside first, so an interrupted run leaves the previous results in place.
"$BIN" --benchmark_out="$HERE/results.json.tmp" --benchmark_out_format=json \
  --benchmark_repetitions="${GER_BENCH_REPETITIONS:-3}" --benchmark_report_aggregates_only=true
mv "$HERE/results.json.tmp" "$HERE/results.json"
echo "results: $HERE/results.json"
