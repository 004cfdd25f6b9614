#!/usr/bin/env bash
# The campaign window under X as a user drives it: started with the batch's
# options and a folder, Ctrl+R runs it while the title counts the pairs, and
# it writes the result.csv and stats.csv of ardentis-batch with the same
# options; a larger run cancelled with Escape keeps its result files
# complete for the pairs done, with no temporary file, and the window open;
# Ctrl+Q closes it with exit status 0; SIGTERM mid-run stops it as Escape
# does and ends it with 143. Keys go through XTEST (xdotool).
#   campaign_x.sh CAMPAIGN BATCH SAMPLES WORK
set -euo pipefail
CAMPAIGN="$1" BATCH="$2" SAMPLES="$3" WORK="$4"
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "no Xvfb or xdotool"; exit 77; }
rm -rf "$WORK" && mkdir -p "$WORK/small" "$WORK/large"

# The sample pairs again under numbers of their own: 18 and 36 pairs.
copies() {
    local dir="$1" count="$2" n=0
    for ((k = 1; k <= count; ++k)); do
        for ir in "$SAMPLES"/FLIR0???.jpg; do
            n=$((n + 1))
            printf -v name 'FLIR%03d' "$n"
            cp "$ir" "$dir/$name.jpg"
            cp "${ir%.jpg}"_RGB*.jpg "$dir/${name}_RGB$n.jpg"
        done
    done
}
copies "$WORK/small" 6
copies "$WORK/large" 12

# Waits up to a minute for a condition, checking it every tenth of a second.
wait_for() {
    for ((i = 0; i < 600; ++i)); do "$@" && return 0; sleep 0.1; done
    echo "timed out: $*" >&2
    return 1
}
# An X server on a display no other uses: it names the display it took.
Xvfb -displayfd 3 -screen 0 1400x900x24 -nolisten tcp 3>"$WORK/display" 2>/dev/null &
XVFB=$!
PID=
trap 'kill $PID $XVFB 2>/dev/null' EXIT
wait_for test -s "$WORK/display"
export DISPLAY=":$(cat "$WORK/display")"
takes_clients() { xdotool getmouselocation >/dev/null 2>&1; }
wait_for takes_clients
window() {
    kill -0 "$PID" || { echo "the window ended" >&2 && exit 1; }
    W="$(xdotool search --onlyvisible --name '^Ardentis Campaign$' 2>/dev/null | head -n 1)" && [ -n "$W" ]
}
title() { xdotool getwindowname "$W"; }
titles_seen=()
# Records the progress titles until the run ends.
run_ends() {
    local t
    t="$(title)"
    [[ "$t" =~ ^[0-9]+/[0-9]+\ –\ Ardentis\ Campaign$ ]] && titles_seen+=("$t")
    [ "$t" = "Ardentis Campaign" ] && [ -s "$1/result.csv" ]
}
lines() { wc -l <"$1"; }
start() {
    "$CAMPAIGN" "$@" &
    PID=$!
    wait_for window
    xdotool windowfocus --sync "$W"
}

OPTIONS=(--field auto --mask exgr --report)
start "${OPTIONS[@]}" -o "$WORK/out" "$WORK/small"
xdotool key ctrl+r
wait_for run_ends "$WORK/out"
distinct="$(printf '%s\n' "${titles_seen[@]}" | sort -u | wc -l)"
[ "$distinct" -ge 2 ] || { echo "the title showed no progress: ${titles_seen[*]}" >&2; exit 1; }
"$BATCH" "${OPTIONS[@]}" -o "$WORK/batch" "$WORK/small" 2>/dev/null
cmp "$WORK/out/result.csv" "$WORK/batch/result.csv"
cmp "$WORK/out/stats.csv" "$WORK/batch/stats.csv"
[ "$(lines "$WORK/out/result.csv")" -eq 19 ]
xdotool key ctrl+q
wait "$PID"

start "${OPTIONS[@]}" -j 1 -o "$WORK/cancelled" "$WORK/large"
xdotool key ctrl+r
progressed() { [[ "$(title)" =~ ^[2-9]/36\  ]]; }
wait_for progressed
xdotool key Escape
titles_seen=()
wait_for run_ends "$WORK/cancelled"
done_pairs=$(($(lines "$WORK/cancelled/result.csv") - 1))
[ "$done_pairs" -ge 2 ] && [ "$done_pairs" -lt 36 ] || { echo "$done_pairs pairs done" >&2; exit 1; }
[ "$(lines "$WORK/cancelled/stats.csv")" -eq $((done_pairs + 1)) ]
[ -z "$(find "$WORK/cancelled" -name '.*' -o -name '*tmp*')" ] || { echo "temporary files left" >&2; exit 1; }
kill -0 "$PID" && window
xdotool key ctrl+q
status=0
wait "$PID" || status=$?
[ "$status" -eq 0 ] || { echo "exit status $status" >&2; exit 1; }

# Ended by the session (SIGTERM) once a pair is done, it stops as Cancel does.
start "${OPTIONS[@]}" -j 1 -o "$WORK/ended" "$WORK/large"
xdotool key ctrl+r
wait_for progressed
kill -TERM "$PID"
status=0
wait "$PID" || status=$?
[ "$status" -eq 143 ] || { echo "exit status $status on SIGTERM" >&2; exit 1; }
ended_pairs=$(($(lines "$WORK/ended/result.csv") - 1))
[ "$ended_pairs" -eq "$(ls "$WORK/ended/1PartRGB" | wc -l)" ] && [ "$ended_pairs" -lt 36 ]
[ -z "$(find "$WORK/ended" -name '.*')" ] || { echo "temporary files left on SIGTERM" >&2; exit 1; }
echo "campaign window under X: $distinct progress titles, cancelled after $done_pairs of 36 pairs, ended by SIGTERM after $ended_pairs"
