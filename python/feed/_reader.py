"""What a file holds (probe), and any of its frames (VideoReader) or samples (AudioReader).

The library's reader does the work: the same opening rules, decoding, frame choice and picture
fitting as the feed's sources. Times are seconds of source time (0 is the file's start) as
floats; a time shows the latest frame at or before it.
"""

from __future__ import annotations

import dataclasses
import errno
import fractions
import math
import operator
import os
import warnings
import weakref
from typing import Any, Dict, Iterator, Optional, Sequence, Tuple, TypeVar, Union

import numpy as np
import numpy.typing as npt

from . import _feed
from ._feed import FeedError

PathName = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

# FEED_READER_E_ codes of the library.
_NOT_FOUND = -1
_CANNOT_OPEN = -2
_NO_STREAM = -3
_OUT_OF_RANGE = -4
_BAD_ARGUMENT = -5
_NO_READER = -6
_OUT_OF_MEMORY = -8

# FeedPixelFormat values by the names Python takes, and the channels each has.
_PIXEL_FORMATS = {"rgb24": (3, 3), "bgr24": (4, 3), "rgba": (2, 4), "bgra": (1, 4), "gray": (5, 1)}
_LAYOUTS = ("hwc", "chw")
_FITS = {"stretch": 0, "fit": 1, "fill": 2}
_SAMPLE_TYPES = ("int16", "float32")


class MediaError(FeedError):
    """A file the reader cannot read (not a media file, no such stream), with the library's
    own words for why."""


class FeedWarning(UserWarning):
    """Something the library does as asked, but that is likely not what was meant: a span that
    reaches past the end of its file plays black or silent there."""


def name_bytes(name: PathName) -> bytes:
    """The name as the library takes it: the file system's bytes, zero-free."""
    data = os.fsencode(name)
    if b"\0" in data:
        raise ValueError("a file name cannot hold a NUL character")
    return data


def seconds(value: Any, what: str) -> float:
    """A time or length in seconds, as a finite float."""
    try:
        result = float(value)
    except (TypeError, ValueError):
        raise TypeError(f"{what} is a number of seconds, not {value!r}") from None
    if not math.isfinite(result):
        raise ValueError(f"{what} must be a finite number of seconds, not {value!r}")
    return result


def seconds_or_ms(value: Any, ms: Any, what: str) -> Optional[float]:
    """`what` given in seconds (value) or in milliseconds (what_ms); None when neither is."""
    if ms is not None:
        if value is not None:
            raise TypeError(f"give {what} or {what}_ms, not both")
        return operator.index(ms) / 1000.0
    return None if value is None else seconds(value, what)


def reader_error(failure: BaseException, name: PathName, range_error: type = IndexError) -> Exception:
    """The Python exception for a failure of the library's reader."""
    code, text = failure.args
    if code == _NOT_FOUND:
        return FileNotFoundError(errno.ENOENT, os.strerror(errno.ENOENT), os.fsdecode(name))
    if code in (_CANNOT_OPEN, _NO_STREAM):
        return MediaError(text)
    if code == _OUT_OF_RANGE:
        return range_error(text)
    if code == _BAD_ARGUMENT:
        return ValueError(text)
    if code == _OUT_OF_MEMORY:
        return MemoryError(text)
    return FeedError(text)


def open_core(name: PathName) -> Any:
    """The library's reader for `name`; the fitting exception when it cannot open it."""
    try:
        return _feed.Reader(name_bytes(name))
    except _feed.ReaderFailure as failure:
        raise reader_error(failure, name) from None


# ---- what a file holds -------------------------------------------------------------------


@dataclasses.dataclass(frozen=True)
class StreamInfo:
    """One stream of a file, as probe() and the readers' metadata tell it.

    Video: width and height as shown (square pixels, upright), coded_width and coded_height as
    stored, rotation the clockwise degrees that turn it upright, frame_rate the average rate.
    frame_count is the container's figure (frame_count_from "container"), or the frames
    counted by reading the stream ("counted"); begin and end, for counted streams, the first
    frame's time and where the last one stops being shown. Times are seconds; None is unknown.
    """

    index: int
    type: str
    codec: str
    width: Optional[int] = None
    height: Optional[int] = None
    coded_width: Optional[int] = None
    coded_height: Optional[int] = None
    rotation: Optional[int] = None
    frame_rate: Optional[fractions.Fraction] = None
    frame_count: Optional[int] = None
    frame_count_from: Optional[str] = None
    duration: Optional[float] = None
    start: float = 0.0
    begin: Optional[float] = None
    end: Optional[float] = None
    sample_rate: Optional[int] = None
    channels: Optional[int] = None
    bit_rate: Optional[int] = None

    @property
    def fps(self) -> Optional[float]:
        """The average frame rate as a float."""
        return None if self.frame_rate is None else float(self.frame_rate)

    @classmethod
    def _of(cls, record: Dict[str, Any]) -> "StreamInfo":
        fields = dict(record)
        rate = fields.pop("frame_rate")
        fields["frame_rate"] = None if rate is None else fractions.Fraction(*rate)
        return cls(**fields)


@dataclasses.dataclass(frozen=True)
class MediaInfo:
    """What a file holds: its container (format, duration and start in seconds, bit rate) and
    its streams; `video` and `audio` are the streams a video and an audio source of the file
    play (None when it has none)."""

    path: str
    format: str
    duration: Optional[float]
    start: float
    bit_rate: Optional[int]
    streams: Tuple[StreamInfo, ...]
    video: Optional[StreamInfo]
    audio: Optional[StreamInfo]


def _media_info(core: Any, name: PathName, count_frames: bool) -> MediaInfo:
    record = core.media_info()
    streams = tuple(
        StreamInfo._of(core.stream_info(index, False))
        for index in range(record["stream_count"])
    )
    if count_frames:
        streams = tuple(
            StreamInfo._of(core.stream_info(s.index, True)) if s.type == "video" else s
            for s in streams
        )
    video, audio = record["video_stream"], record["audio_stream"]
    return MediaInfo(
        path=os.fsdecode(name),
        format=record["format"],
        duration=record["duration"],
        start=record["start"],
        bit_rate=record["bit_rate"],
        streams=streams,
        video=None if video is None else streams[video],
        audio=None if audio is None else streams[audio],
    )


def probe(path: PathName, *, count_frames: bool = False) -> MediaInfo:
    """What the file at `path` holds (see MediaInfo), opened as a source would be.

    count_frames: count the frames of its video streams by reading them through (exact, and
    needed where the container does not say; it takes as long as reading the file). Raises
    FileNotFoundError for a missing file, MediaError for one that is no media file.
    """
    core = open_core(path)
    try:
        return _media_info(core, path, bool(count_frames))
    except _feed.ReaderFailure as failure:
        raise reader_error(failure, path) from None
    finally:
        core.close()


# ---- readers and processes ----------------------------------------------------------------

# Readers with an open library reader, so that a forked child can let go of them (see
# forget_inherited_readers).
_open_readers: "weakref.WeakSet[_Reader]" = weakref.WeakSet()


def forget_inherited_readers() -> None:
    """In a forked child: drop the library readers inherited from the parent without freeing
    them (their decoder threads stayed behind); each reader opens its file again when next
    used."""
    for reader in list(_open_readers):
        reader._abandon()
    _open_readers.clear()


_Closable = TypeVar("_Closable", bound="_ClosedByWith")


class _ClosedByWith:
    """Leaving a `with` block closes the object."""

    def close(self) -> None:
        raise NotImplementedError

    def __enter__(self: _Closable) -> _Closable:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()


class _Reader(_ClosedByWith):
    """What VideoReader and AudioReader share: the library reader of one file, opened again in
    a forked child or after unpickling, and closed by close() or `with`."""

    _kind = ""

    def __init__(self, path: PathName) -> None:
        self._path = path
        self._core: Any = None
        self._closed = False
        self._media: Optional[MediaInfo] = None
        self._open()

    def _open(self) -> None:
        core = open_core(self._path)
        try:
            self._media = _media_info(core, self._path, False)
            self._configure(core)
        except BaseException:
            core.close()
            raise
        self._core = core
        _open_readers.add(self)

    def _configure(self, core: Any) -> None:
        raise NotImplementedError

    def _abandon(self) -> None:
        if self._core is not None:
            self._core.abandon()
            self._core = None

    def _ready(self) -> Any:
        """The library reader; opened again where the one there was is gone (a forked
        child)."""
        if self._closed:
            raise ValueError(f"the {self._kind} reader is closed")
        if self._core is None:
            self._open()
        return self._core

    def _call(self, method: str, *args: Any, range_error: type = IndexError) -> Any:
        try:
            return getattr(self._ready(), method)(*args)
        except _feed.ReaderFailure as failure:
            raise reader_error(failure, self._path, range_error) from None

    @property
    def path(self) -> PathName:
        """The file read, as given."""
        return self._path

    @property
    def media(self) -> MediaInfo:
        """What the whole file holds (probe()'s answer, without counting frames)."""
        self._ready()
        assert self._media is not None
        return self._media

    def close(self) -> None:
        """Closes the file; later reads raise ValueError. Idempotent."""
        self._closed = True
        if self._core is not None:
            self._core.close()
            self._core = None
        _open_readers.discard(self)

    @property
    def closed(self) -> bool:
        """True once close() has run."""
        return self._closed


class VideoReader(_Reader):
    """Any frames of a file's video, by index (presentation order) or by time, as numpy arrays.

    size: (width, height) in pixels (1 to 16384 a side), None for the picture's own shown size
    (square pixels, upright); a side of 0 follows the picture's shape. fit: how the picture
    fills that size, "stretch", "fit" (inside, with bars of bars_colour 0xRRGGBB) or "fill"
    (cut to it). format: "rgb24", "bgr24", "rgba", "bgra" (alpha 255) or "gray" (luma).
    layout: "hwc", frames shaped (height, width, channels), or "chw", (channels, height, width).

    len() is the number of frames a full decode of the stream yields, counted when first
    needed; reader[i] is frame i (negative counts from the end), reader[a:b:c] and
    get_frames_at() several at once, stacked; get_frames_played_at() the frames shown at
    times in seconds. Arrays are C-contiguous, writable and owned (torch.from_dlpack() and
    torch.from_numpy() take them as they are). Frames asked for together are decoded in one
    forward pass, seeking only past a keyframe; frames asked for in order, one call after the
    other, continue the same pass.

    Raises FileNotFoundError for a missing file, MediaError for one without video, ValueError
    for a size, format or layout it cannot make. A reader pickles as its file and options and
    opens the file again where it is unpickled; in a forked child it opens it again on first
    use. One reader may be shared by threads, which take turns.
    """

    _kind = "video"

    def __init__(
        self,
        path: PathName,
        size: Optional[Tuple[int, int]] = None,
        *,
        fit: str = "stretch",
        bars_colour: int = 0x000000,
        format: str = "rgb24",
        layout: str = "hwc",
    ) -> None:
        self._options: Dict[str, Any] = dict(
            size=None if size is None else tuple(operator.index(side) for side in size),
            fit=_choice(fit, _FITS, "fit"),
            bars_colour=_colour(bars_colour),
            format=_choice(format, _PIXEL_FORMATS, "format"),
            layout=_choice(layout, dict.fromkeys(_LAYOUTS), "layout"),
        )
        if self._options["size"] is not None and len(self._options["size"]) != 2:
            raise ValueError("size is (width, height)")
        self._length: Optional[int] = None
        self._metadata: Optional[StreamInfo] = None
        super().__init__(path)

    def _configure(self, core: Any) -> None:
        options = self._options
        width, height = options["size"] or (0, 0)
        pixel_format, channels = _PIXEL_FORMATS[options["format"]]
        try:
            width, height, _ = core.set_video_output(
                width,
                height,
                _FITS[options["fit"]],
                options["bars_colour"],
                pixel_format,
                options["layout"] == "chw",
            )
        except _feed.ReaderFailure as failure:
            raise reader_error(failure, self._path) from None
        self._frame_shape = (
            (height, width, channels) if options["layout"] == "hwc" else (channels, height, width)
        )

    def __reduce__(self):
        return (_video_reader, (self._path, self._options))

    @property
    def metadata(self) -> StreamInfo:
        """The video stream read, its frames counted (see StreamInfo)."""
        if self._metadata is None:
            stream = self.media.video
            assert stream is not None
            self._metadata = StreamInfo._of(self._call("stream_info", stream.index, True))
            self._length = self._metadata.frame_count
        return self._metadata

    @property
    def frame_shape(self) -> Tuple[int, int, int]:
        """The shape of one frame."""
        return self._frame_shape

    def __len__(self) -> int:
        if self._length is None:
            self._length = self.metadata.frame_count or 0
        return self._length

    def _indices(self, indices: Any) -> np.ndarray:
        wanted = np.asarray(indices)
        if wanted.ndim != 1 or (wanted.size and wanted.dtype.kind not in "iu"):
            raise TypeError("frame indices are a flat sequence of integers")
        wanted = wanted.astype(np.int64)
        count = len(self)
        wanted = np.where(wanted < 0, wanted + count, wanted)
        outside = wanted[(wanted < 0) | (wanted >= count)]
        if outside.size:
            raise IndexError(
                f"frame index {int(outside[0])} is out of range: the video has {count} frames"
            )
        return wanted

    def _frames(
        self, method: str, wanted: np.ndarray, range_error: type
    ) -> npt.NDArray[np.uint8]:
        frames, _ = self._call(method, wanted, range_error=range_error)
        return frames.reshape((len(wanted),) + self._frame_shape)

    def get_frames_at(self, indices: Sequence[int]) -> npt.NDArray[np.uint8]:
        """The frames at `indices` (any order, repeats allowed, negative from the end), stacked
        in that order: shape (len(indices),) + frame_shape."""
        return self._frames("read_frames", self._indices(indices), IndexError)

    def get_frames_played_at(self, seconds: Sequence[float]) -> npt.NDArray[np.uint8]:
        """The frames shown at `seconds` of source time, each the latest frame at or before its
        time, stacked in that order. ValueError, naming the times frames are shown, for a time
        before the first frame or from the end of the last on."""
        wanted = np.asarray(seconds, dtype=np.float64)
        if wanted.ndim != 1:
            raise TypeError("times are a flat sequence of seconds")
        return self._frames("read_frames_at", wanted, ValueError)

    def __getitem__(self, key: Union[int, slice]) -> npt.NDArray[np.uint8]:
        if isinstance(key, slice):
            return self.get_frames_at(range(*key.indices(len(self))))
        index = operator.index(key)
        return self.get_frames_at([index])[0]

    def __iter__(self) -> Iterator[npt.NDArray[np.uint8]]:
        for index in range(len(self)):
            yield self[index]

    def __repr__(self) -> str:
        state = "closed" if self._closed else f"{self._frame_shape} {self._options['format']}"
        return f"<feed.VideoReader {os.fsdecode(self._path)!r} {state}>"


class AudioReader(_Reader):
    """Any range of a file's audio, sample-exact, as numpy arrays.

    sample_rate: Hz (1 to 768000), None for the stream's own; channels: 1 to 8, None for the
    stream's own (at most 8; mono and multichannel sound are mixed up or down). dtype: "int16"
    or "float32" (the same samples over 32768). read(start, stop) gives the samples of [start,
    stop) seconds of source time, round(stop x rate) - round(start x rate) of them, so ranges
    that adjoin join sample for sample; silence, with a FeedWarning, where a range lies outside
    the stream. Opening, pickling, forking and threads as VideoReader.
    """

    _kind = "audio"

    def __init__(
        self,
        path: PathName,
        sample_rate: Optional[int] = None,
        channels: Optional[int] = None,
        *,
        dtype: str = "int16",
    ) -> None:
        self._options = dict(
            sample_rate=None if sample_rate is None else operator.index(sample_rate),
            channels=None if channels is None else operator.index(channels),
            dtype=_choice(dtype, dict.fromkeys(_SAMPLE_TYPES), "dtype"),
        )
        super().__init__(path)

    def _configure(self, core: Any) -> None:
        options = self._options
        try:
            self._rate, self._channels = core.set_audio_output(
                options["sample_rate"] or 0, options["channels"] or 0
            )
        except _feed.ReaderFailure as failure:
            raise reader_error(failure, self._path) from None

    def __reduce__(self):
        return (_audio_reader, (self._path, self._options))

    @property
    def sample_rate(self) -> int:
        """Sample frames per second of what read() gives."""
        return self._rate

    @property
    def channels(self) -> int:
        """Channels of what read() gives."""
        return self._channels

    @property
    def metadata(self) -> StreamInfo:
        """The audio stream read (see StreamInfo)."""
        stream = self.media.audio
        assert stream is not None
        return stream

    @property
    def duration(self) -> Optional[float]:
        """The stream's length in seconds, the container's when the stream does not say; None
        when neither does."""
        stream = self.metadata
        return stream.duration if stream.duration is not None else self.media.duration

    def read(
        self,
        start: Optional[float] = None,
        stop: Optional[float] = None,
        *,
        start_ms: Optional[int] = None,
        stop_ms: Optional[int] = None,
    ) -> Union[npt.NDArray[np.int16], npt.NDArray[np.float32]]:
        """The samples of [start, stop) seconds (start None: 0; stop None: the stream's end),
        shaped (sample frames, channels)."""
        begin = seconds_or_ms(start, start_ms, "start") or 0.0
        end = seconds_or_ms(stop, stop_ms, "stop")
        length = self.duration
        if end is None:
            if length is None:
                raise ValueError(f"stop is needed: the length of {os.fsdecode(self._path)!r} is not known")
            end = length
        if end < begin:
            raise ValueError(f"stop {end} s is before start {begin} s")
        if begin < 0 or (length is not None and end > length + 1e-6):
            warnings.warn(
                FeedWarning(
                    f"{os.fsdecode(self._path)!r}: the range {begin} s to {end} s reaches outside "
                    f"its audio (0 s to {length} s); that part is silent"
                ),
                stacklevel=2,
            )
        samples = self._call("read_audio", begin, end, range_error=ValueError)
        if self._options["dtype"] == "float32":
            return samples.astype(np.float32) / np.float32(32768.0)
        return samples

    def __repr__(self) -> str:
        state = "closed" if self._closed else f"{self._rate} Hz x {self._channels}"
        return f"<feed.AudioReader {os.fsdecode(self._path)!r} {state}>"


def _video_reader(path: PathName, options: Dict[str, Any]) -> VideoReader:
    return VideoReader(path, **options)


def _audio_reader(path: PathName, options: Dict[str, Any]) -> AudioReader:
    return AudioReader(path, **options)


def _choice(value: Any, choices: Dict[str, Any], what: str) -> str:
    name = str(getattr(value, "name", value)).lower()
    if name not in choices:
        raise ValueError(f"{what} must be one of {', '.join(choices)}, not {value!r}")
    return name


def _colour(value: int) -> int:
    value = operator.index(value)
    if not 0 <= value <= 0xFFFFFF:
        raise ValueError(f"bars_colour must be a colour 0xRRGGBB, not {value:#x}")
    return value
