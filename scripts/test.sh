#!/usr/bin/env bash
# Sets up (installs what is missing, with what only the tests use), builds and
# runs every test.
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export ARDENTIS_PACKAGES="test ${ARDENTIS_PACKAGES:-}"
unset ARDENTIS_TARGETS # everything: the programs and the tests

if [ "${1:-}" = "--sanitize" ]; then
    CMAKE_BUILD_TYPE=Debug "$ROOT/scripts/setup.sh" "$ROOT/build-asan" -DARDENTIS_SANITIZE=ON
    export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    cd "$ROOT/build-asan"
else
    "$ROOT/scripts/setup.sh" "$ROOT/build"
    cd "$ROOT/build"
fi

# The test tools from npm, as locked in tests/tools/package-lock.json.
TOOLS="$ROOT/tests/tools"
if ! [ "$TOOLS/node_modules/.package-lock.json" -nt "$TOOLS/package-lock.json" ]; then
    npm ci --prefix "$TOOLS" --no-audit --no-fund --loglevel=error
fi

ctest --output-on-failure -j "$(nproc)" --timeout 600
