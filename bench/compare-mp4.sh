#!/usr/bin/env bash
# Times reference job R written to an MP4 file by feedcat against ffmpeg writing the same MP4:
# ffmpeg runs the graph of peers.sh ff_R_trim with format=yuv420p at the end of the video chain,
# and encodes as feedcat does by default (libx264 -preset veryfast -crf 23, AAC).
#
#   bench/compare-mp4.sh [RUNS] [FEEDCAT]
#
# RUNS (default 5) timed runs of each, alternating feedcat and ffmpeg, after one warm-up of
# each. FEEDCAT (argument or environment) is the built program; default
# build-bench/tools/feedcat/feedcat under the repository root. Nothing is built here.
# Media come from ../shared/bench/make-media.sh beside the checkout (or in $FEED_SHARED_BENCH,
# for a checkout elsewhere), made into $MEDIA (default /tmp/benchmedia) when missing. Needs GNU time as /usr/bin/time and ffprobe.
#
# Every output is checked with ffprobe: 1000 video frames and a video stream of 40.000 s.
# Prints median wall seconds, CPU seconds (user + sys) and peak RSS (MiB) of each, all taken by
# /usr/bin/time, and the ratios feedcat/ffmpeg. Exits 1 when a program fails or its output is
# wrong, 2 on a usage or set-up problem.
set -euo pipefail

BENCH_NAME=compare-mp4
# shellcheck source=bench/timed-runs.sh
source "$(dirname "$0")/timed-runs.sh"

bench_start "${1:-}"
FEEDCAT=${2:-${FEEDCAT:-$ROOT/build-bench/tools/feedcat/feedcat}}
command -v ffprobe >/dev/null || die 2 "ffprobe not found"
[[ -x $FEEDCAT ]] || die 2 "feedcat not found at $FEEDCAT (build the feedcat target, or pass its path)"
job_r_setup

# The graph is peers.sh's own (read, not copied, so the two cannot drift); its video chain ends
# in the label [v], before which the conversion to 4:2:0 goes.
G_TRIM=$(bash -c 'source "$0" list >/dev/null; printf "%s" "$G_TRIM"' "$SHARED/peers.sh")
[[ $G_TRIM == *"[v];"* ]] || die 2 "cannot read ff_R_trim's graph from $SHARED/peers.sh"
GRAPH=${G_TRIM/\[v\];/,format=yuv420p[v];}

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

for f in feedcat.wall feedcat.cpu feedcat.rss ffmpeg.wall ffmpeg.cpu ffmpeg.rss; do
    : >"$WORK/$f"
done

# check SIDE FILE: 1000 video frames and a video stream of 40.000 s, and an audio stream.
check() {
    local side=$1 file=$2 frames duration audio
    frames=$(ffprobe -v error -select_streams v:0 -count_frames \
        -show_entries stream=nb_read_frames -of csv=p=0 "$file" || true)
    duration=$(ffprobe -v error -select_streams v:0 -show_entries stream=duration -of csv=p=0 \
        "$file" || true)
    audio=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of csv=p=0 \
        "$file" || true)
    if [[ $frames != 1000 || $duration != 40.000000 || $audio != aac ]]; then
        echo "compare-mp4: $side wrote frames=$frames video duration=$duration audio=$audio" \
            "(expected 1000, 40.000000, aac)" >&2
        show_output "$side"
        exit 1
    fi
}

run_cat() {
    local status=0
    rm -f "$WORK/feedcat.mp4"
    timed feedcat "$1" "$FEEDCAT" "${JOB_R_ARGS[@]}" --quiet -o "$WORK/feedcat.mp4" || status=$?
    if ((status != 0)); then
        echo "compare-mp4: feedcat failed (exit $status)" >&2
        show_output feedcat
        exit 1
    fi
    check feedcat "$WORK/feedcat.mp4"
}

run_ff() {
    local status=0
    timed ffmpeg "$1" ffmpeg -hide_banner -nostdin -loglevel error -y -i "$MEDIA/A.mp4" \
        -i "$MEDIA/B.mp4" -i "$MEDIA/C.mp3" -filter_complex "$GRAPH" -map '[v]' -map '[a]' \
        -c:v libx264 -preset veryfast -crf 23 -c:a aac "$WORK/ffmpeg.mp4" || status=$?
    if ((status != 0)); then
        echo "compare-mp4: ffmpeg failed (exit $status)" >&2
        show_output ffmpeg
        exit 1
    fi
    check ffmpeg "$WORK/ffmpeg.mp4"
}

echo "job R to MP4: $FEEDCAT vs ffmpeg (ff_R_trim's graph + format=yuv420p, libx264 veryfast" \
    "crf 23, AAC), media $MEDIA, $(nproc) CPUs"
echo "warm-up"
run_cat 0
run_ff 0
for ((i = 1; i <= RUNS; i++)); do
    echo "run $i/$RUNS"
    run_cat 1
    run_ff 1
done

echo
echo "medians of $RUNS runs (whole process, /usr/bin/time)"
row "" "wall s" "CPU s" "peak RSS MiB"
median_row "feedcat .mp4" feedcat
median_row "ffmpeg .mp4" ffmpeg
ratio_row feedcat/ffmpeg feedcat ffmpeg
