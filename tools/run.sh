#!/usr/bin/env bash
# Builds the oscilloscope and runs it. With a display, the window opens on the sound card's
# LINE IN (ALSA device "default"; pass other options through, e.g. --sim or --capture-device hw:1).
# Without a display, it runs headless on the simulated card and writes a report and a picture.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSOUNDSCOPE_BENCH=OFF >/dev/null
cmake --build build/release --target soundscope -j "$(nproc)"
app=build/release/src/app/soundscope

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$app" "$@"
fi
out=${SOUNDSCOPE_OUT:-out}
mkdir -p "$out"
echo "No display: running 50 idle passes headless on the simulated card."
"$app" --sim --passes 50 --report "$out/report.json" --screenshot "$out/screen.png" "$@"
echo "Wrote $out/report.json (read-outs and state) and $out/screen.png (the window)."
