#!/usr/bin/env bash
# Measures what the running window costs with a live signal: the program on a virtual display
# (Xvfb) and the private PulseAudio server of with-pulse.sh, capturing a 1 kHz sine that the server
# itself plays into the null sink (module-sine); the program's own generator plays into a second
# null sink, so that it does not mix in. After a start-up wait it reports:
# - CPU: the process's utime + stime (/proc/PID/stat) over the interval, as % of one core;
# - RSS: its resident memory (VmRSS) at the end;
# - with --paints, the screen's repaints per second over 5 s more (gdb counts the calls of the
#   client area's paint handler; needs a build with symbols). Attaching stops the program for a
#   moment, so buffers that arrive meanwhile are taken together and a few are never drawn;
# - from the report it writes when closed (SIGTERM): idle passes, captured and drawn buffers.
# With --measurement-window, the measurement window is open over the interval: F3 is pressed in
# the main window (xdotool) once it shows, and the script checks that the window opened.
#
# usage: tools/measure-cpu.sh [--paints] [--measurement-window] [SOUNDSCOPE [SECONDS]]
#        (default: build/release/src/app/soundscope, 20 s)
set -euo pipefail

readonly kWarmUpSeconds=3
readonly kPaintSeconds=5
readonly kToneHz=1000

paints=0
measurement_window=0
while [[ "${1:-}" == --* ]]; do
    case "$1" in
        --paints) paints=1 ;;
        --measurement-window) measurement_window=1 ;;
        *)
            echo "measure-cpu: unknown option $1" >&2
            exit 2
            ;;
    esac
    shift
done
here=$(cd "$(dirname "$0")" && pwd)
app=$(realpath "${1:-$here/../build/release/src/app/soundscope}")
seconds=${2:-20}
[[ -x "$app" ]] || {
    echo "measure-cpu: no program at $app (build it, or name it)" >&2
    exit 2
}

# Once more inside the private sound server.
if [[ -z "${MEASURE_CPU_INSIDE:-}" ]]; then
    MEASURE_CPU_INSIDE=1 exec "$here/with-pulse.sh" "$0" $([[ $paints == 1 ]] && echo --paints) \
        $([[ $measurement_window == 1 ]] && echo --measurement-window) "$app" "$seconds"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/measure-cpu.XXXXXX")
xvfb_pid=""
app_pid=""
cleanup() {
    local status=$?
    for pid in "$app_pid" "$xvfb_pid"; do
        [[ -n "$pid" ]] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT

pactl load-module module-null-sink sink_name=measure_generator rate=44100 channels=2 >/dev/null
pactl load-module module-sine sink=scope_sink frequency=$kToneHz >/dev/null

# Xvfb picks a free display and writes its number to the descriptor.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [[ -s "$work/display" ]] && break
    sleep 0.1
done
[[ -s "$work/display" ]] || {
    echo "measure-cpu: Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
}
export DISPLAY=":$(head -n1 "$work/display")"

PULSE_SINK=measure_generator "$app" --report "$work/report.json" >"$work/app.log" 2>&1 &
app_pid=$!
if [[ $measurement_window == 1 ]]; then
    # No window manager on Xvfb: the main window gets the input focus directly, then the key.
    main_window=$(xdotool search --sync --onlyvisible --pid "$app_pid" --name '^osciloskop' | head -n1)
    xdotool windowfocus --sync "$main_window" key F3
    xdotool search --sync --onlyvisible --pid "$app_pid" --name '^Měření$' >/dev/null
fi
sleep "$kWarmUpSeconds"

ticks=$(getconf CLK_TCK)
cpu_ticks() { # utime + stime, the 14th and 15th fields (after the command name in parentheses)
    sed 's/^.*) //' "/proc/$app_pid/stat" | awk '{ print $12 + $13 }'
}
now() { date +%s.%N; }

t0=$(now)
c0=$(cpu_ticks)
sleep "$seconds"
c1=$(cpu_ticks)
t1=$(now)
rss=$(awk '/^VmRSS:/ { print $2, $3 }' "/proc/$app_pid/status")

awk -v c0="$c0" -v c1="$c1" -v t0="$t0" -v t1="$t1" -v hz="$ticks" -v rss="$rss" -v app="$app" \
    -v mw="$measurement_window" \
    'BEGIN {
        printf "program: %s%s\n", app, mw ? " (the measurement window open)" : ""
        printf "CPU: %.1f%% of one core over %.1f s (%.2f s of CPU time)\n",
               100 * (c1 - c0) / hz / (t1 - t0), t1 - t0, (c1 - c0) / hz
        printf "RSS at the end: %s\n", rss
    }'

if [[ $paints == 1 ]]; then
    hits=$(gdb -q -batch -p "$app_pid" -ex 'break window::CanvasView::paintEvent' \
        -ex 'ignore 1 1000000000' -ex "shell (sleep $kPaintSeconds; kill -INT $app_pid) &" \
        -ex continue -ex 'info breakpoints' -ex detach 2>/dev/null |
        sed -n 's/.*already hit \([0-9]*\) time.*/\1/p')
    awk -v n="${hits:-0}" -v s="$kPaintSeconds" \
        'BEGIN { printf "repaints of the screen: %.1f/s (%d in %d s)\n", n / s, n, s }'
fi

kill -TERM "$app_pid"
wait "$app_pid" || true
app_pid=""
field() { sed -n "s/.*\"$1\": \\([0-9]*\\).*/\\1/p" "$work/report.json"; }
if [[ -s "$work/report.json" ]]; then
    echo "report: IdlePasses $(field IdlePasses), CapturedBuffers $(field CapturedBuffers)," \
        "DrawnBuffers $(field DrawnBuffers), Edit8 (frequency of R)$(sed -n 's/.*"Edit8": \(".*"\).*/ \1/p' "$work/report.json")"
else
    echo "measure-cpu: the program wrote no report; its output:" >&2
    cat "$work/app.log" >&2
fi
