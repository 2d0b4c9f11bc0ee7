"""feed.Feed: both timelines, audio samples, fades, session control and the library's refusals."""

from __future__ import annotations

import threading
import time

import numpy as np
import pytest

import feed
from media import SAMPLE_RATE, ramp, read_index


def split(items):
    frames = [item for item in items if isinstance(item, feed.VideoFrame)]
    buffers = [item for item in items if isinstance(item, feed.AudioBuffer)]
    assert len(frames) + len(buffers) == len(items)
    return frames, buffers


def samples_of(buffers):
    return np.concatenate([buffer.array for buffer in buffers])


class TestCounts:
    def test_shorter_video_is_padded_to_the_audio(self, clips):
        with feed.Feed(size=(160, 120), fps=25, sample_rate=44100, channels=2) as f:
            f.add_video(clips["index"], 0, 2)
            f.add_audio(clips["index"], 0, 3)
            frames, buffers = split(list(f.play()))
        assert len(frames) == 75
        assert [read_index(frame.array) for frame in frames[:50]] == list(range(50))
        assert all(not frame.array.any() for frame in frames[50:])
        assert sum(len(buffer.array) for buffer in buffers) == 3 * 44100
        assert {len(buffer.array) for buffer in buffers} == {441}  # 10 ms each
        assert [buffer.position_ms for buffer in buffers] == [10 * k for k in range(300)]

    def test_audio_buffers_shape_and_dtype(self, clips):
        with feed.Feed(sample_rate=22050, channels=1) as f:
            f.add_audio(clips["audio_only"], 0, 1)
            _, buffers = split(list(f.play()))
        assert sum(len(buffer.array) for buffer in buffers) == 22050
        for buffer in buffers:
            assert buffer.array.dtype == np.dtype("<i2")
            assert buffer.array.shape[1] == 1
            assert buffer.sample_rate == 22050

    def test_play_only_one_kind(self, clips):
        with feed.Feed(fps=25) as f:
            f.add_video(clips["index"], 0, 1)
            f.add_audio(clips["index"], 0, 1)
            frames, buffers = split(list(f.play(audio=False)))
            assert (len(frames), len(buffers)) == (25, 0)
            frames, buffers = split(list(f.play(video=False)))
            assert (len(frames), len(buffers)) == (0, 100)

    def test_a_feed_plays_again(self, clips):
        with feed.Feed(fps=25) as f:
            f.add_video(clips["index"], 0, 0.4)
            first = [read_index(item.array) for item in f.play()]
            f.set_source_times(1, 0.4, 0.8)
            second = [read_index(item.array) for item in f.play()]
        assert first == list(range(10))
        assert second == list(range(10, 20))


class TestAudioSamples:
    def test_span_starts_on_its_sample_and_counts_through_a_join(self, clips):
        with feed.Feed(sample_rate=SAMPLE_RATE, channels=2) as f:
            f.add_audio(clips["ramp"], 1, 2)
            f.add_audio(clips["ramp"], 2, 3)
            _, buffers = split(list(f.play()))
        np.testing.assert_array_equal(samples_of(buffers), ramp(SAMPLE_RATE, 2 * SAMPLE_RATE))


def blend(picture: np.ndarray, colour: int, level: int) -> np.ndarray:
    """The library's fade mix of a B G R 0 frame with colour 0xRRGGBB at level 0..255."""
    colour_bytes = np.array(
        [colour & 0xFF, colour >> 8 & 0xFF, colour >> 16 & 0xFF, 0], np.int64
    )
    source = picture.astype(np.int64)
    return ((level * source) // 255 + ((255 - level) * colour_bytes) // 255).astype(np.uint8)


def run(clips, fade_in=0, fade_out=0, colour=0, audio_in=0, audio_out=0):
    with feed.Feed(size=(160, 120), fps=25, sample_rate=SAMPLE_RATE, channels=2) as f:
        f.add_video(clips["index"], 0, 2)
        f.add_audio(clips["index"], 0, 2)
        f.video_fade(fade_in_ms=fade_in, fade_out_ms=fade_out, colour=colour)
        f.audio_fade(fade_in_ms=audio_in, fade_out_ms=audio_out)
        durations = set()
        items = []
        for item in f.play():
            items.append(item)
            durations.add(f.duration_ms)
    assert len(durations) == 1
    return split(items), durations.pop()


class TestFades:
    def test_video_fades_mix_the_colour_in_by_position(self, clips):
        (plain, _), _ = run(clips)
        (faded, _), duration = run(clips, fade_in=1000, fade_out=600, colour=0x0000FF)
        assert len(plain) == len(faded) == 50
        assert duration in (1999, 2000)
        first = faded[0].array
        assert (first[..., 0] == 0xFF).all() and not first[..., 1:].any()  # all colour
        for before, after in zip(plain, faded):
            position = after.position_ms
            if position < 1000:
                level = position * 256 // 1000
            elif position >= duration - 600:
                level = min((duration - position) * 256 // 600, 255)
            else:
                np.testing.assert_array_equal(after.array, before.array)
                continue
            np.testing.assert_array_equal(after.array, blend(before.array, 0x0000FF, level))

    def test_audio_fades_scale_by_position(self, clips):
        (_, plain), _ = run(clips)
        (_, faded), duration = run(clips, audio_in=1000, audio_out=500)
        assert [b.position_ms for b in plain] == [b.position_ms for b in faded]
        for before, after in zip(plain, faded):
            position = after.position_ms
            if position < 1000:
                gain = (position + 1) / 1000
            elif position > duration - 500:
                gain = (duration - position + 1) / 500
            else:
                np.testing.assert_array_equal(after.array, before.array)
                continue
            expected = np.trunc(before.array.astype(np.float64) * gain).astype(np.int16)
            np.testing.assert_array_equal(after.array, expected)


class TestSessionControl:
    def test_state_duration_and_positions(self, clips):
        with feed.Feed(fps=25) as f:
            assert f.state is feed.State.IDLE
            assert f.duration_ms is None
            assert f.position_ms == (None, None)
            f.add_video(clips["index"], 0, 2)
            f.add_audio(clips["index"], 0, 2)
            seen = []
            for item in f.play():
                if isinstance(item, feed.VideoFrame) and item.position_ms == 1000:
                    seen.append((f.state, f.duration_ms, f.position_ms))
            assert f.state is feed.State.IDLE
        state, duration, (video_ms, audio_ms) = seen[0]
        assert state is feed.State.RUNNING
        assert duration in (1999, 2000)
        assert video_ms >= 1000 and audio_ms is not None

    def test_pause_holds_delivery_and_resume_goes_on(self, clips):
        with feed.Feed(fps=25, max_queued_frames=2) as f:
            f.add_video(clips["index"], 0, 4)
            playback = f.play()
            got = [read_index(next(playback).array) for _ in range(5)]
            f.pause()
            assert f.state is feed.State.PAUSED
            # What was queued still comes out; then nothing until resumed.
            held = []
            waiter = threading.Thread(target=lambda: held.extend(playback))
            waiter.start()
            time.sleep(0.5)
            count_while_paused = len(held)
            assert count_while_paused <= 3  # the two queued, and one callback that waited for room
            f.resume()
            waiter.join(10)
            assert not waiter.is_alive()
        got += [read_index(item.array) for item in held]
        assert got == list(range(100))

    def test_stop_from_another_thread_ends_the_loop(self, clips):
        with feed.Feed(fps=25) as f:
            f.add_video("lavfi:testsrc2=size=64x48:rate=25:duration=600", 0, 600)
            count = 0
            timer = threading.Timer(0.3, f.stop)
            timer.start()
            for _ in f.play():
                count += 1
            timer.join()
            assert f.state is feed.State.IDLE
        assert 0 < count < 15000

    def test_a_new_session_ends_the_last_ones_iterator(self, clips):
        with feed.Feed(fps=25, max_queued_frames=8) as f:
            f.add_video(clips["index"], 0, 0.2)
            first = f.play()
            # The session ends by itself with its five frames queued, none taken.
            deadline = time.monotonic() + 5
            while f.state is not feed.State.IDLE and time.monotonic() < deadline:
                time.sleep(0.01)
            second = f.play()
            assert list(first) == []
            assert [read_index(item.array) for item in second] == list(range(5))

    def test_stop_and_resume_when_idle(self, clips):
        with feed.Feed() as f:
            assert f.stop() is False
            with pytest.raises(feed.FeedError, match="no session is paused"):
                f.resume()
            with pytest.raises(
                feed.FeedError, match="^Can not perform the operation when the object in current context$"
            ):
                f.pause()


class TestRefusals:
    def test_no_sources(self):
        with feed.Feed() as f, pytest.raises(feed.FeedError, match="^No inut file$"):
            f.play()

    def test_busy(self, clips):
        with feed.Feed() as f:
            f.add_video(clips["index"], 0, 5)
            playback = f.play()
            next(playback)
            with pytest.raises(feed.FeedError, match="already running"):
                f.play()
            with pytest.raises(
                feed.FeedError, match="^Can not perform the operation when the object in current context$"
            ):
                f.add_video(clips["index"], 0, 1)
            with pytest.raises(feed.FeedError, match="^Can not perform"):
                f.set_format(size=(320, 240))
            playback.close()
            assert f.state is feed.State.IDLE

    def test_bad_values(self, clips):
        with feed.Feed() as f:
            with pytest.raises(feed.FeedError, match="^Bad video width$"):
                f.set_format(size=(0, 240))
            with pytest.raises(feed.FeedError, match="^Bad video height$"):
                f.set_format(size=(320, -1))
            with pytest.raises(feed.FeedError, match="^Bad audio channel$"):
                f.set_format(channels=0)
            with pytest.raises(feed.FeedError, match="^Audio channels exeed 3 not supported yet$"):
                f.set_format(channels=3)
            with pytest.raises(feed.FeedError, match="frame rate"):
                f.set_format(fps=-1)
            with pytest.raises(feed.FeedError, match="^Start time or Stop time invalid$"):
                f.add_video(clips["index"], 2, 1)
            source = f.add_video(clips["index"], 0, 1)
            with pytest.raises(feed.FeedError, match="^Start time or Stop time invalid$"):
                f.set_source_times(source, 2, 1)
            with pytest.raises(feed.FeedError, match="^Source index invalid$"):
                f.remove_source(source + 1)
            with pytest.raises(ValueError):
                f.add_video(clips["index"], 0, 2**31)
            with pytest.raises(ValueError):
                f.video_fade(1, colour=0x1000000)
            with pytest.raises(ValueError):
                f.set_clip_mode("sideways")

    def test_source_ids_and_times(self, clips):
        with feed.Feed() as f:
            first = f.add_video(clips["index"], 0, 1)
            second = f.add_audio(clips["index"], 0.5, 1.5)
            assert (first, second) == (1, 2)
            assert f.source_times(second) == (0.5, 1.5)
            assert f.source_times_ms(second) == (500, 1500)
            f.remove_source(first)
            assert f.add_video(clips["index"], 0, 1) == 3
            f.clear_sources()
            assert f.add_video(clips["index"], 0, 1) == 1

    def test_formats_the_engine_never_plays_are_refused_at_the_call(self):
        # The library takes these without a word, and its sessions then deliver nothing.
        for format, named in [
            (dict(size=(100000, 100000)), "width must be 16384 pixels or less, not 100000"),
            (dict(size=(320, 20000)), "height must be 16384 pixels or less"),
            (dict(fps=5000), "fps must be 0 to 1000"),
            (dict(sample_rate=-5), "sample_rate must be 0 to 768000 Hz"),
            (dict(sample_rate=10**6), "sample_rate must be 0 to 768000 Hz"),
        ]:
            with pytest.raises(ValueError, match=named):
                feed.Feed(**format)

    def test_a_session_the_engine_cannot_build_is_an_error(self, clips):
        # The engine refuses frame rates above 1000; the library then goes back to idle
        # without a word, which must not pass for an empty session. (The package refuses such
        # a rate itself; this goes round it to the library.)
        with feed.Feed() as f:
            f._core.set_frame_rate(5000.0)
            f.add_video(clips["index"], 0, 1)
            with pytest.raises(feed.FeedError, match="without delivering anything") as raised:
                list(f.play())
            assert "5000" in str(raised.value)  # the library's reason names the rate
            assert f.end_reason[0] == feed.EndReason.NOT_BUILT

    def test_closed_feed(self):
        f = feed.Feed()
        f.close()
        f.close()
        assert f.closed
        with pytest.raises(ValueError, match="closed"):
            f.add_video("lavfi:testsrc2", 0, 1)
