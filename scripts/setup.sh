#!/usr/bin/env bash
# Installs the Debian packages Ardentis needs to build and run, but only those
# that are missing, then configures and builds the given build folder.
#   scripts/setup.sh [BUILD_DIR] [extra cmake arguments...]
#   scripts/setup.sh --packages-only      installs, builds nothing
# ARDENTIS_PACKAGES names further groups to install, separated by spaces:
# test, package, check (below). ARDENTIS_TARGETS, when set, names the only
# targets to build (default: everything, the tests too).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${1:-$ROOT/build}"
shift || true

PACKAGES=(
    cmake g++ make pkg-config
    qtbase5-dev qtbase5-dev-tools libqt5charts5-dev
    libopencv-dev libcharls-dev
    libjpeg-dev libdeflate-dev
    libcsv-dev
    libimage-exiftool-perl
)
# The tests (scripts/test.sh): Chromium, a locale with decimal commas, and
# Node.js with npm for the test tools unless a Node.js with npm is there.
TEST_PACKAGES=(locales chromium xvfb xdotool)
if ! command -v npm >/dev/null; then TEST_PACKAGES+=(nodejs npm); fi
# Building the Debian package (scripts/package.sh).
PACKAGE_PACKAGES=(help2man dpkg-dev file)
# Checking it (scripts/check-package.sh).
CHECK_PACKAGES=(lintian desktop-file-utils appstream)

for group in ${ARDENTIS_PACKAGES:-}; do
    if ! declare -p "${group^^}_PACKAGES" >/dev/null 2>&1; then
        echo "setup.sh: no package group '$group' (ARDENTIS_PACKAGES: test, package, check)" >&2
        exit 2
    fi
    declare -n extra="${group^^}_PACKAGES"
    PACKAGES+=("${extra[@]}")
done

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if ((${#missing[@]})); then
    echo "Installing missing packages: ${missing[*]}"
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The locale tests need a locale that writes decimal commas.
if [[ " ${ARDENTIS_PACKAGES:-} " == *" test "* ]] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf8$'; then
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    if [ -f /etc/locale.gen ]; then
        $SUDO sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
        grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
        $SUDO locale-gen >/dev/null || echo "warning: could not generate the de_DE.UTF-8 locale; its tests will be skipped"
    fi
fi

if [ "$BUILD_DIR" = --packages-only ]; then exit 0; fi
cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
# shellcheck disable=SC2086 # the targets are words
cmake --build "$BUILD_DIR" -j "$(nproc)" ${ARDENTIS_TARGETS:+--target $ARDENTIS_TARGETS}
