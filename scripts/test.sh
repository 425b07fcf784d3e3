#!/bin/sh
# Builds everything and runs every test, each in a private loopback-only network namespace;
# then builds everything again with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test once more, since an out-of-range access can hide in an optimised build; last,
# builds the libFuzzer targets (only they and what they link) and runs each over its seed corpus
# and a short fuzzing run, so a target that stops building or a seed that crashes fails too.
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
status=0
(cd build && ctest --output-on-failure -j "$jobs") || status=1
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDALLOWMERE_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j "$jobs"
(cd build-sanitize && ctest --output-on-failure -j "$jobs") || status=1
CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDALLOWMERE_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$jobs" --target dm_fuzz_targets
(cd build-fuzz && ctest --output-on-failure --no-tests=error -j "$jobs") || status=1
exit $status
