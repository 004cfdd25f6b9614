#!/usr/bin/env bash
# Sets up (installs what is missing), builds and opens the Ardentis window.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# Only the program it runs: the tests are built by scripts/test.sh.
ARDENTIS_TARGETS="ardentis" "$ROOT/scripts/setup.sh" "$ROOT/build"
exec "$ROOT/build/app/ardentis" "$@"
