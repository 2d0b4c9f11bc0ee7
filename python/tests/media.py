"""Media the tests play, written into a scratch folder by the test-media kit's program
(tests/support/media/TestMediaTool.cpp, named by FEED_TEST_MEDIA), so that the C++ tests, the
fuzzers and these tests share one writer and one picture.

index.mkv: 10 s at 25 fps, 160x120, lossless (FFV1). Frame n shows n as the kit's bar code:
eight bars across the top half, bar b (from the left) white when bit 7 - b of n is set, else
black, the bottom half mid-grey, so the index reads back after any scaling. Its audio is stereo
16-bit PCM at 44100 Hz counting sample frames: sample frame s holds s mod RAMP_PERIOD on the
left and its negative on the right.

ramp.wav: the same audio alone. Matroska keeps times in whole milliseconds, so a span of
index.mkv's audio may start a fraction of a millisecond off; a WAV file's samples are timed
exactly, so a span of it starts on its very sample.

CODED (make_coded): the bar-coded pictures in the codecs and containers that make frame
choice hard: open GOPs, B-pyramids, invisible frames, variable rates, clocks far from 0,
packets without presentation times.
"""

from __future__ import annotations

import os
import subprocess

import numpy as np

INDEX_FPS = 25
INDEX_FRAMES = 250
INDEX_SIZE = (160, 120)
BITS = 8
SAMPLE_RATE = 44100
RAMP_PERIOD = 20000


def write(recipe: str, path: str) -> None:
    """Has the kit's program write `recipe` at `path`."""
    program = os.environ.get("FEED_TEST_MEDIA")
    if not program:
        raise RuntimeError("FEED_TEST_MEDIA names no program: run these tests through ctest, "
                           "or set it to the build's tests/support/media/test-media")
    subprocess.run([program, recipe, path], check=True)


def read_index(frame: np.ndarray) -> int:
    """The index a delivered (h, w, 3 or 4) frame shows: the middle of each bar, a quarter
    down."""
    height, width = frame.shape[:2]
    row = frame[height // 4]
    index = 0
    for bar in range(BITS):
        x = bar * width // BITS + width // (2 * BITS)
        # green: the same in white and black bars, any channel order
        index = index * 2 + (1 if row[x, 1] > 128 else 0)
    return index


def ramp(first: int, count: int) -> np.ndarray:
    """Sample frames first..first+count-1 of the audio ramp, (count, 2) int16."""
    values = (np.arange(first, first + count, dtype=np.int64) % RAMP_PERIOD).astype(np.int16)
    return np.stack([values, -values], axis=1)


CODED_FRAMES = 100
# The names of the coded files (each is also its recipe; the program says how it is coded).
CODED = ["h264-open-gop.mp4", "h264-pyramid.mkv", "hevc.mp4", "vfr.mkv", "far-from-zero.mkv",
         "vp9-hidden-frames.webm", "mpeg4.avi"]


def make_coded(path: str, recipe: str | None = None) -> None:
    """Writes the coded file named basename(path) (or `recipe`): CODED_FRAMES bar-coded
    frames, 160x120."""
    write(recipe or os.path.basename(path), path)


def make_all(folder: str) -> dict:
    """Writes every test file into `folder`; returns their paths by name."""
    paths = {
        "index": os.path.join(folder, "index.mkv"),
        "video_only": os.path.join(folder, "video-only.mkv"),
        "audio_only": os.path.join(folder, "audio-only.wav"),
        "ramp": os.path.join(folder, "ramp.wav"),
        "transport_stream": os.path.join(folder, "video.ts"),
        "junk": os.path.join(folder, "junk.mp4"),
        "folder": os.path.join(folder, "a-folder.mp4"),
        "absent": os.path.join(folder, "absent.mp4"),
    }
    for name, recipe in [("index", "index"), ("video_only", "video-only"),
                         ("audio_only", "audio-only"), ("ramp", "ramp"),
                         ("transport_stream", "transport-stream")]:
        write(recipe, paths[name])
    # Bytes no demuxer takes. (Plain text would not do: FFmpeg shows it as ANSI art video.)
    with open(paths["junk"], "wb") as junk:
        junk.write(b"\0\0\0\0garbage" * 10)
    os.mkdir(paths["folder"])
    return paths
