"""feed.frames(): counts, the exact frames chosen for a span and a rate, the arrays' form."""

from __future__ import annotations

import numpy as np
import pytest

import feed
from media import INDEX_FPS, INDEX_SIZE, read_index


def indices(arrays):
    return [read_index(array) for array in arrays]


class TestFrameChoice:
    def test_span_at_the_clips_own_rate_gives_its_frames_one_by_one(self, clips):
        got = indices(feed.frames(clips["index"], start_ms=1000, stop_ms=3000, fps=25))
        assert got == list(range(25, 75))

    def test_whole_file_without_times(self, clips):
        got = indices(feed.frames(clips["index"]))
        assert got == list(range(250))

    def test_lower_rate_shows_the_latest_frame_at_or_before_each_time(self, clips):
        # Output frame k at 100 k ms shows source time 2000 + 100 k: frame 50 + floor(2.5 k).
        got = indices(feed.frames(clips["index"], start_ms=2000, stop_ms=4000, fps=10))
        assert got == [50 + (5 * k) // 2 for k in range(20)]

    def test_higher_rate_repeats_frames(self, clips):
        got = indices(feed.frames(clips["index"], start_ms=1000, stop_ms=2000, fps=50))
        assert got == [25 + k // 2 for k in range(50)]

    def test_span_past_the_end_is_black(self, clips):
        arrays = list(feed.frames(clips["index"], start_ms=9000, stop_ms=11000, fps=25))
        assert len(arrays) == 50
        assert indices(arrays[:25]) == list(range(225, 250))
        assert all(not array.any() for array in arrays[25:])

    def test_contiguous_spans_advance_by_one_frame_through_the_join(self, clips):
        with feed.Feed(fps=25) as f:
            f.add_video(clips["index"], 0, 1)
            f.add_video(clips["index"], 1, 2)
            got = indices(item.array for item in f.play())
        assert got == list(range(50))

    def test_spans_out_of_file_order(self, clips):
        with feed.Feed(fps=25) as f:
            f.add_video(clips["index"], 5, 6)
            f.add_video(clips["index"], 0, 1)
            got = indices(item.array for item in f.play())
        assert got == list(range(125, 150)) + list(range(25))


class TestArrays:
    def test_shape_dtype_and_pixel_layout(self, clips):
        arrays = list(feed.frames(clips["index"], 0, 0.4, size=(320, 240), fps=25))
        assert len(arrays) == 10
        for array in arrays:
            assert array.shape == (240, 320, 4)
            assert array.dtype == np.uint8
            assert array.flags.c_contiguous
            assert not array[..., 3].any()  # the fourth byte is 0
        assert indices(arrays) == list(range(10))

    def test_size_defaults_to_the_clips_own(self, clips):
        first = next(iter(feed.frames(clips["index"], 0, 0.4)))
        assert first.shape == (INDEX_SIZE[1], INDEX_SIZE[0], 4)

    def test_kept_arrays_are_not_reused(self, clips):
        # Each array owns its memory: keeping all of them (more than the queue holds) leaves
        # every one showing its own frame.
        arrays = list(feed.frames(clips["index"], 0, 2, fps=25, max_queued_frames=2))
        assert indices(arrays) == list(range(50))
        for array in arrays:
            assert array.flags.writeable
            # A view of the block the callback copied into (held by a capsule): no second copy.
            assert type(array.base).__name__ == "PyCapsule"

    def test_positions_are_on_the_frame_grid(self, clips):
        with feed.Feed(fps=INDEX_FPS) as f:
            f.add_video(clips["index"], 3, 4)
            positions = [item.position_ms for item in f.play()]
        assert positions == [k * 40 for k in range(25)]

    def test_lavfi_source(self):
        arrays = list(feed.frames("lavfi:testsrc2=size=64x48:rate=25:duration=1", 0, 1))
        assert len(arrays) == 25
        assert arrays[0].shape == (48, 64, 4)
        assert arrays[5].any()

    @pytest.mark.parametrize("queued", [1, 3, 16])
    def test_any_queue_bound_delivers_everything_in_order(self, clips, queued):
        got = indices(feed.frames(clips["index"], 0, 2, max_queued_frames=queued))
        assert got == list(range(50))
