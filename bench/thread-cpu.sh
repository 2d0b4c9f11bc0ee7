#!/usr/bin/env bash
# Runs a command and prints the CPU time of its threads, summed by thread name: what each part
# of a multi-threaded program costs (feedcat names its own: fc-encoder, fc-video-codec for the
# video encoder's worker threads, fc-audio-codec; the library's threads carry the program's
# name).
#
#   bench/thread-cpu.sh COMMAND [ARG...]
#
# Samples /proc/PID/task/*/stat every 50 ms and keeps each thread's last figures, so a thread
# that lives less than that may be missed. Exits with the command's status.
set -euo pipefail
[[ $# -ge 1 ]] || { echo "usage: bench/thread-cpu.sh COMMAND [ARG...]" >&2; exit 2; }

SAMPLES=$(mktemp)
trap 'rm -f "$SAMPLES"' EXIT
TICKS=$(getconf CLK_TCK)

"$@" &
pid=$!
while kill -0 "$pid" 2>/dev/null; do
    for task in /proc/"$pid"/task/*; do
        # tid name utime stime (stat fields 14 and 15, after the name in parentheses)
        if stat=$(cat "$task/stat" 2>/dev/null) && name=$(cat "$task/comm" 2>/dev/null); then
            rest=${stat##*) }
            read -r -a fields <<<"$rest"
            echo "${task##*/} $name ${fields[11]} ${fields[12]}" >>"$SAMPLES"
        fi
    done
    sleep 0.05
done
status=0
wait "$pid" || status=$?

printf '%-16s %8s %10s\n' "thread name" "threads" "CPU s"
awk -v ticks="$TICKS" '
    { last[$1] = $3 + $4; name[$1] = $2 }
    END {
        for (t in last) { sum[name[t]] += last[t]; count[name[t]]++ }
        for (n in sum) printf "%-16s %8d %10.2f\n", n, count[n], sum[n] / ticks
    }' "$SAMPLES" | sort -k1,1
awk -v ticks="$TICKS" '{ last[$1] = $3 + $4 } END { for (t in last) total += last[t]
    printf "%-16s %8s %10.2f\n", "all", "", total / ticks }' "$SAMPLES"
exit "$status"
