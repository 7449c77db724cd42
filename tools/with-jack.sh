#!/usr/bin/env bash
# Runs COMMAND... against a private JACK server (jackd2 on its dummy backend, 44100 Hz), reached
# through ALSA's jack plugin:
#   with-jack.sh [--period FRAMES] COMMAND [ARG...]      (FRAMES: JACK's period, default 1024)
#
# The server has its own name, HOME and XDG_RUNTIME_DIR in a temporary directory, and two loopback
# ports (-L 2): what is played into loopback:playback_N comes back on loopback:capture_N with no
# jack_connect (a client that reopens every second could not be connected by hand in time).
# ALSA's `default` PCM is `plug` over a jack PCM with those ports, so that formats are converted
# and mono is spread onto both; JACK has no control device, so `ctl.default` does not exist here.
# The script exits with COMMAND's status; the server is stopped by its PID whatever happens.
set -euo pipefail

readonly kRate=44100
readonly kStartTimeoutSeconds=15
readonly kStopTimeoutSteps=50 # of 0.1 s

period=1024
if [[ "${1:-}" == "--period" ]]; then
    period=${2:-}
    shift 2 || true
fi
if ! [[ "$period" =~ ^[0-9]+$ ]] || [[ $# -eq 0 ]]; then
    echo "usage: $0 [--period FRAMES] COMMAND [ARG...]" >&2
    exit 2
fi

work_dir=$(mktemp -d "${TMPDIR:-/tmp}/with-jack.XXXXXX")
# JACK servers meet in one registry: a name of its own lets several of these run at once.
readonly name="soundscope-$$"
server_pid=

cleanup() {
    local status=$?
    if [[ -n "$server_pid" ]] && kill "$server_pid" 2>/dev/null; then
        for _ in $(seq "$kStopTimeoutSteps"); do
            kill -0 "$server_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$work_dir"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

export HOME="$work_dir/home"
export XDG_RUNTIME_DIR="$work_dir/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS || true
# Clients find this server by its name and never start one of their own.
export JACK_DEFAULT_SERVER=$name
export JACK_NO_START_SERVER=1

cat >"$work_dir/asound.conf" <<'CONF'
pcm.jackcable {
    type jack
    playback_ports { 0 loopback:playback_1 1 loopback:playback_2 }
    capture_ports { 0 loopback:capture_1 1 loopback:capture_2 }
}
pcm.!default { type plug slave.pcm "jackcable" }
CONF
export ALSA_CONFIG_PATH="/usr/share/alsa/alsa.conf:$work_dir/asound.conf"

# With realtime scheduling where it is allowed (jackd goes on without it where it is not): on a
# busy machine a server without it misses cycles, and the cable then drops whole periods.
jackd -n "$name" -L 2 -d dummy -r "$kRate" -p "$period" \
    >"$work_dir/jackd.log" 2>&1 </dev/null &
server_pid=$!

deadline=$((SECONDS + kStartTimeoutSeconds))
until jack_lsp 2>/dev/null | grep -q '^loopback:capture_2$'; do
    if ! kill -0 "$server_pid" 2>/dev/null || ((SECONDS >= deadline)); then
        echo "with-jack: jackd did not come up within ${kStartTimeoutSeconds}s:" >&2
        cat "$work_dir/jackd.log" >&2
        exit 1
    fi
    sleep 0.1
done

export WITH_JACK_PID=$server_pid
set +e
"$@"
status=$?
set -e
exit "$status"
