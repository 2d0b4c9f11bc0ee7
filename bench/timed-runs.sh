# Sourced by the comparison scripts in bench/: timing one program under GNU time, keeping its
# figures per side, and the medians and ratios of them. Expects BENCH_NAME (for messages) and,
# before timed() is used, WORK (a scratch folder).

# die STATUS MESSAGE
die() {
    echo "$BENCH_NAME: $2" >&2
    exit "$1"
}

TIME=/usr/bin/time

require_gnu_time() {
    [[ -x $TIME ]] || die 2 "$TIME not found (apt-get install time)"
    "$TIME" -f '%e' true >/dev/null 2>&1 || die 2 "$TIME is not GNU time (apt-get install time)"
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
