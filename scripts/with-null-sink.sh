#!/usr/bin/env bash
# Runs a command against a PulseAudio server of its own with a null sink "tone" (its monitor
# "tone.monitor" can be recorded), PULSE_SERVER pointing at it, and ends the server afterwards.
# Works as root and without a session bus (CI). Prints the server's own processor time at the end.
#   scripts/with-null-sink.sh COMMAND [ARGS...]
set -uo pipefail
dir=$(mktemp -d)
socket="$dir/native"
HOME="$dir" PULSE_RUNTIME_PATH="$dir/run" PULSE_STATE_PATH="$dir/state" DBUS_SESSION_BUS_ADDRESS= \
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=false --realtime=false \
    --high-priority=false --disable-shm=true --log-target=stderr \
    --load="module-null-sink sink_name=tone rate=48000" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$socket" 2>"$dir/server.log" &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 100); do
    [ -S "$socket" ] && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
done
if [ ! -S "$socket" ]; then
    echo "the sound server did not start:" >&2
    cat "$dir/server.log" >&2
    exit 77
fi
ticks() { awk '{ print $14 + $15 }' "/proc/$server/stat"; }
start_ticks=$(ticks)
start_time=$(date +%s.%N)
PULSE_SERVER="unix:$socket" "$@"
status=$?
awk -v a="$start_ticks" -v b="$(ticks)" -v t0="$start_time" -v t1="$(date +%s.%N)" \
    -v hz="$(getconf CLK_TCK)" 'BEGIN {
        printf "sound server: cpu %.2f s over %.1f s, %.2f %% of one core\n",
               (b - a) / hz, t1 - t0, 100 * (b - a) / hz / (t1 - t0) }'
exit $status
