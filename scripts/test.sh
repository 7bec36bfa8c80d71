#!/usr/bin/env bash
# Set up, build with warnings as errors, and run every test: a normal build,
# the library tests again under AddressSanitizer and UndefinedBehaviorSanitizer,
# and the concurrency tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs="$(nproc)"

cmake -S . -B build-ci -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVKVX_WERROR=ON >/dev/null
cmake --build build-ci -j"$jobs"
ctest --test-dir build-ci --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVKVX_WERROR=ON -DVKVX_SANITIZE=address,undefined \
  -DVKVX_BUILD_BENCH=OFF -DVKVX_BUILD_VIEWER=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -L library

cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DVKVX_WERROR=ON -DVKVX_SANITIZE=thread \
  -DVKVX_BUILD_BENCH=OFF -DVKVX_BUILD_VIEWER=OFF >/dev/null
cmake --build build-tsan -j"$jobs"
TSAN_OPTIONS=halt_on_error=1:allocator_may_return_null=1 ctest --test-dir build-tsan --output-on-failure -L concurrency

# The device-reply and descriptor parsers under libFuzzer, for a bounded time.
FUZZ_OUT="$PWD/build-fuzz" fuzz/run.sh 20
