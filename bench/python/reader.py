#!/usr/bin/env python3
"""One file's frames read three ways, each frame checked for being the one asked for.

    reader.py feed|pyav|opencv random|batch|sequential FILE

FILE is the bench's 1080p H.264 file (compare-reader.sh makes it): 30 fps, a keyframe every
2 s, B-frames, each frame's index drawn as a bar code in a strip along its top (11 blocks of
160x96 pixels, block b white when bit b of the index is set).

random:     32 random frame indices (a fixed seed), one call each, in that random order, at
            the file's own size as RGB.
batch:      64 random frame indices, sorted, as one batch, at the file's own size as RGB, all
            kept until the last is read.
sequential: every frame in order at 640x360 (RGB; OpenCV's own BGR).

feed:   the feed package's VideoReader (reader[i], get_frames_at, iteration).
pyav:   PyAV as a careful user writes it: FFmpeg's frame and slice threads, a seek to the
        keyframe at or before the frame's time (its index over the average rate), decoding
        forward to the frame with that time; for the sorted batch, decoding on without a seek
        while the next frame lies less than a GOP (2 s) ahead; to_ndarray(rgb24), scaled by
        to_ndarray(width, height) for the sequential read.
opencv: OpenCV's VideoCapture: CAP_PROP_POS_FRAMES before each read that is not the next
        frame; cv2.resize (area) for the sequential read.

Prints one line, "frames=N exact=M wall_s=... cpu_s=... maxrss_mib=...", where wall_s runs
from before opening the file to the last frame checked; exits 1 when a count is wrong (an
inexact frame is counted, not an error: OpenCV's seeks are known to miss), without the
interpreter's teardown.
"""

from __future__ import annotations

import os
import random
import resource
import sys
import time

import numpy as np

FRAMES = 1800  # 60 s at 30 fps
GOP_SECONDS = 2
SMALL = (640, 360)
BITS = 11
BLOCK = (160, 96)  # width, height of a bar code block at 1920x1080


def wanted(task: str):
    chooser = random.Random(20)
    if task == "random":
        return chooser.sample(range(FRAMES), 32)
    if task == "batch":
        return sorted(chooser.sample(range(FRAMES), 64))
    return list(range(FRAMES))


def index_of(picture: np.ndarray) -> int:
    """The index a frame's bar code shows; `picture` is (height, width, 3), any channel order."""
    height, width = picture.shape[:2]
    scale_x, scale_y = width / 1920, height / 1080
    index = 0
    for bit in range(BITS):
        x = int((bit * BLOCK[0] + BLOCK[0] / 2) * scale_x)
        y = int(BLOCK[1] / 2 * scale_y)
        if picture[y, x, 1] > 128:  # green: the same in RGB and BGR
            index |= 1 << bit
    return index


# ---- feed ------------------------------------------------------------------------------------


def run_feed(task: str, path: str, indices):
    import feed

    if task == "sequential":
        reader = feed.VideoReader(path, size=SMALL)
        for index, frame in zip(indices, reader):
            yield index, frame
    elif task == "random":
        reader = feed.VideoReader(path)
        for index in indices:
            yield index, reader[index]
    else:
        reader = feed.VideoReader(path)
        yield from zip(indices, reader.get_frames_at(indices))


# ---- PyAV ------------------------------------------------------------------------------------


def run_pyav(task: str, path: str, indices):
    import av

    container = av.open(path)
    stream = container.streams.video[0]
    stream.thread_type = "AUTO"
    step = 1 / (stream.average_rate * stream.time_base)  # ticks per frame
    start = stream.start_time or 0

    def time_of(index):
        return start + round(index * step)

    if task == "sequential":
        for index, frame in zip(indices, container.decode(stream)):
            yield index, frame.to_ndarray(width=SMALL[0], height=SMALL[1], format="rgb24")
        return
    gop = round(GOP_SECONDS / stream.time_base)
    frames = None
    last = None
    for index in indices:
        target = time_of(index)
        if task == "random" or last is None or target < last or target - last >= gop:
            container.seek(target, stream=stream, backward=True)
            frames = container.decode(stream)
        for frame in frames:
            if frame.pts is not None and frame.pts >= target:
                last = frame.pts
                yield index, frame.to_ndarray(format="rgb24")
                break


# ---- OpenCV ----------------------------------------------------------------------------------


def run_opencv(task: str, path: str, indices):
    import cv2

    capture = cv2.VideoCapture(path)
    position = 0
    for index in indices:
        if index != position:
            capture.set(cv2.CAP_PROP_POS_FRAMES, index)
        ok, picture = capture.read()
        position = index + 1
        if not ok:
            return
        if task == "sequential":
            picture = cv2.resize(picture, SMALL, interpolation=cv2.INTER_AREA)
        yield index, picture


def main() -> int:
    if len(sys.argv) != 4 or sys.argv[1] not in ("feed", "pyav", "opencv") or sys.argv[2] not in (
        "random", "batch", "sequential"):
        print(__doc__, file=sys.stderr)
        return 2
    side, task, path = sys.argv[1:]
    indices = wanted(task)
    run = {"feed": run_feed, "pyav": run_pyav, "opencv": run_opencv}[side]
    started = time.perf_counter()
    count = exact = 0
    kept = []  # a batch is wanted whole: its frames are kept, as the feed side's array keeps them
    for index, picture in run(task, path, indices):
        count += 1
        exact += index_of(picture) == index
        if task == "batch":
            kept.append(picture)
    wall = time.perf_counter() - started
    usage = resource.getrusage(resource.RUSAGE_SELF)
    print(f"frames={count} exact={exact} wall_s={wall:.3f} "
          f"cpu_s={usage.ru_utime + usage.ru_stime:.2f} maxrss_mib={usage.ru_maxrss / 1024:.1f}",
          flush=True)
    return 0 if count == len(indices) else 1


if __name__ == "__main__":
    # Out at once, every side alike: PyAV 10 with frame threads can hang for ever in
    # avcodec_close when the interpreter frees a decoder stopped mid-stream (seen after the
    # random and batch reads).
    os._exit(main())
