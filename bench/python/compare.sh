#!/usr/bin/env bash
# Times reference job R read in Python through the feed package, through PyAV and through
# OpenCV, and through the C host feed_job_r, alternating, on the same machine in the same run.
#
#   bench/python/compare.sh [RUNS] [BUILD_DIR]
#
# RUNS (default 5) timed rounds after one warm-up round; each round runs feed_job_r, then
# job_r.py with feed, pyav and opencv. BUILD_DIR (default build-bench under the repository
# root) holds bench/job_r/feed_job_r and python/package (the feed package); nothing is built
# here (make bench-python builds both). Media come from ../shared/bench/make-media.sh beside
# the checkout (or in $FEED_SHARED_BENCH), made into $MEDIA (default /tmp/benchmedia) when missing. Needs GNU time as
# /usr/bin/time, and python3-av and python3-opencv for the distribution's python3.
#
# Prints the median wall seconds (whole process, and the program's own clock from the first
# file opened to the last array touched), CPU seconds and peak RSS of each, and the ratios of
# feed (Python) to PyAV and to feed_job_r. Exits 1 when a program fails or miscounts, 2 on a
# usage or set-up problem.
set -euo pipefail

BENCH_NAME=compare
# shellcheck source=bench/timed-runs.sh
source "$(dirname "$0")/../timed-runs.sh"

bench_start "${1:-}"
BUILD=${2:-$ROOT/build-bench}
JOB_R=$BUILD/bench/job_r/feed_job_r
PACKAGE=$BUILD/python/package
SCRIPT=$ROOT/bench/python/job_r.py
PYTHON=${PYTHON:-/usr/bin/python3}

require_gnu_time
[[ -x $JOB_R ]] || die 2 "feed_job_r not found at $JOB_R (make bench-python builds it)"
require_python_peers "$PACKAGE"
ensure_media "$SHARED"

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
SIDES=(c feed pyav opencv)
for side in "${SIDES[@]}"; do
    for f in wall inner cpu rss; do : >"$WORK/$side.$f"; done
done

command_of() {
    case $1 in
        c) echo "$JOB_R $MEDIA" ;;
        *) echo "env PYTHONPATH=$PACKAGE $PYTHON $SCRIPT $1 $MEDIA" ;;
    esac
}

# run SIDE RECORD: runs one program under GNU time; with RECORD=1 keeps its figures and its own
# clock's.
run() {
    local side=$1 record=$2
    # shellcheck disable=SC2046
    timed_result "$side" "$side" "$record" "*" $(command_of "$side")
    echo "          $RESULT"
}

echo "job R in Python: feed, PyAV, OpenCV, and the C host; media $MEDIA, $(nproc) CPUs"
echo "warm-up"
for side in "${SIDES[@]}"; do run "$side" 0; done
for ((i = 1; i <= RUNS; i++)); do
    echo "round $i/$RUNS"
    for side in "${SIDES[@]}"; do run "$side" 1; done
done

echo
echo "medians of $RUNS rounds"
printf '%-26s %9s %9s %9s %9s\n' "" "wall s" "own s" "CPU s" "RSS MiB"
declare -A name=([c]="feed_job_r (C host)" [feed]="feed (Python)" [pyav]="PyAV" [opencv]="OpenCV (video only)")
for side in "${SIDES[@]}"; do
    printf '%-26s %9s %9s %9s %9s\n' "${name[$side]}" "$(median "$WORK/$side.wall")" \
        "$(median "$WORK/$side.inner")" "$(median "$WORK/$side.cpu")" "$(median "$WORK/$side.rss")"
done
echo
for other in pyav c opencv; do
    printf 'feed (Python) / %-20s wall %s, own clock %s\n' "${name[$other]}" \
        "$(ratio "$(median "$WORK/feed.wall")" "$(median "$WORK/$other.wall")")" \
        "$(ratio "$(median "$WORK/feed.inner")" "$(median "$WORK/$other.inner")")"
done
