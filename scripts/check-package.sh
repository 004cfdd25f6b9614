#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh wrote: lintian finds no
# error; it holds the three programs, their menu entries and icons, the
# AppStream metadata, the manual pages, the copyright file and the changelog,
# and depends on ExifTool; the menu entries and the AppStream metadata are
# valid; unpacked into a scratch folder, its ardentis-batch prints the version
# and processes the sample pairs with the system's ExifTool, and its windows
# start.
#   scripts/check-package.sh [DEB]     (default: the newest dist/ardentis_*.deb)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ARDENTIS_PACKAGES=check "$ROOT/scripts/setup.sh" --packages-only

DEB="${1:-$(ls -t "$ROOT"/dist/ardentis_*.deb | head -n 1)}"
SCRATCH="$(mktemp -d)"
trap 'rm -rf "$SCRATCH"' EXIT
R="$SCRATCH/root"
VERSION="$(dpkg-deb -f "$DEB" Version)"

depends_on_exiftool() { dpkg-deb -f "$DEB" Depends | grep -qw libimage-exiftool-perl; }
holds() {
    for f in "$@"; do [ -s "$R/$f" ] || { echo "missing: /$f" >&2 && return 1; }; done
}
prints_version() { [ "$("$R/usr/bin/ardentis-batch" --version)" = "ardentis-batch $VERSION" ]; }
processes_samples() {
    "$R/usr/bin/ardentis-batch" --field auto --mask exgr --report -o "$SCRATCH/out" "$ROOT/samples" &&
        local pictures=("$ROOT"/samples/*.jpg) &&
        [ "$(wc -l <"$SCRATCH/out/result.csv")" -eq $((${#pictures[@]} / 2 + 1)) ] &&
        [ -s "$SCRATCH/out/report.html" ]
}
# A window runs until it is closed: still running after a few seconds is a start.
window_starts() {
    local status=0
    QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$SCRATCH/config" timeout 5 "$R/usr/bin/$1" "${@:2}" ||
        status=$?
    [ "$status" -eq 124 ]
}

passed=0
failed=0
check() {
    local what="$1"
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        echo "FAILED: $what" >&2
        failed=$((failed + 1))
    fi
}

echo "== $DEB: $(du -k "$DEB" | cut -f1) KiB"
dpkg-deb -f "$DEB" Version Architecture Installed-Size Depends
check "lintian finds no error" lintian --info --fail-on error "$DEB"
check "depends on ExifTool" depends_on_exiftool
dpkg-deb -x "$DEB" "$R"
check "holds the programs, menu entries, icons, metadata, manual pages, copyright, changelog" holds \
    usr/bin/ardentis usr/bin/ardentis-batch usr/bin/ardentis-campaign \
    usr/share/applications/com.velmora.ardentis.desktop \
    usr/share/applications/com.velmora.ardentis.campaign.desktop \
    usr/share/icons/hicolor/scalable/apps/ardentis.svg \
    usr/share/icons/hicolor/48x48/apps/ardentis.png \
    usr/share/icons/hicolor/scalable/apps/ardentis-campaign.svg \
    usr/share/icons/hicolor/48x48/apps/ardentis-campaign.png \
    usr/share/metainfo/com.velmora.ardentis.metainfo.xml \
    usr/share/metainfo/com.velmora.ardentis.campaign.metainfo.xml \
    usr/share/man/man1/ardentis.1.gz usr/share/man/man1/ardentis-batch.1.gz \
    usr/share/man/man1/ardentis-campaign.1.gz \
    usr/share/doc/ardentis/copyright usr/share/doc/ardentis/changelog.gz
check "the desktop entries are valid" desktop-file-validate "$R"/usr/share/applications/*.desktop
check "the AppStream metadata is valid" appstreamcli validate --no-net "$R"/usr/share/metainfo/*.xml
check "ardentis-batch --version prints $VERSION" prints_version
check "ardentis-batch processes the sample pairs" processes_samples
check "the window starts" window_starts ardentis
check "the campaign window starts with the batch's options" window_starts ardentis-campaign \
    --field auto --mask exgr -o "$SCRATCH/campaign" "$ROOT/samples"

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
