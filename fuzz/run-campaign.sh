#!/bin/sh
# One long campaign of a fuzz target in libFuzzer's fork mode, niced, going on past findings.
# Builds nothing.
#
#   fuzz/run-campaign.sh TARGET SECONDS [WORKDIR] [BUILD_DIR]
#
# WORKDIR (default /var/tmp/feed-fuzz) keeps, per target: corpus-TARGET (seeded from
# fuzz/corpus/TARGET and the generated seeds when it is empty; a later run goes on from it),
# findings-TARGET, log-TARGET.txt, and bin/TARGET, a copy of the binary taken at the start so
# that a rebuild does not change a running campaign. FUZZ_JOBS (default 1) jobs run at once.
# The campaign runs in its own process group, whose id (the shell's pid) is printed first:
# `kill -STOP -ID` pauses it, `kill -CONT -ID` resumes it.
set -u

if [ $# -lt 2 ] || [ $# -gt 4 ]; then
    echo "usage: $0 TARGET SECONDS [WORKDIR] [BUILD_DIR]" >&2
    exit 2
fi
target=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
. "$here/targets.sh"
work=${3:-/var/tmp/feed-fuzz}
build=${4:-$root/build-fuzz}
jobs=${FUZZ_JOBS:-1}

if ! fuzz_settings "$target"; then
    echo "$0: unknown target $target" >&2
    exit 2
fi
binary=$(fuzz_binary "$build" "$target")
if [ -z "$binary" ]; then
    echo "$target: not built in $build" >&2
    exit 1
fi

corpus=$work/corpus-$target
mkdir -p "$work/bin" "$corpus" "$work/findings-$target"
cp "$binary" "$work/bin/$target.new" && mv "$work/bin/$target.new" "$work/bin/$target"
if [ -z "$(ls -A "$corpus")" ]; then
    "$root/scripts/make-fuzz-corpora" "$work/seeds" >/dev/null || exit 1
    fuzz_seed_corpus "$corpus" "$work/seeds" "$target"
fi

echo "process group: $$"
log=$work/log-$target.txt
echo "start $(date -Iseconds) $target $seconds s, $jobs job(s)" >>"$log"
nice -n 19 "$work/bin/$target" "$corpus" -fork="$jobs" -ignore_crashes=1 -ignore_timeouts=1 \
    -ignore_ooms=1 -max_total_time="$seconds" -timeout="$timeout" -report_slow_units="$timeout" \
    -rss_limit_mb="$rss" -max_len="$max_len" -print_final_stats=1 \
    -artifact_prefix="$work/findings-$target/" >>"$log" 2>&1
echo "end $(date -Iseconds)" >>"$log"
grep -E '^#[0-9]+: ' "$log" | tail -n 1
ls "$work/findings-$target"
