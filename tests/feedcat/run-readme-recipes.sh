#!/usr/bin/env bash
# Runs the shell blocks of README.md's feedcat section as written, so they cannot drift from
# what feedcat accepts.
#
#   tests/feedcat/run-readme-recipes.sh FEEDCAT README
#
# In a scratch folder, with FEEDCAT first on PATH under the name feedcat, it writes (with
# feedcat, from lavfi graphs) media under the names the README uses: intro.mp4, music.mp3,
# holiday.mov, a.mp4, b.mp4, film.mkv (audio only: the recipe takes its audio) and two files in
# phone/. They are small (320x240) and as long as the recipes need. Then each block runs with
# bash -e (--play ones on SDL's dummy screen, with the sound written to /dev/null); every
# `-o NAME` with a plain name must have been written, and normalised/ must hold as many files
# as phone/.
set -euo pipefail

[[ $# -eq 2 ]] || { echo "usage: run-readme-recipes.sh FEEDCAT README" >&2; exit 2; }
FEEDCAT=$(realpath "$1")
README=$(realpath "$2")

SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT
mkdir "$SCRATCH/bin" "$SCRATCH/work"
ln -s "$FEEDCAT" "$SCRATCH/bin/feedcat"
export PATH="$SCRATCH/bin:$PATH"
cd "$SCRATCH/work"

# --play recipes play in real time, on SDL's stand-ins for a screen and a sound card. A feedcat
# built without SDL2 cannot play: blocks that ask it to are left out, with a note.
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null
can_play=1
probe=$(feedcat --play --quiet v:lavfi:color@0-40 2>&1 || true)
[[ $probe == *"built without playback"* ]] && can_play=0

# media NAME SECONDS [v|a|av] [--format F]: a pattern and a tone of SECONDS, into NAME.
media() {
    local name=$1 seconds=$2 kinds=$3
    shift 3
    local ms=$((seconds * 1000)) args=()
    [[ $kinds == *v* ]] && args+=("v:lavfi:testsrc2=size=320x240:rate=25@0-$ms")
    [[ $kinds == *a* ]] && args+=("a:lavfi:sine=frequency=440:sample_rate=44100@0-$ms")
    feedcat "${args[@]}" --preset ultrafast "$@" --quiet -o "$name" ||
        { echo "cannot make $name" >&2; exit 1; }
}
media intro.mp4 5 v
media music.mp3 6 a --format mp3
media holiday.mov 2 av
media a.mp4 8 av
media b.mp4 10 av
media film.mkv 90 a
mkdir phone
media phone/one.mp4 1 av
media phone/two.mp4 1 av

# The section between the two <!-- feedcat --> marks; in it, each ```sh block.
section=$(awk '/^<!-- feedcat -->$/ { inside = !inside; next } inside' "$README")
[[ -n $section ]] || { echo "no feedcat section in $README" >&2; exit 1; }
blocks=0
failed=0
block=""
in_block=0
while IFS= read -r line; do
    if [[ $in_block == 0 && $line == '```sh' ]]; then
        in_block=1
        block=""
    elif [[ $in_block == 1 && $line == '```' ]]; then
        in_block=0
        blocks=$((blocks + 1))
        echo "--- block $blocks"
        printf '%s\n' "$block"
        if [[ $can_play == 0 && $block == *--play* ]]; then
            echo "(left out: this feedcat was built without playback)"
            continue
        fi
        if ! (bash -e -c "$block") >"$SCRATCH/block.log" 2>&1; then
            echo "block $blocks failed:" >&2
            sed 's/^/  /' "$SCRATCH/block.log" >&2
            failed=1
            continue
        fi
        # Every plain `-o NAME` of the block was written.
        for output in $(grep -oE -- '-o [A-Za-z0-9_./-]+' <<<"$block" | cut -c4-); do
            if [[ $output != null && $output != - && ! -s $output ]]; then
                echo "block $blocks did not write $output" >&2
                failed=1
            fi
        done
    elif [[ $in_block == 1 ]]; then
        block+="$line"$'\n'
    fi
done <<<"$section"

[[ $blocks -ge 2 ]] || { echo "only $blocks shell blocks in the feedcat section" >&2; exit 1; }
if [[ -d normalised ]]; then
    written=$(find normalised -type f -size +0 | wc -l)
    [[ $written -eq 2 ]] || { echo "normalised/ holds $written files, not 2" >&2; failed=1; }
fi
[[ $failed == 0 ]] && echo "all $blocks blocks ran"
exit "$failed"
