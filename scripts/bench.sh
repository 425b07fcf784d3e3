#!/bin/sh
# Builds the benchmarks in a Release tree and runs them (all, or the ones named:
# scripts/bench.sh frame colour mapfile). Extra Google Benchmark flags go in BENCH_FLAGS. The
# send and canvas benchmarks run on the private test LAN (scripts/isolate.sh --lan).
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DDALLOWMERE_BENCHMARKS=ON >/dev/null
all=$(for f in benchmarks/bench_*.cpp; do n=${f#benchmarks/bench_}; echo "${n%.cpp}"; done)
names=${*:-$all}
targets=""
for n in $names; do targets="$targets bench_$n"; done
cmake --build build-bench -j "$(nproc)" --target $targets testlanpeer
for n in $names; do
  case $n in
    send | canvas) lan=--lan ;;
    *) lan= ;;
  esac
  scripts/isolate.sh $lan build-bench/benchmarks/bench_$n $BENCH_FLAGS
done
