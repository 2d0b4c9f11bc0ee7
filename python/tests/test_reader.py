"""feed.probe, VideoReader and AudioReader: frame i is the file's frame i in the codecs and
containers that make frame choice hard, metadata as ffprobe reads it, formats and layouts,
sample-exact audio ranges, errors at the call, pickling and processes."""

from __future__ import annotations

import fractions
import json
import multiprocessing
import pickle
import random
import subprocess
import warnings

import numpy as np
import pytest

import feed
from media import (CODED, CODED_FRAMES, INDEX_SIZE, SAMPLE_RATE, make_coded, ramp, read_index,
                   write)


@pytest.fixture(scope="module")
def coded(tmp_path_factory):
    folder = tmp_path_factory.mktemp("coded")
    paths = {}
    for name in CODED:
        paths[name] = str(folder / name)
        make_coded(paths[name])
    return paths


def ffprobe(path: str) -> dict:
    """What ffprobe says of the first video stream: its fields, every frame's time as decoded
    (best_effort_timestamp_time), and the container's start."""
    def run(*entries):
        out = subprocess.run(
            ["ffprobe", "-v", "error", "-of", "json", "-select_streams", "v:0", *entries, path],
            check=True, capture_output=True, text=True,
        ).stdout
        return json.loads(out)

    stream = run("-count_frames", "-show_entries",
                 "stream=codec_name,width,height,avg_frame_rate,nb_frames,nb_read_frames,"
                 "duration,start_time")["streams"][0]
    frames = run("-show_entries", "frame=best_effort_timestamp_time")["frames"]
    start = float(run("-show_entries", "format=start_time")["format"]["start_time"])
    stream["times"] = [float(frame.get("best_effort_timestamp_time", "nan")) - max(start, 0.0)
                       for frame in frames]
    return stream


@pytest.mark.parametrize("name", sorted(CODED))
def test_frame_i_is_the_files_frame_i_and_metadata_is_ffprobes(coded, name):
    path = coded[name]
    truth = ffprobe(path)
    reader = feed.VideoReader(path)
    assert len(reader) == int(truth["nb_read_frames"]) == CODED_FRAMES

    # Metadata: the container's figures as ffprobe reads them, the count as a full decode.
    probed = feed.probe(path).video
    assert (probed.codec, probed.width, probed.height) == (
        truth["codec_name"], truth["width"], truth["height"])
    assert probed.frame_rate == fractions.Fraction(truth["avg_frame_rate"])
    assert probed.frame_count == (int(truth["nb_frames"]) if "nb_frames" in truth else None)
    if "duration" in truth:
        assert probed.duration == pytest.approx(float(truth["duration"]))
    assert reader.metadata.frame_count_from == "counted"
    assert reader.metadata.begin == pytest.approx(truth["times"][0])

    # By index, a batch in any order, then one at a time backwards (each a seek).
    picks = random.Random(name).sample(range(CODED_FRAMES), 24) + [0, CODED_FRAMES - 1, 7, 7]
    assert [read_index(frame) for frame in reader.get_frames_at(picks)] == picks
    for index in (CODED_FRAMES - 1, 61, 2, -1):
        assert read_index(reader[index]) == index % CODED_FRAMES
    assert [read_index(frame) for frame in reader[10:20:3]] == [10, 13, 16, 19]

    # By time: at each frame's own time, and between two frames the earlier one.
    times = truth["times"]
    midpoints = [(a + b) / 2 for a, b in zip(times, times[1:])]
    shown = reader.get_frames_played_at(times[::9] + midpoints[::11])
    assert [read_index(frame) for frame in shown] == (
        list(range(0, CODED_FRAMES, 9)) + list(range(0, CODED_FRAMES - 1, 11)))


def test_a_stream_whose_packets_carry_no_times_is_counted_by_decoding(tmp_path):
    # MPEG-4 part 2 with B-frames in AVI: most packets have no presentation time.
    path = str(tmp_path / "mpeg4-b-frames.avi")
    write("mpeg4-bframes.avi", path)
    reader = feed.VideoReader(path)
    assert len(reader) == int(ffprobe(path)["nb_read_frames"]) == CODED_FRAMES
    assert [read_index(frame) for frame in reader.get_frames_at(range(0, 100, 9))] == list(
        range(0, 100, 9))


@pytest.fixture(scope="module")
def colour_picture(tmp_path_factory):
    """A still PNG picture, 64x48, all of R 200, G 100, B 50."""
    path = str(tmp_path_factory.mktemp("colour") / "colour.png")
    write("colour-png", path)
    return path


@pytest.mark.parametrize(
    "format, layout, shape, pixel",
    [
        ("rgb24", "hwc", (48, 64, 3), [200, 100, 50]),
        ("bgr24", "hwc", (48, 64, 3), [50, 100, 200]),
        ("rgba", "hwc", (48, 64, 4), [200, 100, 50, 255]),
        ("bgra", "hwc", (48, 64, 4), [50, 100, 200, 255]),
        ("gray", "hwc", (48, 64, 1), [124]),  # 0.299 R + 0.587 G + 0.114 B
        ("rgb24", "chw", (3, 48, 64), [200, 100, 50]),
        ("gray", "chw", (1, 48, 64), [124]),
    ],
)
def test_formats_and_layouts(colour_picture, format, layout, shape, pixel):
    reader = feed.VideoReader(colour_picture, format=format, layout=layout)
    frame = reader[0]
    assert frame.shape == shape == reader.frame_shape
    assert frame.dtype == np.uint8 and frame.flags.c_contiguous and frame.flags.writeable
    middle = frame[:, 24, 32] if layout == "chw" else frame[24, 32]
    assert np.abs(middle.astype(int) - pixel).max() <= 2, middle
    assert np.from_dlpack(frame).shape == shape  # DLPack takes it as it is


def test_sizes_and_fits(clips):
    index = clips["index"]  # 160x120
    assert feed.VideoReader(index, size=(80, 0)).frame_shape == (60, 80, 3)
    assert feed.VideoReader(index, size=(0, 30)).frame_shape == (30, 40, 3)
    boxed = feed.VideoReader(index, size=(160, 160), fit="fit", bars_colour=0x0000FF)[5]
    assert list(boxed[0, 80]) == [0, 0, 255]  # a bar above the picture
    assert read_index(boxed) == 5


def test_torch_takes_the_arrays_where_it_is_installed(clips):
    torch = pytest.importorskip("torch")
    frame = feed.VideoReader(clips["index"], layout="chw")[3]
    tensor = torch.from_dlpack(frame)
    assert tuple(tensor.shape) == frame.shape
    assert torch.equal(tensor, torch.from_numpy(frame))


def test_audio_ranges_join_sample_for_sample(clips):
    reader = feed.AudioReader(clips["ramp"])
    assert (reader.sample_rate, reader.channels) == (SAMPLE_RATE, 2)
    whole = reader.read(0.5, 1.5)
    first = round(0.5 * SAMPLE_RATE)
    assert np.array_equal(whole, ramp(first, SAMPLE_RATE))
    pieces = [reader.read(a, b) for a, b in [(0.5, 0.7000113), (0.7000113, 1.0), (1.0, 1.5)]]
    assert np.array_equal(np.concatenate(pieces), whole)
    assert np.array_equal(reader.read(start_ms=500, stop_ms=1500), whole)
    as_float = feed.AudioReader(clips["ramp"], dtype="float32").read(0.5, 1.5)
    assert as_float.dtype == np.float32 and np.array_equal(as_float * 32768, whole)
    mono = feed.AudioReader(clips["ramp"], sample_rate=8000, channels=1).read(0.5, 1.5)
    assert mono.shape == (8000, 1)


def test_errors_are_raised_at_the_call(clips):
    for call in (feed.probe, feed.VideoReader, feed.AudioReader):
        with pytest.raises(FileNotFoundError) as raised:
            call(clips["absent"])
        assert raised.value.filename == clips["absent"]
        with pytest.raises(feed.MediaError, match="not a media file"):
            call(clips["junk"])
    with pytest.raises(feed.SourceNotFoundError) as raised:
        feed.Feed().add_video(clips["absent"], 0, 1)
    assert isinstance(raised.value, FileNotFoundError)
    with pytest.raises(feed.MediaError, match="^The media has no video stream$"):
        feed.VideoReader(clips["audio_only"])
    with pytest.raises(feed.MediaError, match="^The media has no audio stream$"):
        feed.AudioReader(clips["video_only"])
    for bad, named in [
        (dict(size=(100000, 100000)), "width 100000 is out of range: 1 to 16384"),
        (dict(format="yuv"), "format must be one of rgb24, bgr24, rgba, bgra, gray"),
        (dict(layout="whc"), "layout must be one of hwc, chw"),
        (dict(fit="squash"), "fit must be one of stretch, fit, fill"),
    ]:
        with pytest.raises(ValueError, match=named):
            feed.VideoReader(clips["index"], **bad)
    for bad, named in [(dict(sample_rate=-5), "sample rate -5 is out of range: 1 to 768000"),
                       (dict(channels=9), "channel count 9 is out of range: 1 to 8")]:
        with pytest.raises(ValueError, match=named):
            feed.AudioReader(clips["ramp"], **bad)
    with pytest.raises(feed.FeedError, match="lavfi: graph cannot be counted"):
        feed.VideoReader("lavfi:testsrc2=size=64x48:rate=25:duration=1")[0]
    reader = feed.VideoReader(clips["index"])
    with pytest.raises(IndexError, match="frame index 250 is out of range: the video has 250"):
        reader[250]
    with pytest.raises(ValueError, match="shown from 0 s until 10 s"):
        reader.get_frames_played_at([10.0])
    reader.close()
    with pytest.raises(ValueError, match="closed"):
        reader[0]


def test_spans_past_the_end_warn(clips):
    with pytest.warns(feed.FeedWarning, match="reaches outside its video"):
        arrays = list(feed.frames(clips["video_only"], 1.5, 2.5, fps=25))
    assert len(arrays) == 25 and not arrays[-1].any()
    with pytest.warns(feed.FeedWarning, match="reaches outside its audio"):
        feed.AudioReader(clips["audio_only"]).read(1.5, 2.5)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        feed.AudioReader(clips["audio_only"]).read(0.5, 2.0)


def test_seconds_across_the_package(clips):
    # frames(path, 1.5, 3.0): seconds, so frames 37 to 74 at 25 fps; ms keywords still taken.
    assert [read_index(a) for a in feed.frames(clips["index"], 1.5, 3.0)] == list(range(37, 75))
    assert len(list(feed.frames(clips["index"], start_ms=1500, stop_ms=3000))) == 38
    with pytest.raises(TypeError, match="give start or start_ms, not both"):
        feed.frames(clips["index"], 1.5, start_ms=1500)
    assert feed.__version__.count(".") == 2
    assert {"VideoReader", "AudioReader", "probe", "MediaInfo"} <= set(feed.__all__)


def _indices_read(job):
    reader, wanted = job
    return [read_index(frame) for frame in reader.get_frames_at(wanted)]


def test_readers_pickle_and_read_in_other_processes(clips):
    reader = feed.VideoReader(clips["index"], size=(80, 60))
    copy = pickle.loads(pickle.dumps(reader))
    assert copy.frame_shape == (60, 80, 3) and read_index(copy[17]) == 17
    reader[0]  # the parent's decoder runs while the workers fork
    jobs = [(reader, list(range(start, 250, 50))) for start in range(0, 50, 10)]
    for method in ("fork", "spawn"):
        with multiprocessing.get_context(method).Pool(2) as pool:
            assert pool.map(_indices_read, jobs) == [wanted for _, wanted in jobs]


class _Frames:
    """A dataset of one file's frames, for a DataLoader."""

    def __init__(self, path):
        self.reader = feed.VideoReader(path, size=(80, 60), layout="chw")

    def __len__(self):
        return len(self.reader)

    def __getitem__(self, index):
        return self.reader[index]


def test_a_torch_data_loader_reads_one_file_in_workers(clips):
    torch = pytest.importorskip("torch")
    loader = torch.utils.data.DataLoader(_Frames(clips["index"]), batch_size=25, num_workers=2)
    batches = list(loader)
    assert [tuple(batch.shape) for batch in batches] == [(25, 3, 60, 80)] * 10
    frames = torch.cat(batches).permute(0, 2, 3, 1).numpy()
    assert [read_index(frame) for frame in frames] == list(range(250))
