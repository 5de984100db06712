#!/usr/bin/env bash
# Plants one fault at a time in the program, rebuilds and runs the tests that should catch it:
# the unit tests, then the end-to-end tests named for that fault. A fault that no test catches
# is a hole in the tests. The source is put back after each fault, whatever happens.
#
#   scripts/planted-faults.sh [BUILD_DIR] [NAME...]    (default build dir: build; default: all)
#   scripts/planted-faults.sh --list
#   scripts/planted-faults.sh --check [BUILD_DIR]       (plants and takes back each one, showing it)
#
# Run it from a clean checkout of the files it plants in, with BUILD_DIR configured already.
set -uo pipefail
cd "$(dirname "$0")/.."

# name | file | perl substitution (applied once, must change the file) | end-to-end tests (ctest -R)
faults=(
    "frame-byte-order|acquisition/frame_decoder.cpp|s/at\(i \+ 5\) \* 256 \+ at\(i \+ 4\)/at(i + 4) * 256 + at(i + 5)/|"
    "reference-latched-early|acquisition/frame_decoder.cpp|s/stableCount <= 10/stableCount <= 9/|"
    "step-not-limited|acquisition/reading_filter.cpp|s/if \(d > kLargestStep\)/if (false \&\& d > kLargestStep)/|"
    "halves-rounded-up|platform/number_rules.h|s/std::nearbyint\(x\)/std::round(x)/|"
    "bar-cells-of-nine|display/color_levels.cpp|s/std::floor\(255 - x\) \/ 8/std::floor(255 - x) \/ 9/|"
    "lamp-colour-of-band|display/color_levels.cpp|s/kLampColors\[band \+ 1\]/kLampColors[band]/|"
    "time-left-after-refused-line|storage/working_files.cpp|s/(truncate\(WorkingFile::Tst, offset\);\n\s*)m_store->truncate\(WorkingFile::Tms, offset\);(\n\s*return false;\n\s*\}\n\s*m_txtSize)/\$1\$2/|"
    "torn-header-trusted|storage/session_recovery.cpp|s/header.complete\(\) \&\& !header.torn/header.complete()/|storage_faults_e2e"
    "stray-time-kept|storage/session_recovery.cpp|s/timesFile.st_size > static_cast<off_t>\(tst.size\(\)\)/false/|storage_faults_e2e"
    "save-not-marked|storage/saved_set_writer.cpp|s/markWorkingSessionSaved\(workingFolder\);/(void)workingFolder;/|dialogs_e2e|storage_faults_e2e"
    "one-kept-too-many|storage/unsaved_sessions.cpp|s/std::max\(kept, 1\)\)/std::max(kept, 1) + 1)/|storage_faults_e2e"
    "start-keeps-no-copy|app/window_acquisition.cpp|s/openPortForStart\(\) \&\& keepUnsavedSession\(\&notKept\)/openPortForStart()/|storage_faults_e2e"
    "second-copy-runs|app/program_lock.cpp|s/if \(m_lock.tryLock\(0\)\) return true;/m_lock.tryLock(0);\n    return true;/|storage_faults_e2e"
    "mark-box-lost-at-close|app/startup_shutdown.cpp|s/closeMarkerBox\(\);\n(\s*QString comments)/\$1/|storage_faults_e2e"
    "gap-of-three-periods|storage/reading_times.h|s/interval > 1.5 \* period/interval > 3.5 * period/|export_e2e"
    "times-derived|storage/session_export.h|s/if \(times.empty\(\)\) return clock.at\(record\);/return clock.at(record);/|export_e2e"
    "gap-unannotated|storage/edf_export.cpp|s/\"no reading\"/\"\"/|export_e2e"
    "bundle-in-part|acquisition/osc_packets.cpp|s/if \(!readElement\(bytes.subspan\(at, size\), depth \+ 1, into\)\) return false;/readElement(bytes.subspan(at, size), depth + 1, into);/|osc_e2e"
    "response-threshold-doubled|analysis/response_detector.cpp|s/if \(g - m_lows.front\(\).g >= m_threshold\)/if (g - m_lows.front().g >= 2 * m_threshold)/|export_e2e"
    "marker-window-shut|analysis/marker_responses.cpp|s/marker \+ window.toSeconds \+ kSlack/marker + window.fromSeconds + kSlack/|export_e2e"
    "pitch-inverted|display/tone_generator.cpp|s/std::log2\(conductance \/ referenceConductance\)/std::log2(referenceConductance \/ conductance)/|tone_e2e"
)

if [[ "${1:-}" == --list ]]; then
    for f in "${faults[@]}"; do echo "${f%%|*}"; done
    exit 0
fi
check=false
if [[ "${1:-}" == --check ]]; then check=true; shift; fi
build=${1:-build}
shift || true
[[ -d "$build" ]] || { echo "No build folder $build: configure it first." >&2; exit 2; }
export QT_QPA_PLATFORM=offscreen

caught=0 missed=()
for f in "${faults[@]}"; do
    IFS='|' read -r name file subst e2e <<<"$f"
    if (($# > 0)) && ! printf '%s\n' "$@" | grep -qx "$name"; then continue; fi
    if ! git diff --quiet -- "$file"; then
        echo "$name: $file has changes of its own; not planting there." >&2
        missed+=("$name (not planted)")
        continue
    fi
    perl -0pi -e "$subst" "$file"
    if git diff --quiet -- "$file"; then
        echo "$name: the fault no longer fits $file; update this list." >&2
        missed+=("$name (not planted)")
        continue
    fi
    if $check; then
        git diff -U0 -- "$file" | grep '^[-+] '
        git checkout -q -- "$file"
        continue
    fi
    result=missed
    if ! cmake --build "$build" -j2 >"$build/planted-fault.log" 2>&1; then
        echo "$name: does not build; see $build/planted-fault.log" >&2
        result="not built"
    elif ! (cd "$build" && ctest -L unit -j2 >>planted-fault.log 2>&1); then
        result="caught by the unit tests"
    elif [[ -n "$e2e" ]] && ! (cd "$build" && ctest -R "$e2e" -j2 >>planted-fault.log 2>&1); then
        result="caught by $e2e"
    fi
    git checkout -q -- "$file"
    echo "$name: $result"
    case $result in
    missed) missed+=("$name") ;;
    "not built") missed+=("$name (not built)") ;;
    *) caught=$((caught + 1)) ;;
    esac
done
cmake --build "$build" -j2 >/dev/null 2>&1
echo "caught $caught, missed ${#missed[@]}${missed:+: ${missed[*]}}"
((${#missed[@]} == 0))
