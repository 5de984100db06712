#!/usr/bin/env bash
# Runs the benchmarks and the timed harnesses of a Release build and prints one table of where
# the program stands: name, value, unit, target.
#   scripts/bench-table.sh [BUILD_DIR] [CPU_SECONDS]
# CPU_SECONDS (default 60) is how long the live session runs for the processor figure. The
# session figures run the probe simulator at the line's full rate (53 frames a second). Set
# QT_QPA_PLATFORM or DISPLAY to choose the display; offscreen by default.
set -uo pipefail
build=${1:-build-bench}
cpu_seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The benchmarks and the start-up run offscreen unless a display is chosen; the live session's
# processor time is measured with the window on a display (measure-acquisition-cpu.sh).
platform=${QT_QPA_PLATFORM:-}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
rows=()
row() { rows+=("$(printf '%-44s %14s  %-12s %s' "$1" "$2" "$3" "$4")"); }
fail=0

echo "== benchmarks (Google Benchmark)"
"$build/bench/sylvane_bench" --benchmark_out="$work/bench.json" --benchmark_out_format=json \
    >"$work/bench.txt" 2>&1 || { fail=1; cat "$work/bench.txt" >&2; }
# One field of one benchmark of the JSON report, which puts each field on a line of its own; a
# benchmark with a fixed number of iterations is named without its "/iterations:N".
field() {
    awk -v name="$1" -v key="\"$2\":" '
        $1 == "\"name\":" { gsub(/[",]/, "", $2); sub(/\/iterations:[0-9]+$/, "", $2); current = $2 }
        current == name && $1 == key { gsub(/,/, "", $2); print $2; exit }' "$work/bench.json"
}
fmt() { [ -n "$2" ] && printf "$1" "$2" || echo "?"; }
row "receive path through the session engine" \
    "$(fmt %.0f "$(field BM_EngineReceivePerFrame items_per_second)")" "frames/s" ">= 5000000"
row "live step of one reading on the picture" "$(fmt %.2f "$(field BM_LiveStep cpu_time)")" "us" "-"
row "one reading through the window, disk record" \
    "$(fmt %.2f "$(field BM_GraphAndRecordPerReading cpu_time)")" "us" "-"
for n in 192000 4608000; do
    row "full redraw of a session of $n readings" \
        "$(fmt %.2f "$(field "BM_FullRedraw/$n" cpu_time)")" "ms" "-"
done
row "six saved sessions drawn in the window" \
    "$(fmt %.1f "$(field BM_DisplaySixSavedSessionsInTheWindow cpu_time)")" "ms" "-"
row "EDF+ export of a 24 h session" "$(fmt %.0f "$(field BM_ExportDayAsEdf real_time)")" "ms" "< 1000"
row "CSV export of a 24 h session" "$(fmt %.0f "$(field BM_ExportDayAsCsv real_time)")" "ms" "-"

echo "== the analysis of a 24 h session (skin responses and tonic level)"
"$build/bench/sylvane_analysis_harness" 24 >"$work/analysis.txt" 2>&1 || { fail=1; cat "$work/analysis.txt" >&2; }
for rate in 2 53; do
    read -r ms mb found <<<"$(awk -v r="$rate" '$1 == "analysis" && $2 == r { print $4, $5, $6 }' \
        "$work/analysis.txt")"
    row "analysis of a 24 h session at $rate a second" "${ms:-?}" "ms" "-"
    row "  its peak memory (${found:-?} responses)" "${mb:-?}" "MB" "-"
done

echo "== start-up: the program beside an empty Qt main window, alternating, medians of 15"
# Offscreen, and on a real X server (Xvfb), the screen a user has, where the target applies.
startup() { # name command... -> the harness's lines in $work/startup-name.txt
    local name=$1
    shift
    "$@" "$build/bench/sylvane_startup_harness" 15 >"$work/startup-$name.txt" \
        2>"$work/startup-$name.err" || { fail=1; tail -5 "$work/startup-$name.err" >&2; }
}
figure() { # display name -> value, "?" when there is none
    local v
    v=$(awk -v key="$2" '$1 == "startup" && $2 == key { print $3 }' "$work/startup-$1.txt")
    echo "${v:-?}"
}
startup offscreen env QT_QPA_PLATFORM=offscreen
if command -v xvfb-run >/dev/null; then
    startup xvfb xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb
else
    echo "xvfb-run missing: no start-up figures on an X server" >"$work/startup-xvfb.txt"
fi
for display in xvfb offscreen; do
    label=$([ "$display" = xvfb ] && echo "Xvfb" || echo "offscreen")
    target=$([ "$display" = xvfb ] && echo "<= 1.15" || echo "-")
    row "exec to the first painted window, $label" "$(figure "$display" first-painted-window)" \
        "ms" "< 250"
    row "  an empty Qt main window, $label" "$(figure "$display" empty-window)" "ms" "-"
    row "  program / empty window, $label" "$(figure "$display" ratio-to-empty-window)" "" \
        "$target"
    row "  processor time to it, program / empty" \
        "$(figure "$display" cpu-first-painted-window) / $(figure "$display" cpu-empty-window)" \
        "ms" "-"
done
row "Start to the first reading shown (53/s)" "$(figure offscreen start-to-first-reading)" "ms" "-"

echo "== a live session at the line's full rate for ${cpu_seconds} s"
QT_QPA_PLATFORM=$platform "$here/measure-acquisition-cpu.sh" "$build" "$cpu_seconds" \
    >"$work/cpu.txt" 2>&1 || fail=1
cat "$work/cpu.txt"
cpu=$(sed -n 's/.*cpu [0-9.]* s, \([0-9.]*\) % of one core.*/\1/p' "$work/cpu.txt")
row "CPU of a live session, window shown" "${cpu:-?}" "% of a core" "< 1"
redraws=$(sed -n 's/.*full redraws of the graph [0-9]* (\([0-9]*\) while measuring).*/\1/p' "$work/cpu.txt")
latched=$(sed -n 's/.*reference latched: \([a-zA-Z]*\).*/\1/p' "$work/cpu.txt")
row "  reference latched / full redraws in it" "${latched:-?} / ${redraws:-?}" "" "yes / > 0"

echo "== the same with every reading sent over OSC to a listener on loopback, ${cpu_seconds} s"
OSC=1 QT_QPA_PLATFORM=$platform "$here/measure-acquisition-cpu.sh" "$build" "$cpu_seconds" \
    >"$work/osc.txt" 2>&1 || fail=1
cat "$work/osc.txt"
cpu=$(sed -n 's/.*cpu [0-9.]* s, \([0-9.]*\) % of one core.*/\1/p' "$work/osc.txt")
row "CPU of a live session, OSC sending on" "${cpu:-?}" "% of a core" "< 1"
p99=$(sed -n 's/.*record to packet ([^)]*) median [0-9.]* ms, p99 \([0-9.]*\) ms.*/\1/p' "$work/osc.txt")
row "reading recorded to its OSC packet, p99" "${p99:-?}" "ms" "< 5"
p99=$(sed -n 's/.*listener reading it median [0-9.]* ms, p99 \([0-9.]*\) ms.*/\1/p' "$work/osc.txt")
row "  the same, read by the listener thread, p99" "${p99:-?}" "ms" "-"
packets=$(sed -n 's/^osc: \([0-9]*\) packets received of \([0-9]*\) readings.*/\1 \/ \2/p' "$work/osc.txt")
row "  OSC packets received / readings recorded" "${packets:-?}" "" "all"
echo "== the biofeedback tone on a null sink of a sound server of its own"
here_sink="$here/with-null-sink.sh"
"$here_sink" "$build/bench/sylvane_tone_latency" 10 >"$work/tone.txt" 2>&1
tone_status=$?
cat "$work/tone.txt"
if [ $tone_status -eq 77 ]; then
    row "tone: new pitch to a 20 cent change heard" "no server" "" "< 100"
else
    [ $tone_status -eq 0 ] || fail=1
    row "tone: new pitch to a 20 cent change heard" \
        "$(sed -n 's/.*20 cent change: median \([0-9.]*\) ms.*/\1/p' "$work/tone.txt")" "ms (median)" "< 100"
    row "  largest of 10" "$(sed -n 's/.*20 cent change: .*largest \([0-9.]*\) ms.*/\1/p' "$work/tone.txt")" "ms" "< 100"
    row "tone: new pitch to 90 % of the interval" \
        "$(sed -n 's/.*90 % of the interval: median \([0-9.]*\) ms.*/\1/p' "$work/tone.txt")" "ms (median)" "-"
fi
TONE=1 QT_QPA_PLATFORM=$platform "$here_sink" "$here/measure-acquisition-cpu.sh" "$build" \
    "$cpu_seconds" >"$work/cpu-tone.txt" 2>&1
tone_status=$?
cat "$work/cpu-tone.txt"
if [ $tone_status -eq 77 ]; then
    row "CPU of a live session, tone on" "no server" "" "< 2"
else
    [ $tone_status -eq 0 ] || fail=1
    cpu=$(sed -n 's/.*cpu [0-9.]* s, \([0-9.]*\) % of one core.*tone on.*/\1/p' "$work/cpu-tone.txt")
    row "CPU of a live session, tone on" "${cpu:-?}" "% of a core" "< 2"
    server=$(sed -n 's/^sound server: .*, \([0-9.]*\) % of one core/\1/p' "$work/cpu-tone.txt")
    row "  the sound server meanwhile (null sink)" "${server:-?}" "% of a core" "-"
fi

echo "== system calls of a live session (strace -c, the difference of a 21 s and a 1 s run)"
# Two runs, so that what the start and the end of a run cost cancels out.
syscalls() { # seconds -> "readings-recorded pwrite64-calls all-calls tms-bytes"
    local folder sim
    folder=$(mktemp -d)
    "$build/bin/probe-sim" --folder "$folder" --port 2 --rate 53 >/dev/null 2>&1 &
    sim=$!
    for _ in $(seq 100); do [ -L "$folder/ports/com2" ] && break; sleep 0.1; done
    strace -f -c -o "$work/strace.txt" "$build/bench/sylvane_cpu_harness" "$folder" 2 "$1" \
        >"$work/strace-run.txt" 2>&1
    kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null
    local tms
    tms=$(stat -c %s "$folder/tempdata.tms" 2>/dev/null || echo 0)
    rm -rf "$folder"
    echo "$(sed -n 's/.*readings recorded \([0-9]*\) (.*/\1/p' "$work/strace-run.txt")" \
        "$(awk '$NF == "pwrite64" { print $4 }' "$work/strace.txt")" \
        "$(awk '$NF == "total" { print $4 }' "$work/strace.txt")" "$tms"
}
if command -v strace >/dev/null; then
    read -r r1 p1 t1 _ <<<"$(syscalls 1)"
    read -r r2 p2 t2 b2 <<<"$(syscalls 21)"
    if [ -n "${r1:-}" ] && [ -n "${r2:-}" ] && [ "$r2" -gt "$r1" ]; then
        row "writes per recorded reading (pwrite64)" \
            "$(awk -v a="$p1" -v b="$p2" -v r="$((r2 - r1))" 'BEGIN { printf "%.3f", (b - a) / r }')" \
            "calls" "3 (.tms, .tst, .txt)"
        row "bytes on disk a reading for its time (.tms)" \
            "$(awk -v b="$b2" -v r="$r2" 'BEGIN { printf "%.2f", b / r }')" "bytes" "<= 4"
        row "system calls per recorded reading, all" \
            "$(awk -v a="$t1" -v b="$t2" -v r="$((r2 - r1))" 'BEGIN { printf "%.1f", (b - a) / r }')" \
            "calls" "-"
    else
        row "system calls per recorded reading" "?" "" "(strace runs failed)"
    fi
else
    row "system calls per recorded reading" "strace missing" "" ""
fi

echo
printf '%-44s %14s  %-12s %s\n' "figure" "value" "unit" "target"
printf '%s\n' "${rows[@]}"
exit $fail
