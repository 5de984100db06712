#!/usr/bin/env bash
# Processor time of a live session at the line's full rate: the probe simulator sends 53 frames
# a second to COM2 of a fresh program folder, and the real main window records them for
# SECONDS (default 60) after a 5 s warm-up, its user + system time read from /proc/self/stat.
#   scripts/measure-acquisition-cpu.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
build=${1:-build}
seconds=${2:-60}
folder=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -rf "$folder"' EXIT

"$build/bin/probe-sim" --folder "$folder" --port 2 --rate 53 &
sim=$!
for _ in $(seq 100); do
    [ -L "$folder/ports/com2" ] && break
    sleep 0.1
done
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bench/sylvane_cpu_harness" "$folder" 2 "$seconds"
