"""Decoded video frames and audio buffers from a list of media files, as numpy arrays.

What a file holds, and any frame or sample of it::

    import feed
    info = feed.probe("clip.mp4")               # container, streams, rates, frame counts
    video = feed.VideoReader("clip.mp4", size=(224, 224), format="rgb24")
    first, last = video[0], video[-1]           # (224, 224, 3) uint8
    batch = video.get_frames_at([0, 30, 60])    # (3, 224, 224, 3), one forward pass
    shown = video.get_frames_played_at([1.5])   # the frame shown at 1.5 s
    sound = feed.AudioReader("clip.mp4", sample_rate=16000, channels=1).read(1.0, 2.0)

One file's frames at a frame rate, as the feed plays them::

    for frame in feed.frames("clip.mp4", start=1.0, stop=3.0, size=(640, 360), fps=25):
        ...  # (360, 640, 4) uint8, bytes B, G, R, 0 per pixel

The whole feed: video sources strung onto one timeline, audio sources onto another, the
shorter padded so both end together, with fades::

    with feed.Feed(size=(640, 360), fps=25, sample_rate=44100, channels=2) as f:
        f.add_video("a.mp4", 0, 20)               # seconds inside the file
        f.add_audio("music.mp3", 0, 15)
        f.video_fade(fade_in=1, fade_out=1, colour=0x000000)
        for item in f.play():
            if isinstance(item, feed.VideoFrame):
                ...  # item.array: (height, width, 4) uint8; item.position_ms
            else:
                ...  # item.array: (sample frames, channels) int16; item.position_ms

Items arrive in the order the library delivers them, frames and buffers interleaved, each in
timeline order. The library decodes on threads of its own into a bounded queue; when the loop
body is slow the library waits, so nothing is dropped and memory stays bounded. Each array owns
its memory (it is not reused behind your back) and may be kept.

Times are seconds as floats; the *_ms keywords of earlier versions (start_ms=1000) are still
taken. Leaving the loop early, an exception in it, Ctrl-C, or the iterator being collected
stops the session. A source file that cannot be opened, or lacks the stream it is added for,
raises SourceError (a missing file also FileNotFoundError), unless the feed or the add says
allow_missing=True: it then plays as black frames or silence for its span, as the library
does. A span that reaches past the end of its file warns (FeedWarning). Refusals raise
FeedError with the library's own message; sizes, rates and channel counts the library would
take but never play raise ValueError naming the range. After a session, Feed.end_reason says
why it ended and Feed.source_outcome(id) what became of each source, as the library found it.

The package is fork-safe (a forked child forgets the feeds and readers it inherited; readers
open their file again there) and readers pickle, so a multiprocessing pool or a PyTorch
DataLoader with workers can read one file's frames in parallel.
"""

from __future__ import annotations

import atexit
import enum
import errno
import operator
import os
import sys
import warnings
import weakref
from typing import Dict, NamedTuple, Optional, Sequence, Tuple, Union, cast

import numpy as np
import numpy.typing as npt

from . import _feed, _reader
from ._feed import AudioBuffer, FeedError, VideoFrame
from ._reader import (
    AudioReader,
    FeedWarning,
    MediaError,
    MediaInfo,
    PathName,
    StreamInfo,
    VideoReader,
    probe,
)

__version__: str = _feed.__version__

__all__ = [
    "AudioBuffer",
    "AudioReader",
    "ClipMode",
    "EndReason",
    "Feed",
    "FeedError",
    "FeedWarning",
    "MediaError",
    "MediaInfo",
    "Outcome",
    "Playback",
    "SourceError",
    "SourceNotFoundError",
    "SourceOutcome",
    "State",
    "StreamInfo",
    "VideoFrame",
    "VideoReader",
    "frames",
    "probe",
]

_INT32_MIN = -(2**31)
_INT32_MAX = 2**31 - 1

# The library's messages for a source it cannot play (it plays such a source as black or
# silence and reports nothing, so the module raises them itself).
_CANNOT_OPEN_TEXT = "The media has problem"
_NO_STREAM_TEXT = {"video": "The media has no video stream", "audio": "The media has no audio stream"}
# The library's message for times out of order, which its adds refuse without a report.
_BAD_TIMES_TEXT = "Start time or Stop time invalid"

# What the check of a source finds.
_PLAYS, _CANNOT_OPEN, _NO_STREAM, _NOT_FOUND = 0, 1, 2, 3

# What the engine plays, beyond which the library takes a format without a word and then plays
# nothing.
_MAX_SIDE = 16384
_MAX_FPS = 1000
_MAX_SAMPLE_RATE = 768000


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


class EndReason(enum.IntEnum):
    """Why a feed's last session ended, as Feed.end_reason gives it."""

    NONE = 0  # none has ended since the last play(), or ever
    FINISHED = 1  # both timelines reached their end
    STOPPED = 2  # stopped, closed, or its iterator left early
    NOT_BUILT = 3  # it could not be built (the message says why): nothing was delivered
    ENGINE_FAILED = 4  # the engine failed while it played


class Outcome(enum.IntEnum):
    """What a session made of one source (SourceOutcome.outcome)."""

    NOT_REACHED = 0  # the session ended, or could not be built, before it
    PLAYED = 1  # opened, its stream found, its span within the stream
    CUT_AT_END = 2  # its span runs past the end of its stream: black or silence after it
    NOT_OPENED = 3  # the file could not be opened: black or silence for its whole span
    NO_STREAM = 4  # no stream of the source's kind: black or silence for its whole span


class SourceOutcome(NamedTuple):
    """What the last session made of one source, as the library found it."""

    outcome: Outcome
    stream_length: Optional[float]  # seconds, as the file gives it; None when unknown
    message: str  # one line of English; "" when it played as asked


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


class SourceNotFoundError(FileNotFoundError, SourceError):
    """A source whose file does not exist: a SourceError and a FileNotFoundError (errno ENOENT,
    filename the name as given)."""

    def __init__(self, message: str, name: PathName, kind: str) -> None:
        FileNotFoundError.__init__(self, errno.ENOENT, message, os.fsdecode(name))
        self.message = message
        self.name = name
        self.kind = kind

    def __str__(self) -> str:
        return f"{self.message}: {os.fsdecode(self.name)!r}"


def _ms(value: int, what: str) -> int:
    """A time in milliseconds as the C interface takes it (a 32-bit integer)."""
    value = operator.index(value)
    if not _INT32_MIN <= value <= _INT32_MAX:
        raise ValueError(f"{what} must fit in 32 bits, not {value}")
    return value


def _time_ms(value: Optional[float], ms: Optional[int], what: str) -> Optional[int]:
    """A time given in seconds (`what`) or milliseconds (`what`_ms), in milliseconds for the C
    interface (to the nearest); None when neither is given."""
    if ms is not None:
        if value is not None:
            raise TypeError(f"give {what} or {what}_ms, not both")
        return _ms(ms, f"{what}_ms")
    if value is None:
        return None
    milliseconds = round(_reader.seconds(value, what) * 1000)
    if not _INT32_MIN <= milliseconds <= _INT32_MAX:
        raise ValueError(f"{what} must lie within {_INT32_MAX // 1000} s of 0, not {value}")
    return milliseconds


def _in_range(value: int, least: Optional[int], most: int, what: str, unit: str) -> int:
    """A value the library would take but the engine never plays, refused here, naming the
    range (least None: the library refuses what is too small itself, in its own words)."""
    if least is None and value > most:
        raise ValueError(f"{what} must be {most}{unit} or less, not {value}")
    if least is not None and not least <= value <= most:
        raise ValueError(f"{what} must be {least} to {most}{unit}, not {value}")
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


def _check_source(name: PathName, kind: str) -> Tuple[int, int]:
    """(status, length in ms or -1) of a source, opened by the library's reader as the engine
    opens it: the library plays a source it cannot open as black or silence without a word."""
    try:
        core = _feed.Reader(_name_bytes(name))
    except _feed.ReaderFailure as failure:
        code = failure.args[0]
        if code == _reader._NO_READER:
            return _PLAYS, -1  # an engine that cannot tell: taken as it is
        return (_NOT_FOUND if code == _reader._NOT_FOUND else _CANNOT_OPEN), -1
    try:
        media = core.media_info()
        stream = media[f"{kind}_stream"]
        if stream is None:
            return _NO_STREAM, -1
        length = core.stream_info(stream, False)["duration"]
        if length is None:
            length = media["duration"]
        return _PLAYS, -1 if length is None else round(length * 1000)
    finally:
        core.close()


# Feeds still open, closed at exit so that no engine thread runs while the interpreter ends.
_open_feeds: "weakref.WeakSet[Feed]" = weakref.WeakSet()


@atexit.register
def _close_open_feeds() -> None:
    for open_feed in list(_open_feeds):
        open_feed.close()


def _forget_inherited() -> None:
    """In a forked child: the feeds and readers inherited from the parent are let go of without
    being freed (the engine's threads, and any waits on their locks, stayed in the parent, so
    freeing them would wait for ever); the child's feeds read as closed, its readers open
    their files again when next used."""
    for inherited in list(_open_feeds):
        inherited._core.abandon()
    _open_feeds.clear()
    _reader.forget_inherited_readers()


if hasattr(os, "register_at_fork"):
    os.register_at_fork(after_in_child=_forget_inherited)


class _ClosedWhenCollected(_reader._ClosedByWith):
    """Leaving a `with` block or being collected closes the object; not while the interpreter
    ends, when the GIL must not be let go (the feed's own teardown stops the session then)."""

    def __del__(self) -> None:
        if not sys.is_finalizing():
            self.close()


class Feed(_reader._ClosedByWith):
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
        start: Optional[float] = None,
        stop: Optional[float] = None,
        *,
        start_ms: Optional[int] = None,
        stop_ms: Optional[int] = None,
        crop: Optional[Sequence[int]] = None,
        bars_colour: int = 0x000000,
        allow_missing: Optional[bool] = None,
    ) -> int:
        """Adds `name` from `start` to `stop` seconds (inside the file) at the end of the video
        timeline; returns the source's id.

        name: a local media file, or a "lavfi:" graph such as
        "lavfi:testsrc2=size=640x360:rate=25:duration=5". start None: 0; stop None: the end of
        the file's video (a lavfi: graph needs it given); start_ms and stop_ms take
        milliseconds instead. crop: (left, top, right, bottom) in source pixels, applied before
        scaling. bars_colour: 0xRRGGBB of the bars in ClipMode.FIT. Raises SourceError when the
        file cannot be opened or has no video (SourceNotFoundError, a FileNotFoundError too,
        when it does not exist), unless missing sources are allowed; FeedError when the
        library refuses. Warns (FeedWarning) when the span reaches outside the file's video.
        """
        crop_rect = None
        if crop is not None:
            crop_rect = [_ms(value, "crop") for value in crop]
            if len(crop_rect) != 4:
                raise ValueError("crop is (left, top, right, bottom)")
        start_at, stop_at = self._checked_span(
            name, "video", _time_ms(start, start_ms, "start"), _time_ms(stop, stop_ms, "stop"),
            allow_missing,
        )
        source_id = self._core.add_video(
            _name_bytes(name), start_at, stop_at, crop_rect, _colour(bars_colour, "bars_colour")
        )
        self._sources[source_id] = ("video", start_at, stop_at)
        return source_id

    def add_audio(
        self,
        name: PathName,
        start: Optional[float] = None,
        stop: Optional[float] = None,
        *,
        start_ms: Optional[int] = None,
        stop_ms: Optional[int] = None,
        allow_missing: Optional[bool] = None,
    ) -> int:
        """Adds `name` from `start` to `stop` seconds (inside the file) at the end of the audio
        timeline; returns the source's id. As add_video, for the file's audio."""
        start_at, stop_at = self._checked_span(
            name, "audio", _time_ms(start, start_ms, "start"), _time_ms(stop, stop_ms, "stop"),
            allow_missing,
        )
        source_id = self._core.add_audio(_name_bytes(name), start_at, stop_at)
        self._sources[source_id] = ("audio", start_at, stop_at)
        return source_id

    def _checked_span(
        self,
        name: PathName,
        kind: str,
        start: Optional[int],
        stop: Optional[int],
        allow_missing: Optional[bool],
    ) -> Tuple[int, int]:
        """(start, stop) in ms of a source's span, its file checked; stop None: the end."""
        start = 0 if start is None else start
        if stop is not None and stop < start:
            raise FeedError(_BAD_TIMES_TEXT)
        missing_ok = self.allow_missing if allow_missing is None else bool(allow_missing)
        status, length_ms = _check_source(name, kind)
        if status != _PLAYS and not missing_ok:
            if status == _NOT_FOUND:
                raise SourceNotFoundError(_CANNOT_OPEN_TEXT, name, kind)
            text = _NO_STREAM_TEXT[kind] if status == _NO_STREAM else _CANNOT_OPEN_TEXT
            raise SourceError(text, name, kind)
        if stop is None:
            if length_ms < 0:
                raise ValueError(f"stop is needed: the length of {os.fsdecode(name)!r} is not known")
            stop = length_ms
            if stop < start:
                raise FeedError(_BAD_TIMES_TEXT)
        elif status == _PLAYS and length_ms >= 0 and (stop > length_ms or start < 0):
            warnings.warn(
                FeedWarning(
                    f"{os.fsdecode(name)!r}: the span {start / 1000} s to {stop / 1000} s reaches "
                    f"outside its {kind} (0 s to {length_ms / 1000} s); that part plays "
                    f"{'black' if kind == 'video' else 'silent'}"
                ),
                stacklevel=3,
            )
        return start, stop

    def remove_source(self, source_id: int) -> None:
        """Removes one source; its id is not handed out again."""
        self._core.remove_source(source_id)
        self._sources.pop(source_id, None)

    def clear_sources(self) -> None:
        """Removes every source; the next add gets id 1 again."""
        self._core.clear_sources()
        self._sources.clear()

    def set_source_times(
        self,
        source_id: int,
        start: Optional[float] = None,
        stop: Optional[float] = None,
        *,
        start_ms: Optional[int] = None,
        stop_ms: Optional[int] = None,
    ) -> None:
        """Changes a source's span inside its file: seconds, or start_ms and stop_ms."""
        start_at = _time_ms(start, start_ms, "start")
        stop_at = _time_ms(stop, stop_ms, "stop")
        if start_at is None or stop_at is None:
            raise TypeError("set_source_times needs a start and a stop")
        self._core.set_source_times(source_id, start_at, stop_at)
        kind = self._sources.get(source_id, ("video", 0, 0))[0]
        self._sources[source_id] = (kind, start_at, stop_at)

    def source_times(self, source_id: int) -> Tuple[float, float]:
        """A source's (start, stop) in seconds, possibly 1 ms nearer to zero than set."""
        start, stop = self.source_times_ms(source_id)
        return start / 1000, stop / 1000

    def source_times_ms(self, source_id: int) -> Tuple[int, int]:
        """A source's (start, stop) in ms, as the library keeps them."""
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
            self._core.set_video_size(
                _in_range(_ms(width, "width"), None, _MAX_SIDE, "width", " pixels"),
                _in_range(_ms(height, "height"), None, _MAX_SIDE, "height", " pixels"),
            )
        if fps is not None:
            if float(fps) > _MAX_FPS:
                raise ValueError(f"fps must be 0 to {_MAX_FPS} (0: the first clip's own), not {fps}")
            self._core.set_frame_rate(float(fps))
        if sample_rate is not None:
            self._core.set_sample_rate(
                _in_range(
                    _ms(sample_rate, "sample_rate"), 0, _MAX_SAMPLE_RATE, "sample_rate",
                    " Hz (0: the first clip's own)",
                )
            )
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
        fade_in: Optional[float] = None,
        fade_out: Optional[float] = None,
        colour: int = 0x000000,
        *,
        fade_in_ms: Optional[int] = None,
        fade_out_ms: Optional[int] = None,
        fade_in_colour: Optional[int] = None,
        fade_out_colour: Optional[int] = None,
    ) -> None:
        """Fades the video in from `colour` over the first fade_in seconds of the timeline and
        out to it over the last fade_out seconds (or fade_in_ms and fade_out_ms); 0 or None
        switches that fade off. Colours are 0xRRGGBB; fade_in_colour and fade_out_colour set
        them apart. From the next frame, at any time."""
        fade_in_at = _time_ms(fade_in, fade_in_ms, "fade_in") or 0
        fade_out_at = _time_ms(fade_out, fade_out_ms, "fade_out") or 0
        if fade_in_at < 0 or fade_out_at < 0:
            raise ValueError("fade lengths are 0 or more")
        in_colour = _colour(colour if fade_in_colour is None else fade_in_colour, "fade_in_colour")
        out_colour = _colour(
            colour if fade_out_colour is None else fade_out_colour, "fade_out_colour"
        )
        self._core.set_video_fade(
            fade_in_at > 0, fade_in_at, in_colour, fade_out_at > 0, fade_out_at, out_colour
        )

    def audio_fade(
        self,
        fade_in: Optional[float] = None,
        fade_out: Optional[float] = None,
        *,
        fade_in_ms: Optional[int] = None,
        fade_out_ms: Optional[int] = None,
    ) -> None:
        """Fades the audio in over the first fade_in seconds of the timeline and out over the
        last fade_out seconds (or fade_in_ms and fade_out_ms); 0 or None switches that fade
        off. From the next buffer, at any time."""
        fade_in_at = _time_ms(fade_in, fade_in_ms, "fade_in") or 0
        fade_out_at = _time_ms(fade_out, fade_out_ms, "fade_out") or 0
        if fade_in_at < 0 or fade_out_at < 0:
            raise ValueError("fade lengths are 0 or more")
        self._core.set_audio_fade(fade_in_at > 0, fade_in_at, fade_out_at > 0, fade_out_at)

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
        return Playback(self, session)

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
    def duration(self) -> Optional[float]:
        """The running session's length in seconds; None while idle or while it is being
        built."""
        duration = self.duration_ms
        return None if duration is None else duration / 1000

    @property
    def position(self) -> Tuple[Optional[float], Optional[float]]:
        """(video, audio): times in seconds of the last delivered frame and buffer; None while
        idle."""
        return tuple(None if ms is None else ms / 1000 for ms in self.position_ms)  # type: ignore

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

    @property
    def end_reason(self) -> Tuple[EndReason, str]:
        """(why the last session ended, the library's line about it: what could not be built,
        what failed, or the first source that did not play as asked; "" when nothing to add).
        EndReason.NONE while a session runs."""
        reason, message = self._core.end_reason()
        return EndReason(reason), message

    def source_outcome(self, source_id: int) -> Optional[SourceOutcome]:
        """What the last (or the running) session made of a source; None when that session
        did not have it (added, removed or cleared since)."""
        found = self._core.source_outcome(source_id)
        if found is None:
            return None
        outcome, length_ms, message = found
        return SourceOutcome(Outcome(outcome), None if length_ms < 0 else length_ms / 1000, message)

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

    def __repr__(self) -> str:
        if self.closed:
            return "<feed.Feed closed>"
        return f"<feed.Feed {self.state.name.lower()}, {len(self._sources)} sources>"


class Playback(_ClosedWhenCollected):
    """The iterator of one session's VideoFrame and AudioBuffer items (see Feed.play).

    Closing it (close(), leaving a `with` block, or its being collected) before the end stops
    the session. Waiting for the next item releases the GIL and still answers Ctrl-C.
    """

    def __init__(self, owner: Feed, session: int) -> None:
        self._feed = owner
        self._core = owner._core
        self._session = session
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
        # A session the library could not build (an output format the engine refuses, say)
        # goes back to idle without a report, and one the engine gave up on ends early: an
        # iteration that ends either way must not pass for a success.
        if self._feed._stopped_session == self._session or self._core.closed:
            return
        reason, message = self._feed.end_reason
        if reason == EndReason.NOT_BUILT:
            raise FeedError(
                "the session ended without delivering anything: the library could not build "
                f"it: {message}"
            )
        if reason == EndReason.ENGINE_FAILED:
            raise FeedError(f"the session ended before its end: {message}")

    def close(self) -> None:
        """Stops the session if it is still running. Idempotent."""
        if self._done:
            return
        self._done = True
        if not self._core.closed:
            self._feed._stopped_session = self._session
            self._core.stop(self._session)


class _Frames(_ClosedWhenCollected):
    """The iterator frames() returns: the arrays of one video source; owns its feed."""

    def __init__(self, owner: Feed, playback: Playback) -> None:
        self._feed = owner
        self._playback = playback

    def __iter__(self) -> "_Frames":
        return self

    def __next__(self) -> npt.NDArray[np.uint8]:
        try:
            # Its session plays video alone: every item is a frame.
            return cast(VideoFrame, self._playback.__next__()).array
        except BaseException:
            self.close()
            raise

    def close(self) -> None:
        self._playback.close()
        self._feed.close()


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
) -> _Frames:
    """The frames of one file from `start` to `stop` seconds (None: its start and its end;
    start_ms and stop_ms take milliseconds), as (height, width, 4) uint8 arrays, bytes B, G, R,
    0 per pixel, one per frame at `fps` (0: the file's own) and `size` (None: the file's own),
    as the feed plays them. For frames by index or by their own times, see VideoReader.

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
        owner.add_video(
            name, start, stop, start_ms=start_ms, stop_ms=stop_ms, crop=crop,
            bars_colour=bars_colour,
        )
        playback = owner.play(video=True, audio=False)
    except BaseException:
        owner.close()
        raise
    return _Frames(owner, playback)
