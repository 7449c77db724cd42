#!/usr/bin/env bash
# Refreshes the README's picture of the window: the generator's 100 Hz sine through the simulated
# card's loopback on both channels, with the generator's controls in the bottom strip. Headless and
# on the card's own clock, so the picture is the same on every machine. Builds the program first,
# as tools/run.sh does.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSOUNDSCOPE_BENCH=OFF >/dev/null
cmake --build "$build" --target soundscope -j "$(nproc)"
mkdir -p docs
"$build/src/app/soundscope" --sim=loopback --generator --passes 20 --screenshot docs/window.png
echo "docs/window.png"
