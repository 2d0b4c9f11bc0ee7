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
. "$here/targets.sh"
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
for target in $FUZZ_TARGETS; do
    binary=$(fuzz_binary "$build" "$target")
    if [ -z "$binary" ]; then
        echo "$target: not built in $build" >&2
        status=1
        continue
    fi
    fuzz_settings "$target"
    corpus=$out/corpus-$target
    artifacts=$out/findings-$target
    log=$out/$target.log
    rm -rf "$corpus"
    mkdir -p "$corpus" "$artifacts"
    fuzz_seed_corpus "$corpus" "$out/seeds" "$target"
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
