#!/usr/bin/env bash
# The campaign report is valid HTML under html-validate's recommended rules,
# written with every option that changes the page: a table, found fields, the
# ExGR mask, the full radiometric model, a palette, a range, a skipped pair and
# a field trial (book, groups, weather log with a pair outside it, CWSI).
# An option that adds to the report belongs in this run too.
#   report_html.sh ARDENTIS_BATCH SAMPLES TOOLS WORK_DIR
# Skipped (77) when scripts/test.sh has not installed html-validate in TOOLS.
set -euo pipefail
batch="$1" samples="$2" tools="$3" work="$4"
validate="$tools/node_modules/.bin/html-validate"
if ! [ -x "$validate" ]; then
    echo "html-validate is not installed in $tools: scripts/test.sh installs it"
    exit 77
fi
rm -rf "$work"
mkdir -p "$work"
printf '999,0.95,18.5\n' >"$work/table.csv"
printf 'image,plot,genotype\n101,"A, north",Kronos\n102,B,Svevo\n' >"$work/book.csv"
printf 'time,air temperature,relative humidity\n2018-07-10 11:00,25,55\n2018-07-10 11:30,27,45\n' \
    >"$work/air.csv"
status=0
"$batch" --output "$work/out" --table "$work/table.csv" --field auto --mask exgr --purity 0.6 \
    --radiometry full --temperatures --report --palette iron --range 15,35 \
    --plots "$work/book.csv" --group genotype --air "$work/air.csv" --cwsi 2.9,-1.9 -- \
    "$samples"/FLIR0101.jpg "$samples"/FLIR0101_RGB0101.jpg \
    "$work/missing.jpg" "$work/missing_RGB.jpg" \
    "$samples"/FLIR0102.jpg "$samples"/FLIR0102_RGB0102.jpg || status=$?
# 1: the missing pair was skipped, as wanted.
[ "$status" -eq 1 ]
"$validate" --config "$tools/htmlvalidate.json" "$work/out/report.html"
