#!/bin/bash
# Runs a fuzz target until a time budget is spent, restarting it on its grown corpus after
# every finding, and logs when each finding came: the time since the first start and the
# executions counted over all runs. For measuring how long a target takes to find a fault.
# Builds nothing.
#
#   fuzz/run-hunt.sh NAME BINARY SEEDDIR SECONDS [libFuzzer flags...]
#
# Works in ${HUNT_DIR:-/var/tmp/feed-hunt}/NAME: corpus/ (seeded from SEEDDIR), art/ (the
# findings), runN.log (libFuzzer's output) and findings ("SECONDS EXECUTIONS FILE runN" per
# finding, then a line per run).
set -u

if [ $# -lt 4 ]; then
    echo "usage: $0 NAME BINARY SEEDDIR SECONDS [libFuzzer flags...]" >&2
    exit 2
fi
name=$1
binary=$2
seeds=$3
budget=$4
shift 4
dir=${HUNT_DIR:-/var/tmp/feed-hunt}/$name
mkdir -p "$dir/corpus" "$dir/art"
cp -n "$seeds"/* "$dir/corpus/" 2>/dev/null
start=$(date +%s)
total=0
run=0
echo "start $(date -Iseconds) $binary $*" >>"$dir/findings"
while :; do
    left=$((start + budget - $(date +%s)))
    [ "$left" -le 5 ] && break
    run=$((run + 1))
    before=$(ls "$dir/art" | sort)
    "$binary" "$dir/corpus" -max_total_time="$left" -artifact_prefix="$dir/art/" \
        -print_final_stats=1 "$@" >"$dir/run$run.log" 2>&1
    executions=$(grep -a '^stat::number_of_executed_units' "$dir/run$run.log" | awk '{print $2}')
    total=$((total + ${executions:-0}))
    for found in $(comm -13 <(echo "$before") <(ls "$dir/art" | sort)); do
        echo "$(($(stat -c %Y "$dir/art/$found") - start)) $total $found run$run" >>"$dir/findings"
    done
    echo "run$run ended $(($(date +%s) - start)) s, $total executions" >>"$dir/findings"
done
echo "end $(($(date +%s) - start)) s, $total executions" >>"$dir/findings"
