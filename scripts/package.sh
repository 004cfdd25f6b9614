#!/usr/bin/env bash
# Builds the Debian package dist/ardentis_<version>_<arch>.deb: installs what
# is missing, builds the two programs with Debian's hardening flags in
# build-package/, and packs them with CPack (stripped, dependencies from the
# binaries plus ExifTool).
#   scripts/package.sh
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build-package"

ARDENTIS_PACKAGES=package "$ROOT/scripts/setup.sh" --packages-only
# The flags dpkg-buildpackage would give: hardening, and file names in the
# debugging data relative to the source folder.
cd "$ROOT"
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
CMAKE_BUILD_TYPE=RelWithDebInfo "$ROOT/scripts/setup.sh" "$BUILD" \
    -DARDENTIS_TESTS=OFF -DARDENTIS_PACKAGE=ON \
    -DCMAKE_CXX_FLAGS="$CXXFLAGS $CPPFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS"

mkdir -p "$ROOT/dist"
(cd "$BUILD" && cpack -G DEB -D CPACK_OUTPUT_FILE_PREFIX="$ROOT/dist" >/dev/null)
ls "$ROOT"/dist/ardentis_*.deb
