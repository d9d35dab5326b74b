#!/usr/bin/env bash
# Builds and runs the whole test suite twice: a GCC build with warnings as errors, and a
# clang build with AddressSanitizer and UndefinedBehaviorSanitizer that also runs the fuzzers.
set -euo pipefail
cd "$(dirname "$0")/../.."
tools/dev/deps.sh

jobs=$(nproc)

cmake -S . -B build -G Ninja -DUMBRA_WERROR=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DUMBRA_WERROR=ON -DUMBRA_SANITIZE=ON -DUMBRA_FUZZ=ON -DUMBRA_BENCH=OFF
cmake --build build-asan -j "$jobs"
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"
