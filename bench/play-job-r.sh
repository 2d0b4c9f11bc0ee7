#!/usr/bin/env bash
# Plays reference job R with `feedcat --play`, in real time as someone watching it would, and
# prints what a player is judged by: frames dropped, the worst A/V offset of a frame shown, the
# worst lateness of the frames around the video join (A.mp4 to B.mp4 at 20 s, B entered at 5 s,
# mid-GOP), and the process's CPU use while playing and while paused.
#
#   bench/play-job-r.sh [FEEDCAT]
#
# FEEDCAT (argument or environment) defaults to build-bench/tools/feedcat/feedcat; nothing is
# built here. The window opens on an Xvfb of the script's own (Debian xvfb; xdotool presses
# the keys), or on $DISPLAY with PLAY_DISPLAY=current. The sound goes through SDL's disk
# driver to /dev/null, which takes it in real time as a sound card would, or to the default
# audio device with PLAY_AUDIO=device. Media as for compare-job-r.sh ($MEDIA, default
# /tmp/benchmedia, made by make-media.sh from $SHARED, default ../shared/bench beside the
# checkout, when missing).
#
# Timeline: CPU is sampled from 5 s to 15 s of playing, then space pauses for 6 s (CPU sampled
# over its last 5 s), then space resumes and the job plays to its end: about 50 s in all.
# Exits 1 when feedcat fails or its counts are wrong, 2 on a usage or set-up problem.
set -euo pipefail

BENCH_NAME=play-job-r
# shellcheck source=bench/timed-runs.sh
source "$(dirname "$0")/timed-runs.sh"

ROOT=$(git -C "$(dirname "$0")" rev-parse --show-toplevel) || die 2 "not inside the repository"
FEEDCAT=${1:-${FEEDCAT:-$ROOT/build-bench/tools/feedcat/feedcat}}
export MEDIA=${MEDIA:-/tmp/benchmedia}
[[ -x $FEEDCAT ]] || die 2 "feedcat not found at $FEEDCAT (make bench-r builds it)"
command -v xdotool >/dev/null || die 2 "xdotool not found (apt-get install xdotool)"
ensure_media "${SHARED:-$ROOT/../shared/bench}"

WORK=$(mktemp -d)
xvfb=""
player=""
cleanup() {
    [[ -n $player ]] && kill "$player" 2>/dev/null
    [[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

if [[ ${PLAY_DISPLAY:-own} != current ]]; then
    command -v Xvfb >/dev/null || die 2 "Xvfb not found (apt-get install xvfb)"
    Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3>"$WORK/display" >/dev/null 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do
        [[ -s $WORK/display ]] && break
        sleep 0.1
    done
    [[ -s $WORK/display ]] || die 2 "Xvfb did not start"
    DISPLAY=":$(head -n 1 "$WORK/display")"
    export DISPLAY
fi
[[ -n ${DISPLAY:-} ]] || die 2 "no DISPLAY"
if [[ ${PLAY_AUDIO:-disk} != device ]]; then
    export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null
fi

TICKS=$(getconf CLK_TCK)
# cpu_ticks: user + system ticks of the player, all its threads.
cpu_ticks() {
    local stat rest fields
    stat=$(cat "/proc/$player/stat")
    rest=${stat##*) }
    read -r -a fields <<<"$rest"
    echo $((fields[11] + fields[12]))
}
now() { date +%s.%N; }
# position_ms: the position the window's title shows.
position_ms() {
    xdotool getwindowname "$window" 2>/dev/null |
        awk '{ split($2, t, /[:.]/); print (t[1] * 60 + t[2]) * 1000 + t[3] * 100 }'
}
wait_for_position() {
    while (($(position_ms || echo 0) < $1)); do
        kill -0 "$player" 2>/dev/null || die 1 "feedcat ended early: $(cat "$WORK/err")"
        sleep 0.1
    done
}
# cpu_over SECONDS: the player's CPU use over the next SECONDS, in ms per second.
cpu_over() {
    local ticks0 ticks1 t0 t1
    ticks0=$(cpu_ticks)
    t0=$(now)
    sleep "$1"
    ticks1=$(cpu_ticks)
    t1=$(now)
    awk -v d="$((ticks1 - ticks0))" -v k="$TICKS" -v a="$t0" -v b="$t1" \
        'BEGIN { printf "%.1f", d * 1000 / k / (b - a) }'
}

job_r_feedcat_args
"$FEEDCAT" --play "${JOB_R_ARGS[@]}" --json >"$WORK/out" 2>"$WORK/err" &
player=$!
window=$(xdotool search --sync --name '^feedcat' | head -n 1)

wait_for_position 5000
playing=$(cpu_over 10)
xdotool key --window "$window" space
sleep 1
paused=$(cpu_over 5)
xdotool key --window "$window" space
status=0
wait "$player" || status=$?
player=""

summary=$(cat "$WORK/out")
value() { sed -n "s/.*\"$1\":\([^,}]*\).*/\1/p" <<<"$summary"; }
if ((status != 0)) || [[ $(value frames_shown) -eq 0 ]] ||
    (($(value frames_shown) + $(value frames_dropped) != 1000)) ||
    [[ $(value sample_frames) != 1764000 ]]; then
    echo "play-job-r: feedcat failed (exit $status) or played other counts:" >&2
    sed 's/^/  /' "$WORK/out" "$WORK/err" >&2
    exit 1
fi
echo "frames shown $(value frames_shown), dropped $(value frames_dropped) (of 1000)"
echo "worst A/V offset of a frame shown: $(value largest_av_offset_ms) ms (frame time minus clock)"
echo "worst lateness of the frames within 1 s of the join: $(value join_lateness_ms) ms" \
    "(clock at delivery minus frame time; negative: ahead of time)"
echo "CPU while playing: $playing ms/s; while paused: $paused ms/s (all threads, per second of wall time)"
