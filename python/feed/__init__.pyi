# Type stubs of the feed package (its compiled half, feed._feed, has none of its own).
import enum
import fractions
import os
from typing import Iterator, NamedTuple, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

PathName = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]

__version__: str

class FeedError(RuntimeError):
    """A refusal or failure of the feed library, with the library's own message."""

class SourceError(FeedError):
    """A source that cannot be opened, or lacks the stream it was added for."""

    message: str
    name: PathName
    kind: str
    def __init__(self, message: str, name: PathName, kind: str) -> None: ...

class SourceNotFoundError(FileNotFoundError, SourceError):
    """A source whose file does not exist."""

    def __init__(self, message: str, name: PathName, kind: str) -> None: ...

class MediaError(FeedError):
    """A file the reader cannot read, or one without the stream asked for."""

class FeedWarning(UserWarning):
    """A span or range that reaches outside its file."""

class State(enum.IntEnum):
    IDLE = 0
    RUNNING = 1
    PAUSED = 2

class ClipMode(enum.IntEnum):
    STRETCH = 0
    FIT = 1
    FILL = 2

class EndReason(enum.IntEnum):
    NONE = 0
    FINISHED = 1
    STOPPED = 2
    NOT_BUILT = 3
    ENGINE_FAILED = 4

class Outcome(enum.IntEnum):
    NOT_REACHED = 0
    PLAYED = 1
    CUT_AT_END = 2
    NOT_OPENED = 3
    NO_STREAM = 4

class SourceOutcome(NamedTuple):
    outcome: Outcome
    stream_length: Optional[float]
    message: str

class VideoFrame:
    """One frame: (height, width, 4) uint8, bytes B, G, R, 0 per pixel."""

    @property
    def array(self) -> npt.NDArray[np.uint8]: ...
    @property
    def position_ms(self) -> int: ...
    @property
    def position(self) -> float: ...

class AudioBuffer:
    """One buffer: (sample frames, channels) int16, interleaved PCM."""

    @property
    def array(self) -> npt.NDArray[np.int16]: ...
    @property
    def position_ms(self) -> int: ...
    @property
    def position(self) -> float: ...
    @property
    def sample_rate(self) -> int: ...

class Playback:
    def __iter__(self) -> Playback: ...
    def __next__(self) -> Union[VideoFrame, AudioBuffer]: ...
    def close(self) -> None: ...
    def __enter__(self) -> Playback: ...
    def __exit__(self, *exc_info: object) -> None: ...

class Feed:
    allow_missing: bool
    def __init__(
        self,
        size: Optional[Tuple[int, int]] = None,
        fps: float = 0.0,
        sample_rate: int = 44100,
        channels: int = 2,
        *,
        clip_mode: Union[ClipMode, str, int] = ClipMode.STRETCH,
        sync: bool = True,
        allow_missing: bool = False,
        max_queued_frames: int = 4,
        max_queued_buffers: int = 64,
    ) -> None: ...
    def add_video(
        self,
        name: PathName,
        start: Optional[float] = None,
        stop: Optional[float] = None,
        *,
        start_ms: Optional[int] = None,
        stop_ms: Optional[int] = None,
        crop: Optional[Sequence[int]] = None,
        bars_colour: int = 0x000000,
        allow_missing: Optional[bool] = None,
    ) -> int: ...
    def add_audio(
        self,
        name: PathName,
        start: Optional[float] = None,
        stop: Optional[float] = None,
        *,
        start_ms: Optional[int] = None,
        stop_ms: Optional[int] = None,
        allow_missing: Optional[bool] = None,
    ) -> int: ...
    def remove_source(self, source_id: int) -> None: ...
    def clear_sources(self) -> None: ...
    def set_source_times(
        self,
        source_id: int,
        start: Optional[float] = None,
        stop: Optional[float] = None,
        *,
        start_ms: Optional[int] = None,
        stop_ms: Optional[int] = None,
    ) -> None: ...
    def source_times(self, source_id: int) -> Tuple[float, float]: ...
    def source_times_ms(self, source_id: int) -> Tuple[int, int]: ...
    def set_format(
        self,
        *,
        size: Optional[Tuple[int, int]] = None,
        fps: Optional[float] = None,
        sample_rate: Optional[int] = None,
        channels: Optional[int] = None,
    ) -> None: ...
    def set_clip_mode(self, mode: Union[ClipMode, str, int]) -> None: ...
    def set_sync(self, enabled: bool) -> None: ...
    def video_fade(
        self,
        fade_in: Optional[float] = None,
        fade_out: Optional[float] = None,
        colour: int = 0x000000,
        *,
        fade_in_ms: Optional[int] = None,
        fade_out_ms: Optional[int] = None,
        fade_in_colour: Optional[int] = None,
        fade_out_colour: Optional[int] = None,
    ) -> None: ...
    def audio_fade(
        self,
        fade_in: Optional[float] = None,
        fade_out: Optional[float] = None,
        *,
        fade_in_ms: Optional[int] = None,
        fade_out_ms: Optional[int] = None,
    ) -> None: ...
    def play(self, video: bool = True, audio: bool = True) -> Playback: ...
    def pause(self) -> None: ...
    def resume(self) -> None: ...
    def stop(self) -> bool: ...
    @property
    def state(self) -> State: ...
    @property
    def duration(self) -> Optional[float]: ...
    @property
    def position(self) -> Tuple[Optional[float], Optional[float]]: ...
    @property
    def duration_ms(self) -> Optional[int]: ...
    @property
    def position_ms(self) -> Tuple[Optional[int], Optional[int]]: ...
    @property
    def end_reason(self) -> Tuple[EndReason, str]: ...
    def source_outcome(self, source_id: int) -> Optional[SourceOutcome]: ...
    def close(self) -> None: ...
    @property
    def closed(self) -> bool: ...
    def __enter__(self) -> Feed: ...
    def __exit__(self, *exc_info: object) -> None: ...

class _Frames(Iterator[npt.NDArray[np.uint8]]):
    def __next__(self) -> npt.NDArray[np.uint8]: ...
    def close(self) -> None: ...
    def __enter__(self) -> _Frames: ...
    def __exit__(self, *exc_info: object) -> None: ...

def frames(
    name: PathName,
    start: Optional[float] = None,
    stop: Optional[float] = None,
    size: Optional[Tuple[int, int]] = None,
    fps: float = 0.0,
    *,
    start_ms: Optional[int] = None,
    stop_ms: Optional[int] = None,
    crop: Optional[Sequence[int]] = None,
    clip_mode: Union[ClipMode, str, int] = ClipMode.STRETCH,
    bars_colour: int = 0x000000,
    allow_missing: bool = False,
    max_queued_frames: int = 4,
) -> _Frames: ...

class StreamInfo:
    """One stream of a file."""

    index: int
    type: str
    codec: str
    width: Optional[int]
    height: Optional[int]
    coded_width: Optional[int]
    coded_height: Optional[int]
    rotation: Optional[int]
    frame_rate: Optional[fractions.Fraction]
    frame_count: Optional[int]
    frame_count_from: Optional[str]
    duration: Optional[float]
    start: float
    begin: Optional[float]
    end: Optional[float]
    sample_rate: Optional[int]
    channels: Optional[int]
    bit_rate: Optional[int]
    @property
    def fps(self) -> Optional[float]: ...

class MediaInfo:
    """What a file holds."""

    path: str
    format: str
    duration: Optional[float]
    start: float
    bit_rate: Optional[int]
    streams: Tuple[StreamInfo, ...]
    video: Optional[StreamInfo]
    audio: Optional[StreamInfo]

def probe(path: PathName, *, count_frames: bool = False) -> MediaInfo: ...

class VideoReader:
    def __init__(
        self,
        path: PathName,
        size: Optional[Tuple[int, int]] = None,
        *,
        fit: str = "stretch",
        bars_colour: int = 0x000000,
        format: str = "rgb24",
        layout: str = "hwc",
    ) -> None: ...
    @property
    def path(self) -> PathName: ...
    @property
    def media(self) -> MediaInfo: ...
    @property
    def metadata(self) -> StreamInfo: ...
    @property
    def frame_shape(self) -> Tuple[int, int, int]: ...
    def __len__(self) -> int: ...
    def __getitem__(self, key: Union[int, slice]) -> npt.NDArray[np.uint8]: ...
    def __iter__(self) -> Iterator[npt.NDArray[np.uint8]]: ...
    def get_frames_at(self, indices: Sequence[int]) -> npt.NDArray[np.uint8]: ...
    def get_frames_played_at(self, seconds: Sequence[float]) -> npt.NDArray[np.uint8]: ...
    def close(self) -> None: ...
    @property
    def closed(self) -> bool: ...
    def __enter__(self) -> VideoReader: ...
    def __exit__(self, *exc_info: object) -> None: ...

class AudioReader:
    def __init__(
        self,
        path: PathName,
        sample_rate: Optional[int] = None,
        channels: Optional[int] = None,
        *,
        dtype: str = "int16",
    ) -> None: ...
    @property
    def path(self) -> PathName: ...
    @property
    def media(self) -> MediaInfo: ...
    @property
    def metadata(self) -> StreamInfo: ...
    @property
    def sample_rate(self) -> int: ...
    @property
    def channels(self) -> int: ...
    @property
    def duration(self) -> Optional[float]: ...
    def read(
        self,
        start: Optional[float] = None,
        stop: Optional[float] = None,
        *,
        start_ms: Optional[int] = None,
        stop_ms: Optional[int] = None,
    ) -> Union[npt.NDArray[np.int16], npt.NDArray[np.float32]]: ...
    def close(self) -> None: ...
    @property
    def closed(self) -> bool: ...
    def __enter__(self) -> AudioReader: ...
    def __exit__(self, *exc_info: object) -> None: ...
