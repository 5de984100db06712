#!/usr/bin/env bash
# Processor time of a live session at the line's full rate: the probe simulator sends 53 frames
# a second to COM2 of a fresh program folder, and the real main window, shown with all its
# panels, records them for
# SECONDS (default 60) after a 5 s warm-up, its user + system time read from /proc/self/stat.
# Beside the figure it prints whether the reference latched, the readings recorded and the
# picture graph's full redraws; it fails loudly when the reference did not latch in the warm-up,
# since the graph then draws nothing and the figure would leave out its work.
#   scripts/measure-acquisition-cpu.sh [BUILD_DIR] [SECONDS]
# PROBE_SIM_OPTIONS adds options of the simulator, e.g. "--seed 7" or "--noise 2".
# OSC=1 also sends every reading over OSC to a listener on loopback (the harness's --osc) and
# prints the packets received and each reading's delay from its record to its packet.
# TONE=1 turns the biofeedback tone on; it plays on the sound server of PULSE_SERVER (run the
# script under scripts/with-null-sink.sh).
set -euo pipefail
build=${1:-build}
seconds=${2:-60}
folder=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -rf "$folder"' EXIT

"$build/bin/probe-sim" --folder "$folder" --port 2 --rate 53 ${PROBE_SIM_OPTIONS:-} &
sim=$!
for _ in $(seq 100); do
    [ -L "$folder/ports/com2" ] && break
    sleep 0.1
done
# The window is shown on a display: the desktop's, or else a virtual one (Xvfb), so that what the
# program draws reaches a screen as it does in use; offscreen only where neither is there.
harness=("$build/bench/sylvane_cpu_harness" "$folder" 2 "$seconds")
[ "${OSC:-0}" = 1 ] && harness+=(--osc)
[ "${TONE:-0}" = 1 ] && harness+=(tone)
if [ -n "${QT_QPA_PLATFORM:-}" ] || [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    "${harness[@]}"
elif command -v xvfb-run >/dev/null; then
    echo "display: Xvfb (xvfb-run), 1280x1024"
    xvfb-run -a -s "-screen 0 1280x1024x24" "${harness[@]}"
else
    echo "display: none, offscreen"
    QT_QPA_PLATFORM=offscreen "${harness[@]}"
fi
