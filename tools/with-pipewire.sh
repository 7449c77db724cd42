#!/usr/bin/env bash
# Runs COMMAND... against a private PipeWire (with WirePlumber and pipewire-pulse), as a Debian 12
# desktop has it, reached from ALSA one of two ways:
#   --via alsa   PipeWire's own ALSA plugin (pipewire-alsa): `default` is `type pipewire`;
#   --via pulse  ALSA's pulse plugin talking to pipewire-pulse: `default` is `type pulse`.
#
# The servers have their own HOME, XDG_RUNTIME_DIR, XDG_CONFIG_HOME and XDG_STATE_HOME (empty, so
# WirePlumber starts from no stored defaults) in a temporary directory, and no D-Bus. A 44100 Hz
# stereo null sink is the only device, so WirePlumber makes it the default sink and its monitor
# the default source: what is played comes back on capture. The script exits with COMMAND's
# status; every server is stopped by its PID whatever happens.
#
# pipewire-alsa conflicts with the pulseaudio package, so it is not installed: tools/install-deps.sh
# unpacks it into $PIPEWIRE_ALSA_ROOT (default /usr/local/lib/pipewire-alsa), and ALSA is pointed
# at its plugins there through a private copy of alsa.conf whose hook loads a private conf.d: the
# system's files but 99-pulse.conf (which would make `default` the pulse plugin whenever a
# PulseAudio server answers, and pipewire-pulse answers), plus PipeWire's own.
#
# For COMMAND: WITH_PIPEWIRE_PIDS holds the PIDs of pipewire, wireplumber and pipewire-pulse.
set -euo pipefail

readonly kSink=scope_sink
readonly kStartTimeoutSeconds=15
readonly kStopTimeoutSteps=50 # of 0.1 s
readonly pipewire_alsa_root=${PIPEWIRE_ALSA_ROOT:-/usr/local/lib/pipewire-alsa}

via=
if [[ "${1:-}" == "--via" ]]; then
    via=${2:-}
    shift 2 || true
fi
if [[ "$via" != alsa && "$via" != pulse ]] || [[ $# -eq 0 ]]; then
    echo "usage: $0 --via alsa|pulse COMMAND [ARG...]" >&2
    exit 2
fi

plugin=$(compgen -G "$pipewire_alsa_root/usr/lib/*/alsa-lib/libasound_module_pcm_pipewire.so" |
    head -n 1 || true)
readonly plugin_dir=${plugin%/*}
if [[ "$via" == alsa && -z "$plugin" ]]; then
    echo "with-pipewire: no pipewire-alsa under $pipewire_alsa_root (tools/install-deps.sh" \
        "unpacks it there)" >&2
    exit 2
fi

work_dir=$(mktemp -d "${TMPDIR:-/tmp}/with-pipewire.XXXXXX")
pids=()

# SIGTERM, then SIGKILL after 5 s; the last started goes first.
stop_servers() {
    local i pid
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        pid=${pids[i]}
        kill "$pid" 2>/dev/null || continue
        for _ in $(seq "$kStopTimeoutSteps"); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null || true
    done
}

cleanup() {
    local status=$?
    stop_servers
    rm -rf "$work_dir"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail_start() {
    echo "with-pipewire: $1" >&2
    cat "$work_dir"/*.log >&2 || true
    exit 1
}

# Starts $2... in the background with its output in $1.log.
start() {
    local log=$1
    shift
    "$@" >>"$work_dir/$log.log" 2>&1 </dev/null &
    pids+=($!)
}

# Waits until `$@` succeeds, at most kStartTimeoutSeconds.
await() {
    local what=$1
    shift
    local deadline=$((SECONDS + kStartTimeoutSeconds))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || fail_start "$what did not come up within ${kStartTimeoutSeconds}s"
        sleep 0.1
    done
}

export HOME="$work_dir/home"
export XDG_RUNTIME_DIR="$work_dir/run"
export XDG_CONFIG_HOME="$HOME/.config"
export XDG_STATE_HOME="$HOME/.local/state"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_STATE_HOME" \
    "$XDG_CONFIG_HOME/pipewire/pipewire.conf.d" \
    "$XDG_CONFIG_HOME/wireplumber/bluetooth.lua.d" "$XDG_CONFIG_HOME/wireplumber/main.lua.d"
chmod 700 "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY PIPEWIRE_REMOTE || true
export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"

cat >"$XDG_CONFIG_HOME/pipewire/pipewire.conf.d/50-sink.conf" <<CONF
context.objects = [
    { factory = adapter
      args = { factory.name = support.null-audio-sink node.name = "$kSink"
               media.class = "Audio/Sink" audio.position = [ FL FR ] audio.rate = 44100
               object.linger = true monitor.channel-volumes = true } }
]
CONF
# WirePlumber exits without a session bus unless told not to look for one.
echo 'bluez_monitor.enabled = false' \
    >"$XDG_CONFIG_HOME/wireplumber/bluetooth.lua.d/51-no-dbus.lua"
cat >"$XDG_CONFIG_HOME/wireplumber/main.lua.d/51-no-dbus.lua" <<'CONF'
alsa_monitor.properties["alsa.reserve"] = false
default_access.properties["enable-flatpak-portal"] = false
CONF

if [[ "$via" == alsa ]]; then
    mkdir -p "$work_dir/alsa/conf.d"
    for file in /etc/alsa/conf.d/*.conf; do
        [[ "$(basename "$file")" == 99-pulse.conf ]] || ln -s "$file" "$work_dir/alsa/conf.d/"
    done
    cat >"$work_dir/alsa/conf.d/49-pipewire-modules.conf" <<CONF
pcm_type.pipewire { lib "$plugin_dir/libasound_module_pcm_pipewire.so" }
ctl_type.pipewire { lib "$plugin_dir/libasound_module_ctl_pipewire.so" }
CONF
    cp "$pipewire_alsa_root"/usr/share/alsa/alsa.conf.d/*.conf "$work_dir/alsa/conf.d/"
    sed "s|\"/etc/alsa/conf.d\"|\"$work_dir/alsa/conf.d\"|" /usr/share/alsa/alsa.conf \
        >"$work_dir/alsa/alsa.conf"
    export ALSA_CONFIG_PATH="$work_dir/alsa/alsa.conf"
else
    cat >"$work_dir/asound.conf" <<CONF
pcm.!default { type pulse }
ctl.!default { type pulse }
CONF
    export ALSA_CONFIG_PATH="/usr/share/alsa/alsa.conf:$work_dir/asound.conf"
fi

start pipewire pipewire
await "pipewire" test -S "$XDG_RUNTIME_DIR/pipewire-0"
start wireplumber wireplumber
start pipewire-pulse pipewire-pulse
# Ready when the session manager has made the sink the default and its monitor streams.
await "the default sink" sh -c "pactl info | grep -q 'Default Sink: $kSink'"
await "the sink's monitor" sh -c "pactl info | grep -q 'Default Source: $kSink.monitor'"

export WITH_PIPEWIRE_PIDS="${pids[*]}"
set +e
"$@"
status=$?
set -e
exit "$status"
