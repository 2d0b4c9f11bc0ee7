#!/usr/bin/env python3
"""Reference job R read in Python, three ways, each counting and touching every array.

    job_r.py feed|pyav|opencv MEDIA_DIR

Video: A.mp4 [0, 20 s) then B.mp4 [5, 25 s) as 640x360 B G R A/0 frames at 25 fps (1000).
Audio: A.mp4 [0, 20 s) then C.mp3 [0, 15 s) as 16-bit stereo at 44100 Hz, padded with
silence to 40 s (1,764,000 sample frames).

feed:   the feed package (libfeed): the whole job in one session, fades included (video 1 s,
        audio 3 s), as bench/job_r/JobR.cpp runs it in C.
pyav:   PyAV (python3-av): decode with FFmpeg's threads, keep on a 25 fps grid the latest
        frame at or before each output time, frame.reformat() to bgra 640x360 (bilinear)
        and to_ndarray(); audio through av.AudioResampler to s16 stereo 44100, cut to the
        spans by sample count, padded. No fades.
opencv: OpenCV (python3-opencv): VideoCapture, the same 25 fps grid, cv2.resize (bilinear)
        and cv2.cvtColor to BGRA. Video only: VideoCapture reads no audio. No fades.

Prints one line, "frames=1000 samples=1764000 wall_s=... cpu_s=... maxrss_mib=...", where
wall_s runs from before opening the first file to the last array touched, cpu_s and
maxrss_mib are the whole process's; exits 1 when the counts are not the job's.
"""

from __future__ import annotations

import os
import resource
import sys
import time

import numpy as np

WIDTH, HEIGHT, FPS = 640, 360, 25
RATE, CHANNELS = 44100, 2
VIDEO_SPANS = [("A.mp4", 0, 20000), ("B.mp4", 5000, 25000)]
AUDIO_SPANS = [("A.mp4", 0, 20000), ("C.mp3", 0, 15000)]
TOTAL_MS = 40000
EXPECTED_FRAMES = TOTAL_MS * FPS // 1000
EXPECTED_SAMPLES = TOTAL_MS * RATE // 1000


class Tally:
    """Counts frames and sample frames and reads a little of each array, as the C host does."""

    def __init__(self) -> None:
        self.frames = 0
        self.samples = 0
        self.bad = 0
        self.sink = 0

    def frame(self, array: np.ndarray) -> None:
        if array.shape != (HEIGHT, WIDTH, 4) or array.dtype != np.uint8:
            self.bad += 1
        self.sink += int(array.reshape(-1)[::4096].sum())
        self.frames += 1

    def buffer(self, array: np.ndarray) -> None:
        if array.ndim != 2 or array.shape[1] != CHANNELS or array.dtype.itemsize != 2:
            self.bad += 1
        if len(array):
            self.sink += int(array[0, 0]) + int(array[len(array) // 2, 0]) + int(array[-1, -1])
        self.samples += len(array)


# ---- feed ------------------------------------------------------------------------------------


def run_feed(media: str, tally: Tally) -> None:
    import feed

    with feed.Feed(size=(WIDTH, HEIGHT), fps=FPS, sample_rate=RATE, channels=CHANNELS) as f:
        for name, start, stop in VIDEO_SPANS:
            f.add_video(os.path.join(media, name), start_ms=start, stop_ms=stop)
        for name, start, stop in AUDIO_SPANS:
            f.add_audio(os.path.join(media, name), start_ms=start, stop_ms=stop)
        f.video_fade(fade_in_ms=1000, fade_out_ms=1000, colour=0x000000)
        f.audio_fade(fade_in_ms=3000, fade_out_ms=3000)
        VideoFrame = feed.VideoFrame
        for item in f.play():
            if type(item) is VideoFrame:
                tally.frame(item.array)
            else:
                tally.buffer(item.array)


# ---- the 25 fps grid shared by the PyAV and OpenCV readers -------------------------------------


def on_grid(timed_pictures, start_ms: int, stop_ms: int, convert, emit) -> None:
    """Emits convert(picture) for each output frame k of the span: the latest picture whose
    time (ms in the file) is at or before start_ms + k * 1000 / FPS; black before the first
    and the latest one past the end. Each picture is converted at most once."""
    count = (stop_ms - start_ms) * FPS // 1000
    black = np.zeros((HEIGHT, WIDTH, 4), np.uint8)
    k = 0
    latest = None  # (picture, converted array or None)

    def emit_latest() -> None:
        nonlocal latest
        if latest is None:
            emit(black)
            return
        if latest[1] is None:
            latest = (latest[0], convert(latest[0]))
        emit(latest[1])

    for time_ms, picture in timed_pictures:
        while k < count and time_ms > start_ms + k * 1000 / FPS:
            emit_latest()
            k += 1
        if k >= count:
            return
        latest = (picture, None)
    while k < count:
        emit_latest()
        k += 1


# ---- PyAV ------------------------------------------------------------------------------------


def run_pyav(media: str, tally: Tally) -> None:
    import av

    for name, start, stop in VIDEO_SPANS:
        with av.open(os.path.join(media, name)) as container:
            stream = container.streams.video[0]
            stream.thread_type = "AUTO"  # frame and slice threads, as many as the machine has
            if start > 0:
                container.seek(start * 1000, stream=None, backward=True)  # keyframe before

            def pictures():
                for frame in container.decode(stream):
                    yield frame.time * 1000.0, frame

            def convert(frame):
                return frame.reformat(
                    width=WIDTH, height=HEIGHT, format="bgra", interpolation="BILINEAR"
                ).to_ndarray()

            on_grid(pictures(), start, stop, convert, tally.frame)

    for name, start, stop in AUDIO_SPANS:
        wanted = (stop - start) * RATE // 1000
        skip = start * RATE // 1000
        taken = 0
        with av.open(os.path.join(media, name)) as container:
            stream = container.streams.audio[0]
            resampler = av.AudioResampler(format="s16", layout="stereo", rate=RATE)
            if start > 0:
                container.seek(start * 1000, stream=None, backward=True)

            def resampled():
                for frame in container.decode(stream):
                    yield from resampler.resample(frame)
                yield from resampler.resample(None)

            position = None
            for frame in resampled():
                if position is None:
                    position = round((frame.time or 0.0) * RATE)
                samples = frame.to_ndarray().reshape(-1, CHANNELS)
                first = max(skip - position, 0)
                position += len(samples)
                samples = samples[first : first + wanted - taken]
                if len(samples):
                    tally.buffer(samples)
                    taken += len(samples)
                if taken >= wanted:
                    break
        if taken < wanted:
            tally.buffer(np.zeros((wanted - taken, CHANNELS), np.int16))
    padding = EXPECTED_SAMPLES - tally.samples
    if padding > 0:
        tally.buffer(np.zeros((padding, CHANNELS), np.int16))


# ---- OpenCV ----------------------------------------------------------------------------------


def run_opencv(media: str, tally: Tally) -> None:
    import cv2

    for name, start, stop in VIDEO_SPANS:
        capture = cv2.VideoCapture(os.path.join(media, name), cv2.CAP_FFMPEG)
        if not capture.isOpened():
            raise SystemExit(f"opencv: cannot open {name}")
        if start > 0:
            capture.set(cv2.CAP_PROP_POS_MSEC, float(start))

        def pictures():
            while True:
                ok, picture = capture.read()
                if not ok:
                    return
                # After a read, the position is the time of the frame just read.
                yield capture.get(cv2.CAP_PROP_POS_MSEC), picture

        def convert(picture):
            small = cv2.resize(picture, (WIDTH, HEIGHT), interpolation=cv2.INTER_LINEAR)
            return cv2.cvtColor(small, cv2.COLOR_BGR2BGRA)

        on_grid(pictures(), start, stop, convert, tally.frame)
        capture.release()


def main() -> int:
    if len(sys.argv) != 3 or sys.argv[1] not in ("feed", "pyav", "opencv"):
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    way, media = sys.argv[1], sys.argv[2]
    runner = {"feed": run_feed, "pyav": run_pyav, "opencv": run_opencv}[way]
    tally = Tally()
    started = time.monotonic()
    runner(media, tally)
    wall = time.monotonic() - started
    usage = resource.getrusage(resource.RUSAGE_SELF)
    print(
        f"frames={tally.frames} samples={tally.samples} wall_s={wall:.2f} "
        f"cpu_s={usage.ru_utime + usage.ru_stime:.2f} maxrss_mib={usage.ru_maxrss / 1024:.0f}",
        flush=True,
    )
    expected_samples = 0 if way == "opencv" else EXPECTED_SAMPLES
    if tally.frames != EXPECTED_FRAMES or tally.samples != expected_samples or tally.bad:
        print(
            f"job_r.py {way}: got {tally.frames} frames and {tally.samples} sample frames "
            f"({tally.bad} malformed), expected {EXPECTED_FRAMES} and {expected_samples}",
            file=sys.stderr,
        )
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
