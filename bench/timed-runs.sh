# shellcheck shell=bash
# Sourced by the comparison scripts in bench/: timing one program under GNU time, keeping its
# figures per side, and the medians and ratios of them. Expects BENCH_NAME (for messages) and,
# before timed() is used, WORK (a scratch folder).

# die STATUS MESSAGE
die() {
    echo "$BENCH_NAME: $2" >&2
    exit "$1"
}

TIME=/usr/bin/time

# bench_start [RUNS]: sets RUNS (default 5; a positive whole number), ROOT (the repository the
# calling script lies in), SHARED (job R's media maker and peer commands: $FEED_SHARED_BENCH, or
# ../shared/bench beside the checkout) and exports MEDIA (the media folder, default
# /tmp/benchmedia).
bench_start() {
    RUNS=${1:-5}
    [[ $RUNS =~ ^[1-9][0-9]*$ ]] || die 2 "RUNS must be a positive whole number, not '$RUNS'"
    ROOT=$(git -C "$(dirname "$0")" rev-parse --show-toplevel) || die 2 "not inside the repository"
    SHARED=${FEED_SHARED_BENCH:-$ROOT/../shared/bench}
    export MEDIA=${MEDIA:-/tmp/benchmedia}
}

# job_r_setup: what a job R comparison needs besides its own programs: GNU time, ffmpeg and the
# peer commands, the media (made when missing), and job R as feedcat's arguments (JOB_R_ARGS).
job_r_setup() {
    require_gnu_time
    require_peers "$SHARED"
    ensure_media "$SHARED"
    job_r_feedcat_args
}

require_gnu_time() {
    [[ -x $TIME ]] || die 2 "$TIME not found (apt-get install time)"
    "$TIME" -f '%e' true >/dev/null 2>&1 || die 2 "$TIME is not GNU time (apt-get install time)"
}

# require_python_peers PACKAGE: the feed package built in PACKAGE, and PyAV, OpenCV and numpy
# for $PYTHON.
require_python_peers() {
    [[ -d $1/feed ]] || die 2 "the feed package is not built in $1 (make bench-python)"
    "$PYTHON" -c 'import av, cv2, numpy' 2>/dev/null ||
        die 2 "$PYTHON lacks PyAV, OpenCV or numpy (apt-get install python3-av python3-opencv)"
}

# require_peers SHARED_BENCH_DIR: ffmpeg, and the peer commands and media maker of job R.
require_peers() {
    command -v ffmpeg >/dev/null || die 2 "ffmpeg not found"
    [[ -f $1/peers.sh && -f $1/make-media.sh ]] || die 2 "no peers.sh / make-media.sh in $1"
}

# job_r_feedcat_args: sets JOB_R_ARGS to job R as feedcat's arguments: its four clips from
# $MEDIA, its output format and its fades (the output option is the caller's).
job_r_feedcat_args() {
    # shellcheck disable=SC2034 # for the calling script
    JOB_R_ARGS=("v:$MEDIA/A.mp4@0-20000" "v:$MEDIA/B.mp4@5000-25000" "a:$MEDIA/A.mp4@0-20000"
        "a:$MEDIA/C.mp3@0-15000" --size 640x360 --fps 25 --sample-rate 44100 --channels 2
        --video-fade-in 1000 --video-fade-out 1000 --audio-fade-in 3000 --audio-fade-out 3000)
}

# ensure_media SHARED_BENCH_DIR: makes job R's media into $MEDIA when they are missing.
ensure_media() {
    if [[ ! -s $MEDIA/A.mp4 || ! -s $MEDIA/B.mp4 || ! -s $MEDIA/C.mp3 ]]; then
        [[ -f $1/make-media.sh ]] || die 2 "no make-media.sh in $1"
        echo "making media in $MEDIA"
        bash "$1/make-media.sh"
    fi
}

# timed SIDE RECORD COMMAND...: runs COMMAND under GNU time, its standard output into
# $WORK/SIDE.out and its standard error into $WORK/SIDE.err; with RECORD=1 appends wall
# seconds, CPU seconds (user + sys) and peak RSS in MiB to $WORK/SIDE.{wall,cpu,rss}. Prints
# the figures; returns the command's status.
timed() {
    local side=$1 record=$2
    shift 2
    local status=0
    "$TIME" -f '%e %U %S %M' -o "$WORK/$side.time" "$@" >"$WORK/$side.out" 2>"$WORK/$side.err" ||
        status=$?
    local wall=0 user=0 sys=0 rss=0
    # GNU time puts "Command exited with non-zero status N" before the figures on a failure.
    read -r wall user sys rss < <(tail -n 1 "$WORK/$side.time") || true
    if [[ $record == 1 ]]; then
        echo "$wall" >>"$WORK/$side.wall"
        awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f\n", u + s }' >>"$WORK/$side.cpu"
        awk -v k="$rss" 'BEGIN { printf "%.1f\n", k / 1024 }' >>"$WORK/$side.rss"
    fi
    printf '  %-7s wall %6s s  user %6s s  sys %5s s  rss %7s KiB\n' "$side" "$wall" "$user" "$sys" "$rss"
    return "$status"
}

# timed_result WHAT SIDE RECORD PATTERN COMMAND...: timed() of a program that prints a result
# line "frames=... wall_s=S ...". Exits 1, showing what the program printed, when it fails or
# prints no such line or one that does not match PATTERN (a glob). Keeps the line in RESULT
# and, with RECORD=1, the program's own clock S in $WORK/SIDE.inner.
timed_result() {
    local what=$1 side=$2 record=$3 pattern=$4
    shift 4
    local status=0
    timed "$side" "$record" "$@" || status=$?
    RESULT=$(grep -m1 '^frames=' "$WORK/$side.out" || true)
    # shellcheck disable=SC2053 # PATTERN is a glob
    if ((status != 0)) || [[ -z $RESULT || $RESULT != $pattern ]]; then
        echo "$BENCH_NAME: $what failed (exit $status): ${RESULT:-no result line}" >&2
        show_output "$side"
        exit 1
    fi
    if [[ $record == 1 ]]; then
        sed -n 's/.* wall_s=\([0-9.]*\).*/\1/p' <<<"$RESULT" >>"$WORK/$side.inner"
    fi
}

# show_output SIDE: what the side's program printed, each line marked with its side.
show_output() {
    sed "s/^/  $1: /" "$WORK/$1.out" "$WORK/$1.err" >&2
}

# median FILE [PRINTF_FORMAT]
median() {
    sort -n "$1" | awk -v f="${2:-%.2f}\n" '{ v[NR] = $1 } END {
        if (NR == 0) { print "n/a"; exit }
        if (NR % 2) printf f, v[(NR + 1) / 2]; else printf f, (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f\n", a / b; else print "n/a" }'
}

# row LABEL WALL CPU RSS: a row of the comparison tables (wall s, CPU s, peak RSS MiB).
row() {
    printf '%-18s %10s %10s %14s\n' "$@"
}

# median_row LABEL SIDE: the side's medians.
median_row() {
    row "$1" "$(median "$WORK/$2.wall")" "$(median "$WORK/$2.cpu")" \
        "$(median "$WORK/$2.rss" %.1f)"
}

# ratio_row LABEL SIDE OTHER: the ratios of the side's medians to the other's.
ratio_row() {
    row "$1" "$(ratio "$(median "$WORK/$2.wall")" "$(median "$WORK/$3.wall")")" \
        "$(ratio "$(median "$WORK/$2.cpu")" "$(median "$WORK/$3.cpu")")" \
        "$(ratio "$(median "$WORK/$2.rss" %.1f)" "$(median "$WORK/$3.rss" %.1f)")"
}
