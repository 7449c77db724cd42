#!/usr/bin/env bash
# Soak run: the window on the simulated card's real clock, under a private X server (Xvfb), for
# MINUTES minutes (default 10). Every 10 s it prints the program's resident memory, threads and
# open descriptors; at the end it says whether any of them grew after the first minute, and exits
# 1 if one did. Extra arguments go to the program (default: --sim, the demo signal).
#
#   bash tools/soak.sh [MINUTES] [-- SOUNDSCOPE_ARGS...]
set -euo pipefail
cd "$(dirname "$0")/.."

minutes=${1:-10}
shift || true
[[ "${1:-}" == "--" ]] && shift
args=("$@")
[[ ${#args[@]} -eq 0 ]] && args=(--sim)

readonly kIntervalSeconds=10
readonly kSettleSeconds=60
readonly kRssToleranceKiB=2048  # allocator noise, not growth

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSOUNDSCOPE_BENCH=OFF >/dev/null
cmake --build build/release --target soundscope >/dev/null
app=build/release/src/app/soundscope

display=99
while [[ -e /tmp/.X11-unix/X$display ]]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
app_pid=""
cleanup() {
    [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do [[ -e /tmp/.X11-unix/X$display ]] && break; sleep 0.1; done

DISPLAY=":$display" "$app" "${args[@]}" >/dev/null &
app_pid=$!

status_field() { awk -v key="$1:" '$1 == key { print $2 }' "/proc/$app_pid/status"; }

echo "seconds  rss_kib  threads  fds"
samples=$((minutes * 60 / kIntervalSeconds))
settled_rss="" settled_threads="" settled_fds=""
max_rss=0 max_threads=0 max_fds=0
for i in $(seq 1 "$samples"); do
    sleep "$kIntervalSeconds"
    if ! kill -0 "$app_pid" 2>/dev/null; then
        echo "soundscope ended early" >&2
        exit 1
    fi
    rss=$(status_field VmRSS)
    threads=$(status_field Threads)
    fds=$(find "/proc/$app_pid/fd" -mindepth 1 -maxdepth 1 | wc -l)
    seconds=$((i * kIntervalSeconds))
    printf '%7d  %7d  %7d  %3d\n' "$seconds" "$rss" "$threads" "$fds"
    if ((seconds == kSettleSeconds)); then
        settled_rss=$rss settled_threads=$threads settled_fds=$fds
        max_rss=$rss max_threads=$threads max_fds=$fds
    elif ((seconds > kSettleSeconds)); then
        ((rss > max_rss)) && max_rss=$rss
        ((threads > max_threads)) && max_threads=$threads
        ((fds > max_fds)) && max_fds=$fds
    fi
done

if [[ -z "$settled_rss" ]]; then
    echo "too short to judge: run longer than a minute"
    exit 0
fi
grew=0
if ((max_rss > settled_rss + kRssToleranceKiB)); then
    echo "resident memory grew: $settled_rss KiB at 1 min, up to $max_rss KiB"; grew=1
fi
if ((max_threads > settled_threads)); then
    echo "threads grew: $settled_threads at 1 min, up to $max_threads"; grew=1
fi
if ((max_fds > settled_fds)); then
    echo "descriptors grew: $settled_fds at 1 min, up to $max_fds"; grew=1
fi
((grew == 0)) && echo "no growth after the first minute (rss $settled_rss KiB, up to $max_rss; threads $settled_threads; fds $settled_fds)"
exit "$grew"
