"""Media the tests play, written with PyAV (FFmpeg's libraries) into a scratch folder.

index.mkv: 10 s at 25 fps, 160x120, lossless (FFV1). Frame n shows n as a bar code: ten
vertical bars, bar b white when bit b of n is set, else black, so the index reads back after
any scaling. Its audio is stereo 16-bit PCM at 44100 Hz counting sample frames: sample frame s
holds s mod RAMP_PERIOD on the left and its negative on the right.

ramp.wav: the same audio alone. Matroska keeps times in whole milliseconds, so a span of
index.mkv's audio may start a fraction of a millisecond off; a WAV file's samples are timed
exactly, so a span of it starts on its very sample.

CODED (make_coded): the bar-coded pictures in the codecs and containers that make frame
choice hard: open GOPs, B-pyramids, invisible frames, variable rates, clocks far from 0,
packets without presentation times.
"""

from __future__ import annotations

import fractions
import os

import av
import numpy as np

INDEX_FPS = 25
INDEX_FRAMES = 250
INDEX_SIZE = (160, 120)
BITS = 10
SAMPLE_RATE = 44100
RAMP_PERIOD = 20000


def bar_code(index: int, size=INDEX_SIZE) -> np.ndarray:
    """The RGB picture of frame `index`."""
    width, height = size
    picture = np.zeros((height, width, 3), np.uint8)
    bar = width // BITS
    for bit in range(BITS):
        if index >> bit & 1:
            picture[:, bit * bar : (bit + 1) * bar] = 255
    return picture


def read_index(frame: np.ndarray) -> int:
    """The index a delivered (h, w, 4) B G R 0 frame shows: the middle of each bar."""
    height, width = frame.shape[:2]
    row = frame[height // 2]
    index = 0
    for bit in range(BITS):
        x = int((bit + 0.5) * width / BITS)
        if row[x, 1] > 128:  # green: the same in white and black bars, any channel order
            index |= 1 << bit
    return index


def ramp(first: int, count: int) -> np.ndarray:
    """Sample frames first..first+count-1 of the audio ramp, (count, 2) int16."""
    values = (np.arange(first, first + count, dtype=np.int64) % RAMP_PERIOD).astype(np.int16)
    return np.stack([values, -values], axis=1)


def _write_audio(container, stream, samples: np.ndarray) -> None:
    """Writes (n, channels) int16 samples in 1024-frame chunks."""
    channels = samples.shape[1]
    layout = "stereo" if channels == 2 else "mono"
    for start in range(0, len(samples), 1024):
        chunk = np.ascontiguousarray(samples[start : start + 1024])
        frame = av.AudioFrame.from_ndarray(chunk.reshape(1, -1), format="s16", layout=layout)
        frame.sample_rate = stream.rate
        frame.pts = start
        for packet in stream.encode(frame):
            container.mux(packet)
    for packet in stream.encode():
        container.mux(packet)


def _video_stream(container, fps: int, size):
    stream = container.add_stream("ffv1", rate=fps)
    stream.width, stream.height = size
    stream.pix_fmt = "yuv444p"
    return stream


def _write_video(container, stream, pictures) -> None:
    for pts, picture in enumerate(pictures):
        frame = av.VideoFrame.from_ndarray(picture, format="rgb24")
        frame.pts = pts
        for packet in stream.encode(frame):
            container.mux(packet)
    for packet in stream.encode():
        container.mux(packet)


def make_index_clip(path: str) -> None:
    with av.open(path, "w") as container:
        video = _video_stream(container, INDEX_FPS, INDEX_SIZE)
        audio = container.add_stream("pcm_s16le", rate=SAMPLE_RATE)
        audio.layout = "stereo"
        _write_video(container, video, (bar_code(n) for n in range(INDEX_FRAMES)))
        _write_audio(container, audio, ramp(0, SAMPLE_RATE * INDEX_FRAMES // INDEX_FPS))


def make_ramp(path: str) -> None:
    with av.open(path, "w") as container:
        audio = container.add_stream("pcm_s16le", rate=SAMPLE_RATE)
        audio.layout = "stereo"
        _write_audio(container, audio, ramp(0, SAMPLE_RATE * INDEX_FRAMES // INDEX_FPS))


def make_video_only(path: str, seconds: int = 2) -> None:
    with av.open(path, "w") as container:
        video = _video_stream(container, INDEX_FPS, INDEX_SIZE)
        _write_video(container, video, (bar_code(n) for n in range(seconds * INDEX_FPS)))


def make_transport_stream(path: str, seconds: int = 2) -> None:
    """Video only, in MPEG-TS: a format whose header names no streams, so that finding them
    takes reading packets."""
    with av.open(path, "w", format="mpegts") as container:
        video = container.add_stream("mpeg2video", rate=INDEX_FPS)
        video.width, video.height = INDEX_SIZE
        video.pix_fmt = "yuv420p"
        _write_video(container, video, (bar_code(n) for n in range(seconds * INDEX_FPS)))


def make_audio_only(path: str, seconds: int = 2) -> None:
    """A 440 Hz tone at half scale, stereo."""
    with av.open(path, "w") as container:
        audio = container.add_stream("pcm_s16le", rate=SAMPLE_RATE)
        audio.layout = "stereo"
        t = np.arange(seconds * SAMPLE_RATE) / SAMPLE_RATE
        tone = (16000 * np.sin(2 * np.pi * 440 * t)).astype(np.int16)
        _write_audio(container, audio, np.stack([tone, tone], axis=1))


CODED_FRAMES = 100
# name: (container format or None, codec, codec options, frame times in 1/1000 s or None for
# 1/25 s apart, first frame's pts)
CODED = {
    "h264-open-gop.mp4": (
        None, "libx264",
        {"x264-params": "keyint=30:min-keyint=30:open-gop=1:bframes=3:b-pyramid=normal",
         "preset": "veryfast"}, None, 0),
    "h264-pyramid.mkv": (
        None, "libx264", {"x264-params": "keyint=25:bframes=3:b-pyramid=strict", "preset": "fast"},
        None, 0),
    "hevc.mp4": (None, "libx265", {"x265-params": "keyint=30:bframes=4:log-level=error"}, None, 0),
    "vfr.mkv": (None, "libx264", {"x264-params": "keyint=20:bframes=2"},
                [40 * n + (17 if n % 7 == 3 else 0) + (n // 10) * 3 for n in range(CODED_FRAMES)], 0),
    "far-from-zero.mkv": (None, "libx264", {"x264-params": "keyint=25:bframes=2"}, None, 25000),
    "vp9-hidden-frames.webm": (None, "libvpx-vp9", {"auto-alt-ref": "1", "lag-in-frames": "16",
                                                    "b": "400k"}, None, 0),
    "mpeg4.avi": ("avi", "mpeg4", {"g": "20"}, None, 0),
}


def make_coded(path: str, recipe=None) -> None:
    """Writes CODED[basename(path)] (or `recipe`, laid out as CODED's entries): CODED_FRAMES
    bar-coded frames, 160x120."""
    container_format, codec, options, times, first = recipe or CODED[os.path.basename(path)]
    with av.open(path, "w", format=container_format) as container:
        stream = container.add_stream(codec, rate=INDEX_FPS, options=dict(options))
        stream.width, stream.height = INDEX_SIZE
        stream.pix_fmt = "yuv420p"
        if times is not None:
            stream.codec_context.time_base = fractions.Fraction(1, 1000)
        for n in range(CODED_FRAMES):
            frame = av.VideoFrame.from_ndarray(bar_code(n), format="rgb24")
            frame.pts = first + (n if times is None else times[n])
            if times is not None:
                frame.time_base = fractions.Fraction(1, 1000)
            for packet in stream.encode(frame):
                container.mux(packet)
        for packet in stream.encode():
            container.mux(packet)


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
    make_index_clip(paths["index"])
    make_video_only(paths["video_only"])
    make_audio_only(paths["audio_only"])
    make_ramp(paths["ramp"])
    make_transport_stream(paths["transport_stream"])
    # Bytes no demuxer takes. (Plain text would not do: FFmpeg shows it as ANSI art video.)
    with open(paths["junk"], "wb") as junk:
        junk.write(b"\0\0\0\0garbage" * 10)
    os.mkdir(paths["folder"])
    return paths
