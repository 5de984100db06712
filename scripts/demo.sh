#!/usr/bin/env bash
# The program with a simulated probe: starts probe-sim on COM2 of the program folder (the folder
# of the executable), then the program; when the program ends, stops the simulator.
# Usage: scripts/demo.sh [BUILD_DIR]   (default: build)
set -euo pipefail

build="${1:-build}"
bin="$build/bin"
for exe in "$bin/sylvane" "$bin/probe-sim"; do
    if [ ! -x "$exe" ]; then
        echo "demo: $exe is missing; build first (make build)" >&2
        exit 1
    fi
done
if [ ! -w "$bin" ]; then
    echo "demo: $bin is not writable; the program would keep its files elsewhere" >&2
    exit 1
fi

sim_log="$bin/probe-sim.log"
"$bin/probe-sim" --folder "$bin" --port 2 >"$sim_log" 2>&1 &
sim=$!
stop_sim() {
    if kill -0 "$sim" 2>/dev/null; then
        kill -TERM "$sim" 2>/dev/null || true
        wait "$sim" 2>/dev/null || true
    fi
}
trap stop_sim EXIT

# The simulator prints "COM2 -> /dev/pts/N" once ports/com2 points at its pseudo-terminal.
for _ in $(seq 100); do
    grep -q -- '->' "$sim_log" 2>/dev/null && break
    if ! kill -0 "$sim" 2>/dev/null; then
        echo "demo: the probe simulator did not start:" >&2
        cat "$sim_log" >&2
        exit 1
    fi
    sleep 0.1
done
if ! grep -q -- '->' "$sim_log"; then
    echo "demo: the probe simulator did not link COM2 in time (see $sim_log)" >&2
    exit 1
fi

echo "demo: simulated probe on $(head -n 1 "$sim_log") (log: $sim_log)"
echo "demo: in the program choose Session > Start to read it (COM2 is the default port)."
echo "      The graph comes up about 8 s later, once the reference reading has settled."

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "demo: no display (DISPLAY and WAYLAND_DISPLAY are unset): running the program under"
    echo "      xvfb-run -a, on a virtual screen you cannot see. To watch it, run 'make demo'"
    echo "      in a desktop session, or log in with 'ssh -X' so that DISPLAY is set."
    echo "      Press Ctrl+C to end."
    xvfb-run -a "$bin/sylvane"
else
    "$bin/sylvane"
fi
