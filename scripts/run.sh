#!/usr/bin/env bash
# Sets up (installs what is missing), builds, and runs ardentis-batch on the
# sample pairs in samples/: each pair's thermal field found in its photograph,
# plants told from the pale soil by excess green, and the campaign report.
# The results go to samples-results/.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# Only the program it runs: the tests are built by scripts/test.sh.
ARDENTIS_TARGETS="ardentis-batch" "$ROOT/scripts/setup.sh" "$ROOT/build"
OUT="$ROOT/samples-results"
status=0
"$ROOT/build/batch/ardentis-batch" --field auto --mask exgr --report --output "$OUT" \
    "$ROOT/samples" || status=$?
echo "Results of the sample pairs: $OUT (summary: $OUT/result.csv, report: $OUT/report.html)"
exit $status
