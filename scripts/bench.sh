#!/bin/sh
# Builds the benchmarks in a Release tree and runs them (all, or the ones named:
# scripts/bench.sh frame colour mapfile). Extra Google Benchmark flags go in BENCH_FLAGS.
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DDALLOWMERE_BENCHMARKS=ON >/dev/null
names=${*:-"colour frame mapfile canvas send"}
targets=""
for n in $names; do targets="$targets bench_$n"; done
cmake --build build-bench -j "$(nproc)" --target $targets
for n in $names; do
  scripts/isolate.sh build-bench/benchmarks/bench_$n $BENCH_FLAGS
done
