#!/bin/sh
# `pip install .` into a fresh venv that sees the system's site packages (numpy), offline and
# without build isolation, then the package imported and played from the venv, outside the
# source and build trees, with no PYTHONPATH or LD_LIBRARY_PATH.
# Usage: check-pip-install.sh SOURCE_DIR SCRATCH_DIR PYTHON BUILD_TYPE [CMAKE_ARGS]
set -eu
source=$1
scratch=$2
python=$3
build_type=$4
cmake_args=${5:-}

rm -rf "$scratch/venv"
mkdir -p "$scratch"
"$python" -m venv --system-site-packages "$scratch/venv"
# The build folder is kept between runs, so a second install builds only what changed.
"$scratch/venv/bin/python" -m pip install --quiet --no-index --no-build-isolation \
    --config-settings build-dir="$scratch/build" --config-settings build-type="$build_type" \
    --config-settings cmake-args="$cmake_args" "$source"
cd "$scratch"
env -u PYTHONPATH -u LD_LIBRARY_PATH PYTHONDONTWRITEBYTECODE=1 "$scratch/venv/bin/python" - <<'PY'
import os
import feed
assert feed.__file__.startswith(os.path.abspath("venv")), feed.__file__
libraries = sorted(f for f in os.listdir(os.path.dirname(feed.__file__)) if f.startswith("lib"))
assert libraries == ["libfeed.so.1", "libtarn.so.1"], libraries
arrays = list(feed.frames("lavfi:testsrc2=size=64x48:rate=25:duration=1", 0, 0.4))
assert len(arrays) == 10 and arrays[0].shape == (48, 64, 4), [a.shape for a in arrays]
print("pip-installed package plays:", feed.__file__, feed.__version__)
PY
