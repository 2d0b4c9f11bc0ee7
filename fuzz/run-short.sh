#!/bin/sh
# Runs each fuzz target for a short while on a fresh copy of the generated seed corpora and
# the kept corpus (fuzz/corpus/TARGET). Builds nothing.
#
#   fuzz/run-short.sh SECONDS [BUILD_DIR]     (BUILD_DIR defaults to build-fuzz)
#
# Prints each target's executions and coverage (libFuzzer's final "DONE cov: ft:" line and its
# final stats) and exits non-zero if any target found something (crash, leak, timeout, model
# mismatch) or could not run. Findings and logs are kept in $FUZZ_OUT (default: a new
# directory under ${TMPDIR:-/tmp}).
set -u

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 SECONDS [BUILD_DIR]" >&2
    exit 2
fi
seconds=$1
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${2:-$root/build-fuzz}
case $build in
    /*) ;;
    *) build=$(pwd)/$build ;;
esac
out=${FUZZ_OUT:-$(mktemp -d "${TMPDIR:-/tmp}/feed-fuzz.XXXXXX")}
mkdir -p "$out"

echo "seeds: $out/seeds"
"$root/scripts/make-fuzz-corpora" "$out/seeds" || exit 1

status=0
for target in fuzz_media fuzz_session fuzz_session_capped fuzz_feed_api; do
    binary=$(find "$build" -type f -name "$target" -perm -u+x 2>/dev/null | head -n 1)
    if [ -z "$binary" ]; then
        echo "$target: not built in $build" >&2
        status=1
        continue
    fi
    # Sessions on generated media take up to a few seconds each; the capped target's memory is
    # bounded by its own address-space limit (3 GB), not by libFuzzer's RSS limit.
    seeds=$target
    timeout=10
    rss=2048
    case $target in
        fuzz_media) max_len=32768 ;;
        fuzz_session) max_len=128 timeout=30 rss=2560 ;;
        fuzz_session_capped) max_len=128 timeout=30 rss=4096 seeds=fuzz_session ;;
        fuzz_feed_api) max_len=1024 ;;
    esac
    corpus=$out/corpus-$target
    artifacts=$out/findings-$target
    log=$out/$target.log
    rm -rf "$corpus"
    mkdir -p "$corpus" "$artifacts"
    cp "$out/seeds/$seeds"/* "$corpus"/ 2>/dev/null
    cp "$root/fuzz/corpus/$target"/* "$corpus"/ 2>/dev/null
    echo "== $target: $seconds s"
    "$binary" "$corpus" -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb="$rss" \
        -report_slow_units="$timeout" -max_len="$max_len" -print_final_stats=1 \
        -artifact_prefix="$artifacts/" \
        >"$log" 2>&1
    rc=$?
    grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1
    grep -E '^stat::' "$log"
    found=$(find "$artifacts" -type f | head -n 1)
    if [ $rc -ne 0 ] || [ -n "$found" ]; then
        echo "$target: FINDING (exit $rc), log $log" >&2
        grep -E 'breaks the rule|ERROR: |SUMMARY: ' "$log" | head -n 5 >&2
        grep -A1 'breaks the rule' "$log" | tail -n 1 >&2
        find "$artifacts" -type f >&2
        status=1
    fi
done
exit $status
