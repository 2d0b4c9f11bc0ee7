# Sourced by the fuzz run scripts (POSIX sh): what each target is run with, and where its
# binary is.

FUZZ_TARGETS="fuzz_media fuzz_session fuzz_session_capped fuzz_feed_api"

# fuzz_settings TARGET: sets seeds (the generated seed folder it starts from), timeout (s per
# input), rss (libFuzzer's RSS limit, MiB) and max_len (bytes); returns 1 for an unknown target.
# Sessions on generated media take up to a few seconds each; the capped target's memory is
# bounded by its own address-space limit (3 GB), not by libFuzzer's RSS limit.
fuzz_settings() {
    seeds=$1
    timeout=10
    rss=2048
    case $1 in
        fuzz_media) max_len=32768 ;;
        fuzz_session) max_len=128 timeout=30 rss=2560 ;;
        fuzz_session_capped) max_len=128 timeout=30 rss=4096 seeds=fuzz_session ;;
        fuzz_feed_api) max_len=1024 ;;
        *) return 1 ;;
    esac
}

# fuzz_binary BUILD_DIR TARGET: prints the path of the built target, or nothing.
fuzz_binary() {
    find "$1" -type f -name "$2" -perm -u+x 2>/dev/null | head -n 1
}

# fuzz_seed_corpus CORPUS SEEDS_DIR TARGET: copies the generated seeds and the kept corpus
# (fuzz/corpus/TARGET) into CORPUS. Expects root (the repository root) and seeds set.
fuzz_seed_corpus() {
    cp "$2/$seeds"/* "$1"/ 2>/dev/null
    cp "$root/fuzz/corpus/$3"/* "$1"/ 2>/dev/null
}
