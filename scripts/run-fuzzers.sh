#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a bounded time and reports, per target, the
# time, the executions and what was found.
#
#   scripts/run-fuzzers.sh <fuzz build folder> <seconds per target> [target ...]
#
# Each target starts from its seeds in fuzz/corpus/<name>/ (which it never writes to: new inputs
# go to a working corpus in the build folder, kept between runs). A crash, a hang, a sanitizer
# report or a run-away allocation leaves its input in <build>/fuzz-findings/<name>/ and makes the
# script fail; the input belongs in fuzz/corpus/<name>/ once the fault is fixed.
set -uo pipefail

build=${1:?usage: run-fuzzers.sh <fuzz build folder> <seconds per target> [target ...]}
seconds=${2:?usage: run-fuzzers.sh <fuzz build folder> <seconds per target> [target ...]}
shift 2
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$build" && pwd)

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for bin in "$build"/fuzz/*_fuzz; do
        [ -x "$bin" ] && targets+=("$(basename "$bin")")
    done
fi
if [ ${#targets[@]} -eq 0 ]; then
    echo "run-fuzzers: no fuzz targets in $build/fuzz" >&2
    exit 1
fi

summary=()
failed=0
for target in "${targets[@]}"; do
    name=${target%_fuzz}
    bin="$build/fuzz/$target"
    seeds="$source_dir/fuzz/corpus/$name"
    work="$build/fuzz-corpus/$name"
    findings="$build/fuzz-findings/$name"
    log="$build/fuzz-logs/$name.log"
    mkdir -p "$seeds" "$work" "$findings" "$(dirname "$log")"

    # A receive-path input is a stream of frames, each running the whole receive path; 56 frames,
    # with up to five timer ticks after each, reach the latch, the widening, the redraws, the
    # compression of small pictures, the colour level's whole range and the silent link, and
    # keep the executions fast enough to explore.
    max_len=8192
    [ "$name" = receive_path ] && max_len=512
    echo "== $target: ${seconds}s"
    start=$(date +%s)
    # -rss_limit_mb and -malloc_limit_mb turn unbounded memory into a finding; -timeout a hang.
    "$bin" "$work" "$seeds" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -malloc_limit_mb=512 \
        -max_len=$max_len -print_final_stats=1 -artifact_prefix="$findings/" \
        >"$log" 2>&1
    status=$?
    elapsed=$(( $(date +%s) - start ))
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    edges=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    corpus=$(find "$work" -type f | wc -l)
    found=$(find "$findings" -type f | wc -l)
    if [ $status -ne 0 ] || [ "$found" -ne 0 ]; then
        result="FOUND $found (exit $status): see $log"
        failed=1
        grep -m 5 -E 'ERROR|runtime error|==[0-9]+==|Assertion|abort' "$log" | sed 's/^/    /'
    else
        result="nothing found"
    fi
    summary+=("$(printf '%-26s %5ss %12s execs %7s/s %6s edges %6s inputs  %s' "$target" \
        "$elapsed" "${execs:-?}" "${rate:-?}" "${edges:-?}" "$corpus" "$result")")
done

echo
echo "Fuzzing summary"
printf '%s\n' "${summary[@]}"
exit $failed
