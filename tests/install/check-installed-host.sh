#!/bin/sh
# Does what the README tells a user: installs the built tree into a scratch prefix, builds the
# README's C host with pkg-config (PKG_CONFIG_PATH only) and through find_package(feed), and
# runs both and the installed feedcat, with no library path variable set.
# Usage: check-installed-host.sh BUILD_DIR SOURCE_DIR SCRATCH_DIR
set -eu
build=$1
source=$2
scratch=$3
readme=$source/../../README.md
unset LD_LIBRARY_PATH PKG_CONFIG_PATH

rm -rf "$scratch"
mkdir -p "$scratch"
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

# The README's C example, as written.
sed -n '/^## A host in C/,/^## /p' "$readme" | sed -n '/^```c$/,/^```$/p' | sed '1d;$d' \
    >"$scratch/host.c"
grep -q FeedCreate "$scratch/host.c"

video="lavfi:testsrc2=size=320x240:rate=25:duration=5"
audio="lavfi:sine=frequency=440:duration=5"

# pkg-config, as the README says.
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror -o "$scratch/pkg-host" "$scratch/host.c" \
    $(pkg-config --cflags --libs feed)
frames=$("$scratch/pkg-host" "$video" "$audio" | grep -c '^frame at ')
[ "$frames" -eq 125 ] || { echo "pkg-config host: $frames frames, not 125" >&2; exit 1; }
# A file that is not there plays as black; the host prints what the library says of it.
why=$("$scratch/pkg-host" /nonexistent/holiday.mp4 "$audio" 2>&1 >/dev/null)
case "$why" in
    *"source 1 ('/nonexistent/holiday.mp4') could not be opened: no such file"*) ;;
    *) echo "pkg-config host, missing file: said '$why'" >&2; exit 1 ;;
esac
unset PKG_CONFIG_PATH

# find_package(feed).
cp "$source/CMakeLists.txt" "$scratch/"
cmake -S "$scratch" -B "$scratch/cmake-host" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/cmake-host" >/dev/null
frames=$("$scratch/cmake-host/host" "$video" "$audio" | grep -c '^frame at ')
[ "$frames" -eq 125 ] || { echo "CMake host: $frames frames, not 125" >&2; exit 1; }

# feedcat, installed beside the libraries.
"$prefix/bin/feedcat" "v:$video@0-1000" -o "$scratch/out.y4m" --quiet
[ -s "$scratch/out.y4m" ] || { echo "the installed feedcat wrote nothing" >&2; exit 1; }
# Its manual page, where man looks for it under the prefix.
[ -s "$prefix/share/man/man1/feedcat.1" ] || { echo "feedcat.1 is not installed" >&2; exit 1; }
echo "installed host ran"
