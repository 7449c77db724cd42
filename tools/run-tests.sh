#!/usr/bin/env bash
# Builds the project with warnings as errors and runs every test; then builds the tests twice
# more, with AddressSanitizer and UndefinedBehaviorSanitizer and with ThreadSanitizer, and runs
# them again (all but the end-to-end tests through the sound server).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
root=$(pwd)

cmake -S . -B build/ci -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOUNDSCOPE_WERROR=ON
cmake --build build/ci -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build/ci --output-on-failure -j "$jobs"

# The sound-server tests run in the first pass only: the daemon and its plugin are not built with
# the sanitizers and add nothing to what they check here.
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSOUNDSCOPE_WERROR=ON \
    -DSOUNDSCOPE_SANITIZE=ON -DSOUNDSCOPE_BENCH=OFF
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$root/tools/sanitizers/lsan.supp" \
    UBSAN_OPTIONS=print_stacktrace=1 QT_QPA_PLATFORM=offscreen \
    ctest --test-dir build/sanitize --output-on-failure -j "$jobs" -LE e2e

# The driver threads (ALSA and the simulated card's real clock) against the UI thread. Qt is not
# built with ThreadSanitizer; tools/sanitizers/tsan.supp names what that hides and why.
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOUNDSCOPE_WERROR=ON \
    -DSOUNDSCOPE_TSAN=ON -DSOUNDSCOPE_BENCH=OFF
cmake --build build/tsan -j "$jobs"
TSAN_OPTIONS="suppressions=$root/tools/sanitizers/tsan.supp halt_on_error=1 second_deadlock_stack=1" \
    QT_QPA_PLATFORM=offscreen ctest --test-dir build/tsan --output-on-failure -j "$jobs" -LE e2e
