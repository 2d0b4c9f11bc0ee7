#!/bin/sh
# Installs the build into a scratch prefix, then imports the Python package from there and
# plays a synthetic clip through it: no build tree on the path, no LD_LIBRARY_PATH.
# Usage: check-installed-package.sh BUILD_DIR SCRATCH_DIR PYTHON SITE_DIR_IN_PREFIX
set -eu
build=$1
scratch=$2
python=$3
site=$4

rm -rf "$scratch"
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
cd "$scratch"
env -u LD_LIBRARY_PATH PYTHONPATH="$scratch/prefix/$site" PYTHONDONTWRITEBYTECODE=1 "$python" - <<'PY'
import os, sys
import feed
assert feed.__file__.startswith(os.path.abspath("prefix")), feed.__file__
for name in ("_feed.pyi", "py.typed"):
    assert os.path.exists(os.path.join(os.path.dirname(feed.__file__), name)), name
arrays = list(feed.frames("lavfi:testsrc2=size=64x48:rate=25:duration=1", 0, 0.4))
assert len(arrays) == 10 and arrays[0].shape == (48, 64, 4), [a.shape for a in arrays]
print("installed package plays:", feed.__file__)
PY
