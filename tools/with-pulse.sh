#!/usr/bin/env bash
# Runs COMMAND... against a private PulseAudio server reached through ALSA's pulse plugin.
#
# The server has its own HOME and XDG_RUNTIME_DIR in a temporary directory and loads only what the
# end-to-end tests need: the native protocol (anonymous), a 44100 Hz stereo null sink as the
# default sink, its monitor as the default source, and a silent null source looped into the sink so
# that the monitor streams at once. ALSA's `default` PCM and control are pointed at the server. The
# script exits with COMMAND's status; the server is stopped by its PID whatever happens.
#
# COMMAND may stop the server and start it again (a sound server that goes away and comes back):
#   WITH_PULSE_PID_FILE  holds the PID of the server running now
#   WITH_PULSE_CONTROL   a command line: `$WITH_PULSE_CONTROL stop` ends the server by its PID and
#                        waits until it is gone; `$WITH_PULSE_CONTROL start` starts it again with
#                        the same configuration and returns once its monitor streams (status 1
#                        and the server's log on stderr otherwise).
#
# Works as root (also in a chroot without a session bus or /dev/shm): the server is not a system
# instance and uses no PID file, no realtime or nice elevation and no shared memory. As root it
# warns that it is not meant to run as root, and without D-Bus that it cannot reach it: both are
# harmless here.
set -euo pipefail

readonly kRate=44100
readonly kSink=scope_sink
readonly kSilence=scope_silence
readonly kStartTimeoutSeconds=15
readonly kStopTimeoutSteps=50 # of 0.1 s

# Whether process $1 has ended. A server started by `start` is no child of the script that stops
# it, so until its parent reaps it, an ended one lingers as a zombie that `kill -0` still finds.
gone() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null || true)
    [[ -z "$state" || "$state" == Z* ]]
}

# Ends the server whose PID is in the PID file: SIGTERM, then SIGKILL after 5 s.
stop_server() {
    local pid
    pid=$(cat "$work_dir/pulse.pid" 2>/dev/null || true)
    [[ -n "$pid" ]] || return 0
    if ! gone "$pid"; then
        kill "$pid" 2>/dev/null || true
        for _ in $(seq "$kStopTimeoutSteps"); do
            gone "$pid" && break
            sleep 0.1
        done
        gone "$pid" || kill -9 "$pid" 2>/dev/null || true
    fi
    : >"$work_dir/pulse.pid"
}

# Starts the server on the configuration in $work_dir and waits until it streams; its PID goes to
# the PID file.
start_server() {
    # Without a display the server cannot autolaunch a D-Bus daemon that would outlive it; without
    # shared memory it also runs where /dev/shm is missing (chroots).
    env -u DISPLAY -u WAYLAND_DISPLAY \
        pulseaudio -n -F "$work_dir/server.pa" --exit-idle-time=-1 --daemonize=no --system=no \
        --disallow-exit --use-pid-file=no --realtime=no --high-priority=no --disable-shm=yes \
        --log-target=stderr >>"$work_dir/pulseaudio.log" 2>&1 </dev/null &
    local pid=$!
    # Not a job of this shell: a server that COMMAND kills is not reported as "Killed" here.
    disown "$pid"
    echo "$pid" >"$work_dir/pulse.pid"

    # Ready when a short recording from the default source (the sink's monitor) yields data.
    local deadline=$((SECONDS + kStartTimeoutSeconds)) bytes
    while true; do
        if gone "$pid"; then
            echo "with-pulse: pulseaudio exited during start-up:" >&2
            cat "$work_dir/pulseaudio.log" >&2
            return 1
        fi
        bytes=$(timeout 2 parec --raw --format=s16le --rate=$kRate --channels=2 2>/dev/null |
            head -c 4096 | wc -c || true)
        if [[ "$bytes" -ge 4096 ]]; then
            return 0
        fi
        if ((SECONDS >= deadline)); then
            echo "with-pulse: the monitor of $kSink did not stream within ${kStartTimeoutSeconds}s" >&2
            cat "$work_dir/pulseaudio.log" >&2
            return 1
        fi
        sleep 0.2
    done
}

# `with-pulse.sh --control start|stop`, from within COMMAND: the environment tells where the
# running instance keeps its server.
if [[ "${1:-}" == "--control" ]]; then
    if [[ -z "${WITH_PULSE_DIR:-}" || ! -f "$WITH_PULSE_DIR/server.pa" ]]; then
        echo "with-pulse: --control works only inside a command that with-pulse.sh runs" >&2
        exit 2
    fi
    work_dir=$WITH_PULSE_DIR
    case "${2:-}" in
        stop) stop_server ;;
        start)
            stop_server
            start_server
            ;;
        *)
            echo "usage: $0 --control start|stop" >&2
            exit 2
            ;;
    esac
    exit 0
fi

if [[ $# -eq 0 ]]; then
    echo "usage: $0 COMMAND [ARG...]" >&2
    exit 2
fi

work_dir=$(mktemp -d "${TMPDIR:-/tmp}/with-pulse.XXXXXX")

cleanup() {
    local status=$?
    stop_server
    rm -rf "$work_dir"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

export HOME="$work_dir/home"
export XDG_RUNTIME_DIR="$work_dir/run"
export XDG_CONFIG_HOME="$HOME/.config"
mkdir -p "$HOME" "$XDG_CONFIG_HOME/pulse" "$XDG_RUNTIME_DIR/pulse"
chmod 700 "$XDG_RUNTIME_DIR"
readonly socket="$XDG_RUNTIME_DIR/pulse/native"

# Clients never spawn a server of their own and find this one by its socket.
cat >"$XDG_CONFIG_HOME/pulse/client.conf" <<CONF
autospawn = no
default-server = unix:$socket
CONF
export PULSE_SERVER="unix:$socket"
export PULSE_CLIENTCONFIG="$XDG_CONFIG_HOME/pulse/client.conf"
unset DBUS_SESSION_BUS_ADDRESS || true

cat >"$work_dir/server.pa" <<CONF
load-module module-native-protocol-unix auth-anonymous=1 socket=$socket
load-module module-null-sink sink_name=$kSink rate=$kRate channels=2 format=s16le
set-default-sink $kSink
set-default-source $kSink.monitor
load-module module-null-source source_name=$kSilence rate=$kRate channels=2 format=s16le
load-module module-loopback source=$kSilence sink=$kSink
CONF

# The stock alsa.conf loads the plugin definitions (pulse among them); our file then makes the
# server the default PCM and control.
cat >"$work_dir/asound.conf" <<CONF
pcm.!default { type pulse }
ctl.!default { type pulse }
CONF
export ALSA_CONFIG_PATH="/usr/share/alsa/alsa.conf:$work_dir/asound.conf"

export WITH_PULSE_DIR="$work_dir"
export WITH_PULSE_PID_FILE="$work_dir/pulse.pid"
WITH_PULSE_CONTROL="$(readlink -f "${BASH_SOURCE[0]}") --control"
export WITH_PULSE_CONTROL

start_server

set +e
"$@"
status=$?
set -e
exit "$status"
