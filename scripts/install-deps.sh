#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Packages already present are skipped, so a prepared machine never touches apt.
set -euo pipefail

packages=(
    cmake make g++ pkg-config
    qt6-base-dev qt6-serialport-dev qt6-multimedia-dev libfontconfig-dev
    pulseaudio pulseaudio-utils
    libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libedf-dev
    liblo-dev liblo-tools
    xvfb xauth xdotool
    desktop-file-utils appstream dpkg-dev
    help2man lintian
    clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        SUDO=sudo
    else
        echo "Run as root (or install sudo) to install: ${missing[*]}" >&2
        exit 1
    fi
else
    SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq || true
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
