"""Decoded video frames and audio buffers from a list of media files, as numpy arrays.

The simple case, one file's frames::

    import feed
    for frame in feed.frames("clip.mp4", start_ms=1000, stop_ms=3000, size=(640, 360), fps=25):
        ...  # (360, 640, 4) uint8, bytes B, G, R, 0 per pixel

The whole feed: video sources strung onto one timeline, audio sources onto another, the
shorter padded so both end together, with fades::

    with feed.Feed(size=(640, 360), fps=25, sample_rate=44100, channels=2) as f:
        f.add_video("a.mp4", 0, 20000)
        f.add_audio("music.mp3", 0, 15000)
        f.video_fade(fade_in_ms=1000, fade_out_ms=1000, colour=0x000000)
        for item in f.play():
            if isinstance(item, feed.VideoFrame):
                ...  # item.array: (height, width, 4) uint8; item.position_ms
            else:
                ...  # item.array: (sample frames, channels) int16; item.position_ms

Items arrive in the order the library delivers them, frames and buffers interleaved, each in
timeline order. The library decodes on threads of its own into a bounded queue; when the loop
body is slow the library waits, so nothing is dropped and memory stays bounded. Each array owns
its memory (it is not reused behind your back) and may be kept.

Leaving the loop early, an exception in it, Ctrl-C, or the iterator being collected stops the
session. A source file that cannot be opened, or lacks the stream it is added for, raises
SourceError, unless the feed or the add says allow_missing=True: it then plays as black
frames or silence for its span, as the library does. Refusals raise FeedError with the
library's own message.
"""

from __future__ import annotations

import atexit
import enum
import operator
import os
import sys
import weakref
from typing import Dict, Iterator, Optional, Sequence, Tuple, Union

from . import _feed
from ._feed import AudioBuffer, FeedError, VideoFrame

__all__ = [
    "AudioBuffer",
    "ClipMode",
    "Feed",
    "FeedError",
    "Playback",
    "SourceError",
    "State",
    "VideoFrame",
    "frames",
]

PathName = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

_INT32_MIN = -(2**31)
_INT32_MAX = 2**31 - 1

# The library's messages for a source it cannot play (it plays such a source as black or
# silence and reports nothing, so the module raises them itself).
_CANNOT_OPEN_TEXT = "The media has problem"
_NO_STREAM_TEXT = {"video": "The media has no video stream", "audio": "The media has no audio stream"}
# The library's message for times out of order, which its adds refuse without a report.
_BAD_TIMES_TEXT = "Start time or Stop time invalid"

# _feed.check_source statuses.
_PLAYS, _CANNOT_OPEN, _NO_STREAM = 0, 1, 2


class State(enum.IntEnum):
    """A feed's state, as Feed.state gives it."""

    IDLE = 0
    RUNNING = 1
    PAUSED = 2


class ClipMode(enum.IntEnum):
    """How a clip's picture fits the frame."""

    STRETCH = 0  # to the frame's size, whatever its shape
    FIT = 1  # inside the frame, with bars of the source's bars_colour
    FILL = 2  # over the whole frame, the overflow cut


class SourceError(FeedError):
    """A source that cannot be opened, or lacks the stream it was added for.

    `message` is the library's text for it, `name` the source as given, `kind` "video" or
    "audio".
    """

    def __init__(self, message: str, name: PathName, kind: str) -> None:
        super().__init__(f"{message}: {os.fsdecode(name)!r}")
        self.message = message
        self.name = name
        self.kind = kind


def _ms(value: int, what: str) -> int:
    """A time in milliseconds as the C interface takes it (a 32-bit integer)."""
    value = operator.index(value)
    if not _INT32_MIN <= value <= _INT32_MAX:
        raise ValueError(f"{what} must fit in 32 bits, not {value}")
    return value


def _colour(value: int, what: str) -> int:
    """A 0xRRGGBB colour."""
    value = operator.index(value)
    if not 0 <= value <= 0xFFFFFF:
        raise ValueError(f"{what} must be a colour 0xRRGGBB, not {value:#x}")
    return value


def _positive_count(value: int, what: str) -> int:
    value = operator.index(value)
    if value < 1:
        raise ValueError(f"{what} must be 1 or more, not {value}")
    return value


def _name_bytes(name: PathName) -> bytes:
    """The name as the library takes it: the file system's bytes, zero-free."""
    data = os.fsencode(name)
    if b"\0" in data:
        raise ValueError("a source name cannot hold a NUL character")
    return data


# Feeds still open, closed at exit so that no engine thread runs while the interpreter ends.
_open_feeds: "weakref.WeakSet[Feed]" = weakref.WeakSet()


@atexit.register
def _close_open_feeds() -> None:
    for open_feed in list(_open_feeds):
        open_feed.close()


class Feed:
    """A feed: sources on a video and an audio timeline, an output format, fades; play() runs
    a session over them.

    size: (width, height) of the frames in pixels, an odd width rounded up to even; None for the
    first video clip's own. fps: frames per second, 0 for the first video clip's own.
    sample_rate: Hz, 0 for the first audio clip's own. channels: 1 or 2. clip_mode: how each
    picture fits the frame (ClipMode or "stretch", "fit", "fill"). sync: keep audio and video
    within 200 ms of each other while both play. allow_missing: play sources that cannot be
    opened, or lack their stream, as black or silence instead of raising SourceError.
    max_queued_frames, max_queued_buffers: how many frames and audio buffers (10 ms each) may
    wait for the loop before the library waits in turn.

    Configuration happens while no session runs; fades may change at any time. The feed is a
    context manager; leaving it closes the feed, stopping any session. Use it from one thread
    at a time, except that pause(), resume(), stop() and the state queries may come from any.
    """

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
    ) -> None:
        self._core = _feed.Core()
        self._sources: Dict[int, Tuple[str, int, int]] = {}  # id -> (kind, start ms, stop ms)
        self._session = 0  # the last session's number, 0 before the first
        self._stopped_session = 0  # the last session stopped by stop() or close()
        self.allow_missing = bool(allow_missing)
        self._max_frames = _positive_count(max_queued_frames, "max_queued_frames")
        self._max_buffers = _positive_count(max_queued_buffers, "max_queued_buffers")
        try:
            self.set_format(size=size, fps=fps, sample_rate=sample_rate, channels=channels)
            self.set_clip_mode(clip_mode)
            self.set_sync(sync)
        except BaseException:
            self._core.close()
            raise
        _open_feeds.add(self)

    # ---- sources -------------------------------------------------------------------------

    def add_video(
        self,
        name: PathName,
        start_ms: int = 0,
        stop_ms: Optional[int] = None,
        *,
        crop: Optional[Sequence[int]] = None,
        bars_colour: int = 0x000000,
        allow_missing: Optional[bool] = None,
    ) -> int:
        """Adds `name` from start_ms to stop_ms (inside the file) at the end of the video
        timeline; returns the source's id.

        name: a local media file, or a "lavfi:" graph such as
        "lavfi:testsrc2=size=640x360:rate=25:duration=5". stop_ms None: the end of the file's
        video (a lavfi: graph needs it given). crop: (left, top, right, bottom) in source
        pixels, applied before scaling. bars_colour: 0xRRGGBB of the bars in ClipMode.FIT.
        Raises SourceError when the file cannot be opened or has no video (unless missing
        sources are allowed), FeedError when the library refuses.
        """
        crop_rect = None
        if crop is not None:
            crop_rect = [_ms(value, "crop") for value in crop]
            if len(crop_rect) != 4:
                raise ValueError("crop is (left, top, right, bottom)")
        start, stop = self._checked_span(name, "video", start_ms, stop_ms, allow_missing)
        source_id = self._core.add_video(
            _name_bytes(name), start, stop, crop_rect, _colour(bars_colour, "bars_colour")
        )
        self._sources[source_id] = ("video", start, stop)
        return source_id

    def add_audio(
        self,
        name: PathName,
        start_ms: int = 0,
        stop_ms: Optional[int] = None,
        *,
        allow_missing: Optional[bool] = None,
    ) -> int:
        """Adds `name` from start_ms to stop_ms (inside the file) at the end of the audio
        timeline; returns the source's id. As add_video, for the file's audio."""
        start, stop = self._checked_span(name, "audio", start_ms, stop_ms, allow_missing)
        source_id = self._core.add_audio(_name_bytes(name), start, stop)
        self._sources[source_id] = ("audio", start, stop)
        return source_id

    def _checked_span(
        self,
        name: PathName,
        kind: str,
        start_ms: int,
        stop_ms: Optional[int],
        allow_missing: Optional[bool],
    ) -> Tuple[int, int]:
        start = _ms(start_ms, "start_ms")
        stop = None if stop_ms is None else _ms(stop_ms, "stop_ms")
        if stop is not None and stop < start:
            raise FeedError(_BAD_TIMES_TEXT)
        missing_ok = self.allow_missing if allow_missing is None else bool(allow_missing)
        status, length_ms = _feed.check_source(_name_bytes(name), kind == "video")
        if status != _PLAYS and not missing_ok:
            text = _CANNOT_OPEN_TEXT if status == _CANNOT_OPEN else _NO_STREAM_TEXT[kind]
            raise SourceError(text, name, kind)
        if stop is None:
            if length_ms < 0:
                raise ValueError(
                    f"stop_ms is needed: the length of {os.fsdecode(name)!r} is not known"
                )
            stop = length_ms
            if stop < start:
                raise FeedError(_BAD_TIMES_TEXT)
        return start, stop

    def remove_source(self, source_id: int) -> None:
        """Removes one source; its id is not handed out again."""
        self._core.remove_source(source_id)
        self._sources.pop(source_id, None)

    def clear_sources(self) -> None:
        """Removes every source; the next add gets id 1 again."""
        self._core.clear_sources()
        self._sources.clear()

    def set_source_times(self, source_id: int, start_ms: int, stop_ms: int) -> None:
        """Changes a source's span inside its file."""
        start, stop = _ms(start_ms, "start_ms"), _ms(stop_ms, "stop_ms")
        self._core.set_source_times(source_id, start, stop)
        kind = self._sources.get(source_id, ("video", 0, 0))[0]
        self._sources[source_id] = (kind, start, stop)

    def source_times(self, source_id: int) -> Tuple[int, int]:
        """A source's (start_ms, stop_ms), possibly 1 ms nearer to zero than set."""
        return tuple(self._core.source_times(source_id))  # type: ignore[return-value]

    # ---- format and settings -------------------------------------------------------------

    def set_format(
        self,
        *,
        size: Optional[Tuple[int, int]] = None,
        fps: Optional[float] = None,
        sample_rate: Optional[int] = None,
        channels: Optional[int] = None,
    ) -> None:
        """Sets what is given of the output format (as the constructor takes it); refused
        while a session runs."""
        if size is not None:
            width, height = size
            self._core.set_video_size(_ms(width, "width"), _ms(height, "height"))
        if fps is not None:
            self._core.set_frame_rate(float(fps))
        if sample_rate is not None:
            self._core.set_sample_rate(_ms(sample_rate, "sample_rate"))
        if channels is not None:
            self._core.set_channels(_ms(channels, "channels"))

    def set_clip_mode(self, mode: Union[ClipMode, str, int]) -> None:
        """How pictures fit the frame, from the next session."""
        if isinstance(mode, str):
            try:
                mode = ClipMode[mode.upper()]
            except KeyError:
                raise ValueError(f"clip_mode must be stretch, fit or fill, not {mode!r}") from None
        self._core.set_clip_mode(int(ClipMode(mode)))

    def set_sync(self, enabled: bool) -> None:
        """Keep audio and video in step (the default), from the next session."""
        self._core.set_sync(bool(enabled))

    def video_fade(
        self,
        fade_in_ms: int = 0,
        fade_out_ms: int = 0,
        colour: int = 0x000000,
        *,
        fade_in_colour: Optional[int] = None,
        fade_out_colour: Optional[int] = None,
    ) -> None:
        """Fades the video in from `colour` over the first fade_in_ms of the timeline and out
        to it over the last fade_out_ms; 0 switches that fade off. Colours are 0xRRGGBB;
        fade_in_colour and fade_out_colour set them apart. From the next frame, at any time."""
        fade_in, fade_out = _ms(fade_in_ms, "fade_in_ms"), _ms(fade_out_ms, "fade_out_ms")
        if fade_in < 0 or fade_out < 0:
            raise ValueError("fade lengths are 0 or more")
        in_colour = _colour(colour if fade_in_colour is None else fade_in_colour, "fade_in_colour")
        out_colour = _colour(
            colour if fade_out_colour is None else fade_out_colour, "fade_out_colour"
        )
        self._core.set_video_fade(fade_in > 0, fade_in, in_colour, fade_out > 0, fade_out, out_colour)

    def audio_fade(self, fade_in_ms: int = 0, fade_out_ms: int = 0) -> None:
        """Fades the audio in over the first fade_in_ms of the timeline and out over the last
        fade_out_ms; 0 switches that fade off. From the next buffer, at any time."""
        fade_in, fade_out = _ms(fade_in_ms, "fade_in_ms"), _ms(fade_out_ms, "fade_out_ms")
        if fade_in < 0 or fade_out < 0:
            raise ValueError("fade lengths are 0 or more")
        self._core.set_audio_fade(fade_in > 0, fade_in, fade_out > 0, fade_out)

    # ---- sessions ------------------------------------------------------------------------

    def play(self, video: bool = True, audio: bool = True) -> "Playback":
        """Starts a session and returns the iterator of what it delivers: VideoFrame items
        (when `video`) and AudioBuffer items (when `audio`), in delivery order.

        The session ends when the iterator is exhausted, closed or collected, or with stop().
        Raises FeedError when a session already runs or the library refuses to start (no
        sources: "No inut file", the library's text).
        """
        session = self._core.start(bool(video), bool(audio), self._max_frames, self._max_buffers)
        self._session = session
        return Playback(self, session, self._expects_delivery(bool(video), bool(audio)))

    def _expects_delivery(self, video: bool, audio: bool) -> bool:
        """Whether a session of the current sources delivers anything the caller asked for."""
        lengths = {"video": 0, "audio": 0}
        present = {"video": False, "audio": False}
        for kind, start, stop in self._sources.values():
            lengths[kind] += stop - start
            present[kind] = True
        if present["video"] and present["audio"]:  # the shorter timeline is padded
            lengths["video"] = lengths["audio"] = max(lengths.values())
        return (video and lengths["video"] > 0) or (audio and lengths["audio"] > 0)

    def pause(self) -> None:
        """Holds delivery before the next frame or buffer; the loop then waits after taking
        what was queued. FeedError when no session runs. Any thread."""
        self._core.pause()

    def resume(self) -> None:
        """Resumes a paused session. FeedError when none is paused. Any thread."""
        self._core.resume()

    def stop(self) -> bool:
        """Ends the running session, dropping what it had queued, and waits until it is torn
        down. False when no session was running. Any thread."""
        if self._core.closed:
            return False
        self._stopped_session = self._session
        return self._core.stop(0)

    @property
    def state(self) -> State:
        """State.IDLE, RUNNING or PAUSED."""
        return State(self._core.state())

    @property
    def duration_ms(self) -> Optional[int]:
        """The running session's length in ms; None while idle or while it is being built."""
        duration = self._core.duration_ms()
        return None if duration < 0 else duration

    @property
    def position_ms(self) -> Tuple[Optional[int], Optional[int]]:
        """(video, audio): times of the last delivered frame and buffer; None while idle."""
        video, audio = self._core.position_ms()
        return (None if video < 0 else video, None if audio < 0 else audio)

    # ---- lifetime ------------------------------------------------------------------------

    def close(self) -> None:
        """Stops any session and frees the feed; later calls raise ValueError. Idempotent."""
        self._stopped_session = self._session
        self._core.close()
        _open_feeds.discard(self)

    @property
    def closed(self) -> bool:
        """True once close() has run."""
        return self._core.closed

    def __enter__(self) -> "Feed":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __repr__(self) -> str:
        if self.closed:
            return "<feed.Feed closed>"
        return f"<feed.Feed {self.state.name.lower()}, {len(self._sources)} sources>"


class Playback:
    """The iterator of one session's VideoFrame and AudioBuffer items (see Feed.play).

    Closing it (close(), leaving a `with` block, or its being collected) before the end stops
    the session. Waiting for the next item releases the GIL and still answers Ctrl-C.
    """

    def __init__(self, owner: Feed, session: int, expects_delivery: bool) -> None:
        self._feed = owner
        self._core = owner._core
        self._session = session
        self._expects_delivery = expects_delivery
        self._done = False

    def __iter__(self) -> "Playback":
        return self

    def __next__(self) -> Union[VideoFrame, AudioBuffer]:
        if self._done:
            raise StopIteration
        try:
            item = self._core.next(self._session)
        except BaseException:
            self.close()
            raise
        if item is None:
            self._done = True
            self._check_delivered()
            raise StopIteration
        return item

    def _check_delivered(self) -> None:
        # The library says nothing when it cannot build a session (an output format the
        # engine refuses, say); it just goes back to idle. An iteration that ends that way
        # without having been stopped would pass for an empty success.
        if (
            self._expects_delivery
            and self._feed._stopped_session != self._session
            and not self._core.closed
            and self._core.delivered(self._session) == 0
        ):
            raise FeedError(
                "the session ended without delivering anything: the library could not build "
                "it (is the output format one the engine can produce?)"
            )

    def close(self) -> None:
        """Stops the session if it is still running. Idempotent."""
        if self._done:
            return
        self._done = True
        if not self._core.closed:
            self._feed._stopped_session = self._session
            self._core.stop(self._session)

    def __enter__(self) -> "Playback":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __del__(self) -> None:
        # While the interpreter ends the GIL must not be let go; the feed's own teardown
        # stops the session then.
        if not sys.is_finalizing():
            self.close()


class _Frames:
    """The iterator frames() returns: the arrays of one video source; owns its feed."""

    def __init__(self, owner: Feed, playback: Playback) -> None:
        self._feed = owner
        self._playback = playback

    def __iter__(self) -> "_Frames":
        return self

    def __next__(self):  # -> numpy.ndarray
        try:
            return self._playback.__next__().array
        except BaseException:
            self.close()
            raise

    def close(self) -> None:
        self._playback.close()
        self._feed.close()

    def __enter__(self) -> "_Frames":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __del__(self) -> None:
        if not sys.is_finalizing():
            self.close()


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
) -> Iterator:
    """The frames of one file from start_ms to stop_ms (None: its end), as (height, width, 4)
    uint8 arrays, bytes B, G, R, 0 per pixel, one per frame at `fps` (0: the file's own) and
    `size` (None: the file's own).

    The session starts at once, so a missing file raises SourceError here rather than at the
    first frame. Closing the iterator (or leaving the loop early) stops it.
    """
    owner = Feed(
        size=size,
        fps=fps,
        clip_mode=clip_mode,
        allow_missing=allow_missing,
        max_queued_frames=max_queued_frames,
    )
    try:
        owner.add_video(name, start_ms, stop_ms, crop=crop, bars_colour=bars_colour)
        playback = owner.play(video=True, audio=False)
    except BaseException:
        owner.close()
        raise
    return _Frames(owner, playback)
