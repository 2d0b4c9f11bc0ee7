#!/bin/sh
# Installs the built library into a scratch prefix, then builds and runs a small C host
# against it twice: once through find_package(feed), once through pkg-config.
# Usage: check-installed-host.sh BUILD_DIR SOURCE_DIR SCRATCH_DIR
set -eu
build=$1
source=$2
scratch=$3

rm -rf "$scratch"
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
libdir=$(find "$scratch/prefix" -name 'libfeed.so' -printf '%h\n' | head -n 1)

cmake -S "$source" -B "$scratch/cmake-host" -DCMAKE_PREFIX_PATH="$scratch/prefix" >/dev/null
cmake --build "$scratch/cmake-host" >/dev/null
LD_LIBRARY_PATH="$libdir" "$scratch/cmake-host/host"

export PKG_CONFIG_PATH="$libdir/pkgconfig"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror -o "$scratch/pkg-host" "$source/host.c" \
    $(pkg-config --define-prefix --cflags --libs feed) -Wl,-rpath-link,"$libdir"
LD_LIBRARY_PATH="$libdir" "$scratch/pkg-host"
