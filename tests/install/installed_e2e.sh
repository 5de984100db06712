#!/usr/bin/env bash
# The program as a user gets it, run from its installed files only:
#   installed_e2e.sh install BUILD VERSION   cmake --install into a scratch prefix
#   installed_e2e.sh package BUILD VERSION   the .deb from cpack, unpacked into a scratch root
# Both validate the desktop files, run --version, --help and bad command lines without a
# display, then run sessions on a virtual screen (Xvfb, keys typed by xdotool) against the
# installed probe simulator, ended by SIGTERM and SIGINT.
#   installed_e2e.sh lintian BUILD VERSION   the .deb from cpack checked by lintian, Debian's
#                                            policy checker: any error or warning fails
# Exit 77: skipped.
set -uo pipefail

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
skip() {
    echo "SKIP: $*"
    exit 77
}

# write_ini FILE PORT SENSITIVITY: a settings file as the program writes it (keys are not read).
write_ini() {
    {
        printf '"Port # "\r\n"%s"\r\n"Sensitivty = "\r\n"%s"\r\n' "$2" "$3"
        for panel in Picture Color Bar Internal Comments Time; do printf '"%s"\r\n"True"\r\n' "$panel"; done
        for n in Width 8448 Height 8640 Top 1440 Left 2880; do printf '"%s"\r\n' "$n"; done
    } >"$1"
}

# wait_for SECONDS COMMAND...: polls until the command succeeds.
wait_for() {
    local until=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $until ] || return 1
        sleep 0.2
    done
}

lines_at_least() { [ -f "$1" ] && [ "$(wc -l <"$1")" -ge "$2" ]; }

# menu_item RIGHTS KEYS...: Alt opens the menu bar on File; RIGHTS steps right to the menu.
menu_item() {
    xdotool key alt
    sleep 0.3
    xdotool key --delay 100 $(printf 'Right %.0s' $(seq "$1")) Down "${@:2}"
}

# Runs inside Xvfb as the user under test: PREFIX HOME_FOLDER.
sessions() {
    local bin=$1/bin
    export HOME=$2 XDG_DATA_HOME=$2/data XDG_CONFIG_HOME=$2/config
    local folder="$XDG_DATA_HOME/Sylvane Interface"
    mkdir -p "$folder" || fail "cannot make $folder"
    write_ini "$folder/sylvane.ini" 2 25
    "$bin/sylvane-probe-sim" --folder "$folder" --port 2 --rate 20 >"$HOME/sim.log" 2>&1 &
    sim=$!
    program=
    trap 'kill $sim $program 2>/dev/null' EXIT
    wait_for 15 test -L "$folder/ports/com2" || fail "no ports/com2 link: $(cat "$HOME/sim.log")"

    # An installed copy whose folder it cannot write keeps its files in the per-user folder.
    "$bin/sylvane" &
    program=$!
    local window
    window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Sylvane Interface$' | head -1)
    [ -n "$window" ] || fail "the main window did not show"
    xdotool windowfocus --sync "$window"
    menu_item 1 Return # Session > Start
    wait_for 30 lines_at_least "$folder/tempdata.txt" 10 || fail "no readings recorded"
    menu_item 1 Up Return # Session > Set Sensitivity, the last item
    timeout 10 xdotool search --sync --onlyvisible --name '^Set Sensitivity$' >/dev/null ||
        fail "no sensitivity dialog"
    xdotool key --delay 100 Page_Up Page_Up Return # 25 -> 45, OK
    wait_for 10 bash -c "! xdotool search --onlyvisible --name '^Set Sensitivity\$'" ||
        fail "the sensitivity dialog stayed"
    # A second signal while the first one's close runs must change nothing.
    kill -TERM $program
    kill -TERM $program
    wait $program
    local status=$?
    [ $status -eq 0 ] || fail "SIGTERM: exit status $status"
    [ "$(sed -n 4p "$folder/sylvane.ini")" = $'" 45"\r' ] ||
        fail "SIGTERM: the sensitivity set during the run is not in sylvane.ini: $(head -4 "$folder/sylvane.ini")"
    lines_at_least "$folder/tempdata.txt" 10 || fail "the readings are gone"
    [ "$(ls "$bin")" = $'sylvane\nsylvane-probe-sim' ] || fail "files written beside the program: $(ls "$bin")"

    # --folder: a folder of its own, made at start; SIGINT while the first-run message is up.
    local other=$HOME/other/folder
    "$bin/sylvane" --folder "$other" &
    program=$!
    timeout 30 xdotool search --sync --onlyvisible --name '^No initialzation file found$' >/dev/null ||
        fail "no first-run message in $other"
    kill -INT $program
    wait $program
    status=$?
    [ $status -eq 0 ] || fail "SIGINT: exit status $status"
    [ -f "$other/sylvane.ini" ] || fail "SIGINT: no sylvane.ini in $other"
    echo "sessions: $(wc -l <"$folder/tempdata.txt") readings recorded; SIGTERM and SIGINT exit 0"
}

if [ "${1:-}" = sessions ]; then
    sessions "$2" "$3"
    exit 0
fi

mode=$1 build=$2 version=$3
scratch=$(mktemp -d)
trap 'chmod -R u+w "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT
chmod 755 "$scratch"

# Makes the package as `make package` does, into the scratch folder: $deb.
build_deb() {
    for tool in cpack dpkg-deb dpkg-shlibdeps; do
        command -v $tool >/dev/null || skip "$tool is missing: no .deb can be built here"
    done
    (cd "$build" && umask 022 && cpack -G DEB -B "$scratch/package" >"$scratch/cpack.log" 2>&1) ||
        fail "cpack: $(cat "$scratch/cpack.log")"
    deb=$scratch/package/sylvane_${version}_$(dpkg --print-architecture).deb
    [ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$scratch/package")"
}

if [ "$mode" = lintian ]; then
    # lintian needs dpkg-dev and man-db, which make and read the package.
    command -v lintian >/dev/null || skip "lintian is missing"
    build_deb
    dpkg -x "$deb" "$scratch/root" || fail "dpkg -x"
    # The version is set once, in CMakeLists.txt; the changelog and the metainfo repeat it.
    zcat "$scratch/root/usr/share/doc/sylvane/changelog.gz" >"$scratch/changelog" &&
        changelog=$(dpkg-parsechangelog -l "$scratch/changelog" -S Version) ||
        fail "the changelog cannot be read"
    [ "$changelog" = "$version" ] || fail "the changelog's last entry is $changelog, not $version"
    grep -q "<release version=\"$version\"" \
        "$scratch/root/usr/share/metainfo/org.sylvane.Interface.metainfo.xml" ||
        fail "the metainfo has no release $version"
    for page in sylvane sylvane-probe-sim; do
        sections=$(zgrep -h '^\.SH' "$scratch/root/usr/share/man/man1/$page.1.gz" | tr -d '"' | xargs)
        [[ $sections == ".SH NAME .SH SYNOPSIS .SH DESCRIPTION .SH OPTIONS"* ]] ||
            fail "$page.1: sections $sections"
    done
    # root only when it must: lintian refuses it otherwise.
    args=(--info --fail-on error,warning)
    [ "$(id -u)" -ne 0 ] || args+=(--allow-root)
    lintian "${args[@]}" "$deb" || fail "lintian ${args[*]} $(basename "$deb")"
    echo "installed_e2e lintian: passed"
    exit 0
fi

for tool in desktop-file-validate appstreamcli xvfb-run xdotool; do
    command -v $tool >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done
if [ "$mode" = install ]; then
    prefix=$scratch/usr
    cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install"
else
    build_deb
    dpkg-deb -c "$deb" | awk '{print $6}'
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    for p in libqt6widgets6 libqt6serialport6 qt6-qpa-plugins libc6; do
        grep -Eq "(^|, )$p( |,|\$)" <<<"$depends" || fail "Depends lacks $p"
    done
    dpkg -x "$deb" "$scratch/root" || fail "dpkg -x"
    prefix=$scratch/root/usr
fi

id=org.sylvane.Interface
for f in bin/sylvane bin/sylvane-probe-sim share/applications/$id.desktop \
    share/metainfo/$id.metainfo.xml share/icons/hicolor/scalable/apps/$id.svg \
    share/doc/sylvane/copyright share/doc/sylvane/changelog.gz \
    share/man/man1/sylvane.1.gz share/man/man1/sylvane-probe-sim.1.gz; do
    [ -f "$prefix/$f" ] || fail "$f is not installed"
done
desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"

# Without a display.
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
out=$("${nodisplay[@]}" "$prefix/bin/sylvane" --version) || fail "--version: exit $?"
[ "$out" = "Sylvane Interface $version" ] || fail "--version printed '$out'"
out=$("${nodisplay[@]}" "$prefix/bin/sylvane" --help) || fail "--help: exit $?"
[[ $out == *"--folder <DIR>"* ]] || fail "--help printed '$out'"

# Bad command lines: a clear message, a non-zero exit, nothing written anywhere.
home=$scratch/untouched
mkdir "$home"
touch "$scratch/a-file"
bad() { # bad STATUS MESSAGE ARGS...
    local want=$1 message=$2 err status
    shift 2
    err=$(HOME=$home XDG_DATA_HOME=$home XDG_CONFIG_HOME=$home "${nodisplay[@]}" \
        "$prefix/bin/sylvane" "$@" 2>&1 >/dev/null)
    status=$?
    [ $status -eq "$want" ] || fail "sylvane $*: exit $status, not $want"
    [[ $err == *"$message"* ]] || fail "sylvane $*: said '$err'"
}
bad 2 "Unknown option 'no-such-option'." --no-such-option
bad 2 "unexpected argument 'stray'." stray
bad 1 "cannot use $scratch/a-file/folder as the program folder: it cannot be created." \
    --folder "$scratch/a-file/folder"
[ -z "$(ls -A "$home")" ] || fail "a bad command line wrote $(ls -A "$home")"
[ ! -s "$scratch/a-file" ] || fail "a bad command line wrote into a file"

# Sessions, as a user who cannot write the installed program's folder.
sessionHome=$scratch/home
mkdir -m 777 "$sessionHome"
# The user under test may not reach the source tree: this script and the sanitizer's
# suppressions go into the scratch folder.
cp "$0" "$scratch/installed_e2e.sh"
if [[ ${LSAN_OPTIONS:-} =~ suppressions=([^:]*) ]]; then
    cp "${BASH_REMATCH[1]}" "$scratch/lsan.supp"
    export LSAN_OPTIONS=${LSAN_OPTIONS/${BASH_REMATCH[1]}/$scratch/lsan.supp}
fi
chmod -R a+rX "$scratch"
run=(env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY xvfb-run -a -s "-screen 0 1280x1024x24"
    bash "$scratch/installed_e2e.sh" sessions "$prefix" "$sessionHome")
if [ "$(id -u)" -eq 0 ]; then
    # root writes anywhere; the user nobody is who an installed copy meets.
    setpriv --reuid=nobody --regid=nogroup --clear-groups true 2>/dev/null ||
        skip "cannot run as the user nobody here"
    run=(setpriv --reuid=nobody --regid=nogroup --clear-groups "${run[@]}")
else
    chmod a-w "$prefix/bin"
fi
"${run[@]}" || fail "sessions"
echo "installed_e2e $mode: passed"
