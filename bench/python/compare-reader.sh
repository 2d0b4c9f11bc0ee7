#!/usr/bin/env bash
# Times one file's frames read through the feed package's VideoReader, through PyAV and through
# OpenCV, alternating, on the same machine in the same run: 32 random frames one call each, 64
# sorted frames as one batch, and every frame in order at 640x360.
#
#   bench/python/compare-reader.sh [RUNS] [BUILD_DIR]
#
# RUNS (default 5) timed rounds after one warm-up round; each round runs, for each task,
# reader.py with feed, pyav and opencv. BUILD_DIR (default build-bench under the repository
# root) holds python/package (the feed package); nothing is built here (make bench-python
# builds it). The file, 60 s of 1080p H.264 at 30 fps with a keyframe every 2 s and B-frames,
# each frame's index drawn as a bar code, is made with ffmpeg into $MEDIA (default
# /tmp/benchmedia) when missing. Needs GNU time, ffmpeg, python3-av and python3-opencv.
#
# Prints, per task, the median wall seconds (whole process, and the program's own clock from
# before opening the file to the last frame checked), CPU seconds and peak RSS of each side,
# how many of its frames were the ones asked for, and the ratios of feed to PyAV and OpenCV.
# Exits 1 when a program fails or miscounts, 2 on a usage or set-up problem.
set -euo pipefail

BENCH_NAME=compare-reader
# shellcheck source=bench/timed-runs.sh
source "$(dirname "$0")/../timed-runs.sh"

bench_start "${1:-}"
BUILD=${2:-$ROOT/build-bench}
PACKAGE=$BUILD/python/package
SCRIPT=$ROOT/bench/python/reader.py
PYTHON=${PYTHON:-/usr/bin/python3}
FILE=$MEDIA/reader-1080p-h264.mp4

require_gnu_time
require_python_peers "$PACKAGE"
command -v ffmpeg >/dev/null || die 2 "ffmpeg not found (apt-get install ffmpeg)"

if [[ ! -s $FILE ]]; then
    echo "making $FILE (60 s of 1080p H.264; a few minutes)"
    mkdir -p "$MEDIA"
    # The bar code: a black strip, and block b white on frames whose index has bit b set.
    code="drawbox=x=0:y=0:w=1760:h=96:color=black:t=fill"
    for ((bit = 0; bit < 11; bit++)); do
        code+=",drawbox=x=$((bit * 160)):y=0:w=160:h=96:color=white:t=fill"
        code+=":enable='bitand(n\\,$((1 << bit)))'"
    done
    ffmpeg -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=30:duration=60 -vf "$code" \
        -c:v libx264 -preset fast -g 60 -keyint_min 60 -sc_threshold 0 -bf 3 \
        -pix_fmt yuv420p -movflags +faststart "$FILE.part.mp4"
    mv "$FILE.part.mp4" "$FILE"
fi

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
TASKS=(random batch sequential)
SIDES=(feed pyav opencv)
for task in "${TASKS[@]}"; do
    for side in "${SIDES[@]}"; do
        for f in wall inner cpu rss exact; do : >"$WORK/$task-$side.$f"; done
    done
done

# run TASK SIDE RECORD: runs one reading under GNU time; with RECORD=1 keeps its figures.
run() {
    local task=$1 side=$2 record=$3
    timed_result "$side $task" "$task-$side" "$record" "*" env PYTHONPATH="$PACKAGE" "$PYTHON" \
        "$SCRIPT" "$side" "$task" "$FILE"
    echo "          $RESULT"
    if [[ $record == 1 ]]; then
        sed -n 's/.* exact=\([0-9]*\).*/\1/p' <<<"$RESULT" >>"$WORK/$task-$side.exact"
    fi
}

echo "one file's frames in Python: feed, PyAV, OpenCV; $FILE, $(nproc) CPUs, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "warm-up"
for task in "${TASKS[@]}"; do
    for side in "${SIDES[@]}"; do run "$task" "$side" 0; done
done
for ((i = 1; i <= RUNS; i++)); do
    echo "round $i/$RUNS"
    for task in "${TASKS[@]}"; do
        for side in "${SIDES[@]}"; do run "$task" "$side" 1; done
    done
done

echo
echo "medians of $RUNS rounds; load at the end $(cut -d' ' -f1-3 /proc/loadavg)"
declare -A name=([feed]="feed VideoReader" [pyav]="PyAV" [opencv]="OpenCV")
declare -A what=([random]="32 random frames, 1920x1080" [batch]="64 sorted frames as one batch, 1920x1080"
    [sequential]="all 1800 frames in order, 640x360")
for task in "${TASKS[@]}"; do
    echo
    echo "${what[$task]}"
    printf '%-18s %9s %9s %9s %9s %7s\n' "" "wall s" "own s" "CPU s" "RSS MiB" "exact"
    for side in "${SIDES[@]}"; do
        printf '%-18s %9s %9s %9s %9s %7s\n' "${name[$side]}" "$(median "$WORK/$task-$side.wall")" \
            "$(median "$WORK/$task-$side.inner")" "$(median "$WORK/$task-$side.cpu")" \
            "$(median "$WORK/$task-$side.rss")" "$(median "$WORK/$task-$side.exact" %d)"
    done
    for other in pyav opencv; do
        printf 'feed / %-10s wall %s, own clock %s, CPU %s\n' "${name[$other]}" \
            "$(ratio "$(median "$WORK/$task-feed.wall")" "$(median "$WORK/$task-$other.wall")")" \
            "$(ratio "$(median "$WORK/$task-feed.inner")" "$(median "$WORK/$task-$other.inner")")" \
            "$(ratio "$(median "$WORK/$task-feed.cpu")" "$(median "$WORK/$task-$other.cpu")")"
    done
done
