#!/usr/bin/env bash
# Sets up (installs what is missing), builds, and runs ardentis-batch on the
# sample pairs in samples/, writing the results to samples-results/.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$ROOT/scripts/setup.sh" "$ROOT/build"
OUT="$ROOT/samples-results"
status=0
"$ROOT/build/batch/ardentis-batch" --output "$OUT" "$ROOT/samples" || status=$?
echo "Results of the sample pairs: $OUT (summary: $OUT/result.csv)"
exit $status
