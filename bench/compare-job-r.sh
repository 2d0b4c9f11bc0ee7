#!/usr/bin/env bash
# Times reference job R through libfeed (feed_job_r) against ffmpeg running the same job in one
# filter graph (peers.sh ff_R_trim), on the same machine in the same run, beside the floor of
# both: ffmpeg decoding the same spans and nothing else (peers.sh ff_decode).
#
#   bench/compare-job-r.sh [RUNS] [FEED_JOB_R]
#
# RUNS (default 5) timed runs of each, alternating ours, ffmpeg and the floor, after one warm-up
# of each.
# FEED_JOB_R (argument or environment) is the built program; default
# build-bench/bench/job_r/feed_job_r under the repository root. With FEEDCAT (environment) set
# to a built feedcat, the same job through `feedcat ... -o null` is timed too, as a fourth
# program in each round. Nothing is built here.
# Media come from ../shared/bench/make-media.sh beside the checkout (or in $FEED_SHARED_BENCH,
# for a checkout elsewhere), made into $MEDIA (default /tmp/benchmedia) when missing. Needs GNU time as /usr/bin/time (Debian package "time").
#
# Prints median wall seconds, CPU seconds (user + sys) and peak RSS (MiB) of each, all taken by
# /usr/bin/time, the ratios ours/ffmpeg and ours/floor (the CPU one: what the job costs beyond
# decoding). Exits 1 when feed_job_r fails or its frame and sample counts are wrong, 2 on a
# usage or set-up problem.
set -euo pipefail

BENCH_NAME=compare-job-r
# shellcheck source=bench/timed-runs.sh
source "$(dirname "$0")/timed-runs.sh"

bench_start "${1:-}"
JOB_R=${2:-${FEED_JOB_R:-$ROOT/build-bench/bench/job_r/feed_job_r}}
[[ -z ${FEEDCAT:-} || -x $FEEDCAT ]] || die 2 "FEEDCAT is not a program: $FEEDCAT"
[[ -x $JOB_R ]] || die 2 "feed_job_r not found at $JOB_R (build with -DFEED_BUILD_BENCH=ON, or pass its path)"
job_r_setup

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# Samples per side, one value per line: wall s, CPU s, peak RSS MiB.
for f in ours.wall ours.cpu ours.rss ours.inner ff.wall ff.cpu ff.rss cat.wall cat.cpu cat.rss \
    floor.wall floor.cpu floor.rss; do
    : >"$WORK/$f"
done

run_ours() {
    timed_result feed_job_r ours "$1" "frames=1000 samples=1764000 *" "$JOB_R" "$MEDIA"
}

# Job R through feedcat into its counting null output: the same sources, format and fades.
run_cat() {
    local status=0
    timed cat "$1" "$FEEDCAT" "${JOB_R_ARGS[@]}" --json -o null || status=$?
    if ((status != 0)) || ! grep -q '"frames":1000,"sample_frames":1764000,' "$WORK/cat.out"; then
        echo "compare-job-r: feedcat failed (exit $status) or delivered other counts" >&2
        show_output cat
        exit 1
    fi
}

# run_peer SIDE PEER RECORD: one of peers.sh's ffmpeg commands. ffmpeg's job is ff_R_trim; the
# floor, ff_decode, decodes the same spans (B from its keyframe at 0 s) and throws the pictures
# and samples away, with nothing scaled, converted, resampled or faded.
run_peer() {
    local status=0
    timed "$1" "$3" bash "$SHARED/peers.sh" "$2" || status=$?
    if ((status != 0)); then
        echo "compare-job-r: ffmpeg (peers.sh $2) failed (exit $status)" >&2
        show_output "$1"
        exit 2
    fi
}

echo "job R: $JOB_R vs ffmpeg (peers.sh ff_R_trim) and the decode-only floor (peers.sh ff_decode),"
echo "media $MEDIA, $(nproc) CPUs"
echo "warm-up"
run_ours 0
run_peer ff ff_R_trim 0
run_peer floor ff_decode 0
[[ -n ${FEEDCAT:-} ]] && run_cat 0
for ((i = 1; i <= RUNS; i++)); do
    echo "run $i/$RUNS"
    run_ours 1
    run_peer ff ff_R_trim 1
    run_peer floor ff_decode 1
    [[ -n ${FEEDCAT:-} ]] && run_cat 1
done

echo
echo "medians of $RUNS runs (whole process, /usr/bin/time)"
row "" "wall s" "CPU s" "peak RSS MiB"
median_row feed_job_r ours
median_row "ffmpeg ff_R_trim" ff
ratio_row ours/ffmpeg ours ff
median_row "floor ff_decode" floor
ratio_row ours/floor ours floor
if [[ -n ${FEEDCAT:-} ]]; then
    median_row "feedcat -o null" cat
    ratio_row feedcat/ffmpeg cat ff
    ratio_row feedcat/floor cat floor
fi
echo "feed_job_r start..idle (its own clock), median: $(median "$WORK/ours.inner") s"
