#!/usr/bin/env bash
# What the program costs the sound server: pipewire's, wireplumber's and pipewire-pulse's CPU (% of
# one core, from /proc/PID/stat) while PROGRAM (default build/release/src/app/soundscope) runs
# headless against a private PipeWire (tools/with-pipewire.sh), and over as long before it with no
# client, for comparison:
#   bash tools/measure-server-cpu.sh [--via alsa|pulse] [PROGRAM [SECONDS]]   (default: alsa, 30 s)
set -euo pipefail
cd "$(dirname "$0")/.."

via=alsa
if [[ "${1:-}" == "--via" ]]; then
    via=${2:-}
    shift 2 || true
fi
program=$(readlink -f "${1:-build/release/src/app/soundscope}")
seconds=${2:-30}
readonly kSettleSeconds=3
if [[ ! -x "$program" ]]; then
    echo "measure-server-cpu: no program at $program (build it first, e.g. with tools/run.sh)" >&2
    exit 2
fi

if [[ -z "${WITH_PIPEWIRE_PIDS:-}" ]]; then
    exec tools/with-pipewire.sh --via "$via" "$0" --via "$via" "$program" "$seconds"
fi

read -r -a pids <<<"$WITH_PIPEWIRE_PIDS"
readonly names=(pipewire wireplumber pipewire-pulse)
ticks() {
    local fields
    read -r -a fields <"/proc/$1/stat"
    echo $((fields[13] + fields[14])) # utime + stime
}
# Prints each server's share of one core over $1 seconds.
measure() {
    local before=() i line=""
    for i in "${!pids[@]}"; do before[i]=$(ticks "${pids[i]}"); done
    sleep "$1"
    for i in "${!pids[@]}"; do
        line+=$(awk -v t="$(($(ticks "${pids[i]}") - before[i]))" -v hz="$(getconf CLK_TCK)" \
            -v s="$1" -v n="${names[i]}" 'BEGIN { printf "%s %.2f%%  ", n, 100 * t / hz / s }')
    done
    echo "$line"
}

sleep "$kSettleSeconds"
echo "servers alone, ${seconds} s:      $(measure "$seconds")"
"$program" --passes 1000000 >/dev/null 2>&1 &
client=$!
sleep "$kSettleSeconds"
echo "with $(basename "$program") (via $via): $(measure "$seconds")"
kill "$client"
wait "$client" 2>/dev/null || true
