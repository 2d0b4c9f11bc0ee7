# Type stubs of the feed package (its compiled half, feed._feed, has none of its own).
import enum
import os
from typing import Iterator, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

PathName = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]

class FeedError(RuntimeError):
    """A refusal or failure of the feed library, with the library's own message."""

class SourceError(FeedError):
    """A source that cannot be opened, or lacks the stream it was added for."""

    message: str
    name: PathName
    kind: str
    def __init__(self, message: str, name: PathName, kind: str) -> None: ...

class State(enum.IntEnum):
    IDLE = 0
    RUNNING = 1
    PAUSED = 2

class ClipMode(enum.IntEnum):
    STRETCH = 0
    FIT = 1
    FILL = 2

class VideoFrame:
    """One frame: (height, width, 4) uint8, bytes B, G, R, 0 per pixel."""

    @property
    def array(self) -> npt.NDArray[np.uint8]: ...
    @property
    def position_ms(self) -> int: ...

class AudioBuffer:
    """One buffer: (sample frames, channels) int16, interleaved PCM."""

    @property
    def array(self) -> npt.NDArray[np.int16]: ...
    @property
    def position_ms(self) -> int: ...
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
        start_ms: int = 0,
        stop_ms: Optional[int] = None,
        *,
        crop: Optional[Sequence[int]] = None,
        bars_colour: int = 0x000000,
        allow_missing: Optional[bool] = None,
    ) -> int: ...
    def add_audio(
        self,
        name: PathName,
        start_ms: int = 0,
        stop_ms: Optional[int] = None,
        *,
        allow_missing: Optional[bool] = None,
    ) -> int: ...
    def remove_source(self, source_id: int) -> None: ...
    def clear_sources(self) -> None: ...
    def set_source_times(self, source_id: int, start_ms: int, stop_ms: int) -> None: ...
    def source_times(self, source_id: int) -> Tuple[int, int]: ...
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
        fade_in_ms: int = 0,
        fade_out_ms: int = 0,
        colour: int = 0x000000,
        *,
        fade_in_colour: Optional[int] = None,
        fade_out_colour: Optional[int] = None,
    ) -> None: ...
    def audio_fade(self, fade_in_ms: int = 0, fade_out_ms: int = 0) -> None: ...
    def play(self, video: bool = True, audio: bool = True) -> Playback: ...
    def pause(self) -> None: ...
    def resume(self) -> None: ...
    def stop(self) -> bool: ...
    @property
    def state(self) -> State: ...
    @property
    def duration_ms(self) -> Optional[int]: ...
    @property
    def position_ms(self) -> Tuple[Optional[int], Optional[int]]: ...
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
    start_ms: int = 0,
    stop_ms: Optional[int] = None,
    size: Optional[Tuple[int, int]] = None,
    fps: float = 0.0,
    *,
    crop: Optional[Sequence[int]] = None,
    clip_mode: Union[ClipMode, str, int] = ClipMode.STRETCH,
    bars_colour: int = 0x000000,
    allow_missing: bool = False,
    max_queued_frames: int = 4,
) -> _Frames: ...
