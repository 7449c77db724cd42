#!/usr/bin/env bash
# Builds the project with warnings as errors and runs every test, then builds the unit tests once
# more with AddressSanitizer and UndefinedBehaviorSanitizer and runs them again.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

cmake -S . -B build/ci -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOUNDSCOPE_WERROR=ON
cmake --build build/ci -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build/ci --output-on-failure -j "$jobs"

cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSOUNDSCOPE_WERROR=ON \
    -DSOUNDSCOPE_SANITIZE=ON -DSOUNDSCOPE_BENCH=OFF
cmake --build build/sanitize -j "$jobs"
# The sound-server test runs in the first pass only: the daemon's plugin is not built with the
# sanitizers and adds nothing to what they check here.
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 QT_QPA_PLATFORM=offscreen \
    ctest --test-dir build/sanitize --output-on-failure -j "$jobs" -LE e2e
