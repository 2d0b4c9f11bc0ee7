"""Sources that cannot be played: raised by default, black or silence with allow_missing."""

from __future__ import annotations

import numpy as np
import pytest

import feed

CANNOT_OPEN = "The media has problem"


class TestRaisedByDefault:
    @pytest.mark.parametrize("name", ["absent", "junk", "folder"])
    def test_a_file_that_cannot_be_opened(self, clips, name):
        with feed.Feed() as f:
            with pytest.raises(feed.SourceError) as raised:
                f.add_video(clips[name], 0, 1)
            with pytest.raises(feed.SourceError):
                f.add_audio(clips[name], 0, 1)
            assert f.add_audio(clips["index"], 0, 1) == 1  # nothing was added before
        assert raised.value.message == CANNOT_OPEN
        assert raised.value.name == clips[name]
        assert raised.value.kind == "video"
        assert str(raised.value).startswith(CANNOT_OPEN)
        assert isinstance(raised.value, feed.FeedError)

    def test_a_file_without_the_stream_asked_for(self, clips):
        with feed.Feed() as f:
            with pytest.raises(feed.SourceError, match="^The media has no audio stream"):
                f.add_audio(clips["video_only"], 0, 1)
            with pytest.raises(feed.SourceError, match="^The media has no video stream"):
                f.add_video(clips["audio_only"], 0, 1)
            f.add_video(clips["video_only"], 0, 1)
            f.add_audio(clips["audio_only"], 0, 1)

    def test_a_file_whose_streams_show_only_in_its_packets(self, clips):
        # MPEG-TS names no streams in a header: the check reads packets to find them.
        with feed.Feed() as f:
            with pytest.raises(feed.SourceError, match="^The media has no audio stream"):
                f.add_audio(clips["transport_stream"], 0, 1)
        arrays = list(feed.frames(clips["transport_stream"], fps=25))
        assert 49 <= len(arrays) <= 51  # its length read from the packets' times

    def test_frames_raises_before_iterating(self, clips):
        with pytest.raises(feed.SourceError, match="^The media has problem"):
            feed.frames(clips["absent"], 0, 1)

    def test_names_that_are_not_local_files(self, clips, tmp_path):
        # The engine opens local regular files only; other protocols and devices play black.
        for name in ["http://127.0.0.1:9/clip.mp4", "concat:" + clips["index"], "/dev/zero",
                     "pipe:0", "file:" + clips["index"]]:
            with pytest.raises(feed.SourceError):
                feed.frames(name, 0, 1)

    def test_lavfi_graphs_are_checked_as_the_engine_opens_them(self):
        with feed.Feed() as f:
            f.add_video("lavfi:testsrc2=size=64x48:rate=25:duration=1", 0, 1)
            f.add_audio("lavfi:sine=frequency=440:duration=1", 0, 1)
            with pytest.raises(feed.SourceError):
                f.add_video("lavfi:not-a-filter", 0, 1)
            with pytest.raises(feed.SourceError):
                f.add_video("lavfi:sine=frequency=440:duration=1", 0, 1)  # no picture


class TestAllowed:
    def test_missing_video_plays_black_for_its_span(self, clips):
        arrays = list(feed.frames(clips["absent"], 0, 1, size=(64, 48), fps=25,
                                  allow_missing=True))
        assert len(arrays) == 25
        assert all(array.shape == (48, 64, 4) and not array.any() for array in arrays)

    def test_missing_audio_plays_silence_between_real_sources(self, clips):
        with feed.Feed(sample_rate=44100, channels=2, allow_missing=True) as f:
            first = f.add_audio(clips["audio_only"], 0, 0.5)
            silent = f.add_audio(clips["video_only"], 0, 0.5)  # no audio stream
            f.add_audio(clips["audio_only"], 0, 0.5)
            absent = f.add_audio(clips["absent"], 0, 0.5)
            samples = np.concatenate([item.array for item in f.play()])
            # The library's own account of the session, source by source.
            assert f.end_reason[0] == feed.EndReason.FINISHED
            assert f.source_outcome(first).outcome == feed.Outcome.PLAYED
            assert f.source_outcome(silent).outcome == feed.Outcome.NO_STREAM
            assert f.source_outcome(absent).outcome == feed.Outcome.NOT_OPENED
            assert f.source_outcome(absent + 1) is None
        assert len(samples) == 4 * 22050
        assert np.abs(samples[:22050]).max() > 10000
        assert not samples[22050:44100].any()
        assert np.abs(samples[44100:66150]).max() > 10000
        assert not samples[66150:].any()

    def test_per_source_switch_overrides_the_feed(self, clips):
        with feed.Feed(allow_missing=True) as f:
            with pytest.raises(feed.SourceError):
                f.add_video(clips["absent"], 0, 1, allow_missing=False)
        with feed.Feed() as f:
            f.add_video(clips["absent"], 0, 1, allow_missing=True)

    def test_a_missing_file_needs_its_times(self, clips):
        with feed.Feed(allow_missing=True) as f:
            with pytest.raises(ValueError, match="stop is needed"):
                f.add_video(clips["absent"])
