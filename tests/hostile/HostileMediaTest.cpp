// Media files with absurd headers, and files that change while they play. Each case says
// what a host sees; in every case the session ends in time with its full count of frames and
// samples.
#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "media/MediaInput.h"
#include "tests/hostile/HostileSession.h"
#include "tests/support/media/TestMedia.h"

namespace hostile {
namespace {

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes,
                std::ios::openmode mode = std::ios::trunc) {
    std::ofstream out(path, std::ios::binary | std::ios::out | mode);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void Put16(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    Put16(bytes, value & 0xFFFF);
    Put16(bytes, value >> 16);
}

void PutText(std::vector<std::uint8_t>& bytes, const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
}

// A 16-bit mono PCM WAV whose header gives `rate` and claims `claimedSamples`, followed by
// `presentSamples` samples of a square wave.
std::vector<std::uint8_t> Wav(std::uint32_t rate, std::uint32_t claimedSamples,
                              std::uint32_t presentSamples) {
    std::vector<std::uint8_t> bytes;
    PutText(bytes, "RIFF");
    Put32(bytes, 36 + claimedSamples * 2);
    PutText(bytes, "WAVEfmt ");
    Put32(bytes, 16);
    Put16(bytes, 1);  // PCM
    Put16(bytes, 1);  // mono
    Put32(bytes, rate);
    Put32(bytes, rate * 2);  // wraps for the largest rates, as a careless writer's would
    Put16(bytes, 2);
    Put16(bytes, 16);
    PutText(bytes, "data");
    Put32(bytes, claimedSamples * 2);
    for (std::uint32_t i = 0; i < presentSamples; ++i) {
        Put16(bytes, (i / 10) % 2 == 0 ? 8000 : 0x10000 - 8000);
    }
    return bytes;
}

// A YUV4MPEG2 stream whose header claims width x height, with one short frame.
std::vector<std::uint8_t> Y4m(int width, int height) {
    std::vector<std::uint8_t> bytes;
    PutText(bytes, "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) +
                       " F25:1 Ip A1:1 C420jpeg\nFRAME\n");
    bytes.insert(bytes.end(), 4096, 0x80);
    return bytes;
}

// A file in the muxer `format` with `streams` PCM audio streams, each holding 1 s of a square
// wave.
bool WriteManyStreams(const std::string& path, int streams, const char* format) {
    AVFormatContext* output = nullptr;
    if (avformat_alloc_output_context2(&output, nullptr, format, path.c_str()) < 0) {
        return false;
    }
    output->max_streams = streams + 1;
    bool ok = true;
    for (int i = 0; i < streams && ok; ++i) {
        AVStream* stream = avformat_new_stream(output, nullptr);
        ok = stream != nullptr;
        if (ok) {
            stream->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
            stream->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
            stream->codecpar->sample_rate = 8000;
            av_channel_layout_default(&stream->codecpar->ch_layout, 1);
            stream->codecpar->bits_per_coded_sample = 16;
            stream->codecpar->block_align = 2;
            stream->time_base = AVRational{1, 8000};
        }
    }
    ok = ok && avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0;
    ok = ok && avformat_write_header(output, nullptr) >= 0;
    std::vector<std::uint8_t> samples(1600);
    for (std::size_t i = 0; i < samples.size(); i += 2) {
        samples[i + 1] = (i / 20) % 2 == 0 ? 0x20 : 0xE0;
    }
    for (int chunk = 0; chunk < 10 && ok; ++chunk) {
        for (int i = 0; i < streams && ok; ++i) {
            AVPacket* packet = av_packet_alloc();
            ok = packet != nullptr && av_new_packet(packet, static_cast<int>(samples.size())) >= 0;
            if (ok) {
                std::memcpy(packet->data, samples.data(), samples.size());
                packet->stream_index = i;
                packet->pts = packet->dts = chunk * 800;
                packet->duration = 800;
                packet->time_base = AVRational{1, 8000};
                av_packet_rescale_ts(packet, AVRational{1, 8000}, output->streams[i]->time_base);
                ok = av_interleaved_write_frame(output, packet) >= 0;
            }
            av_packet_free(&packet);
        }
    }
    ok = ok && av_write_trailer(output) >= 0;
    if (output->pb != nullptr) {
        avio_closep(&output->pb);
    }
    avformat_free_context(output);
    return ok;
}

void Describe(const std::string& what, const Outcome& outcome) {
    std::cout << "[ outcome  ] " << what << ": " << outcome.frames << " frames ("
              << (outcome.allBlack ? "all black" : "picture") << "), " << outcome.sampleFrames
              << " samples (" << (outcome.allSilent ? "silence" : "sound") << "), "
              << outcome.seconds << " s" << std::endl;
}

// FFmpeg refuses pictures beyond its size check when the file is opened, and a frame whose
// data is short is not decoded: black, and silence for the audio source on the same file.
TEST(HostileMediaTest, AbsurdPictureSizesPlayAsBlack) {
    const Scratch scratch;
    for (const auto& size : {std::pair<int, int>{65535, 65535}, {0, 0}, {1, 65535}, {-16, 120}}) {
        const std::string path = scratch.File("big.y4m");
        WriteBytes(path, Y4m(size.first, size.second));
        const std::string what =
            "y4m " + std::to_string(size.first) + "x" + std::to_string(size.second);
        const Outcome outcome = Play(path, path, 1000);
        Describe(what, outcome);
        ExpectBlankSession(outcome, 1000, what);
    }
}

// A rate of 0 is refused when the file is opened, and so are rates that do not fit (the
// header's byte rate wraps): silence. A rate of 1 Hz opens and is resampled: a sound.
TEST(HostileMediaTest, ZeroAndHugeSampleRatesPlayAsSilence) {
    const Scratch scratch;
    for (const auto& [rate, sound] : std::vector<std::pair<std::uint32_t, bool>>{
             {0u, false}, {1u, true}, {0x7FFFFFFFu, false}, {0xFFFFFFFFu, false}}) {
        const std::string path = scratch.File("rate.wav");
        WriteBytes(path, Wav(rate, 16000, 16000));
        const std::string what = "wav at " + std::to_string(rate) + " Hz";
        const Outcome outcome = Play("", path, 1000);
        Describe(what, outcome);
        ExpectExactCounts(outcome, 1000, what);
        EXPECT_EQ(outcome.allSilent, !sound) << what;
    }
}

// A file with many streams plays its sound when FFmpeg can open it (900 streams in Matroska
// do), and is silence when it cannot, as any file that cannot be opened (its source is an
// empty one). The NUT limits are FFmpeg's, not the engine's: its NUT demuxer refuses files that
// declare more than 256 streams, and FFmpeg 5.1's NUT muxer writes files of more than 125
// streams with a main header that the demuxer takes as broken ("header_len is 0"), so 126
// streams and more do not open. A NUT file of 900 was once taken for one that opens and plays
// silence; it does not open.
TEST(HostileMediaTest, AFileOfManyStreamsPlaysIfItOpensAndIsSilenceIfNot) {
    const Scratch scratch;
    struct Case {
        const char* format;
        int streams;
        bool opens;
    };
    for (const Case& c :
         {Case{"nut", 1, true}, Case{"nut", 125, true}, Case{"nut", 126, false},
          Case{"nut", 900, false}, Case{"nut", 2000, false}, Case{"matroska", 900, true}}) {
        const std::string path = scratch.File(std::string("streams.") + c.format);
        ASSERT_TRUE(WriteManyStreams(path, c.streams, c.format));
        const bool opens = c.opens;
        const std::string what = std::to_string(c.streams) + " audio streams in " + c.format;
        media::MediaInfo info;
        EXPECT_EQ(media::ProbeMedia(path, &info), opens) << what;
        const Outcome outcome = Play(path, path, 1000);
        Describe(what, outcome);
        ExpectExactCounts(outcome, 1000, what);
        EXPECT_TRUE(outcome.allBlack) << what << ": the file has no video";
        EXPECT_EQ(outcome.allSilent, !opens) << what;
    }
}

// A WAV whose header claims 1.5 s while only 0.5 s is there yet; the rest is appended while
// the first buffers are delivered.
// Rewrites every chunk offset of every track's `stco` table to `offsetOf(first entry)`: an
// index whose entries all loop back to one place.
std::vector<std::uint8_t> WithLoopingIndex(std::vector<std::uint8_t> bytes,
                                           const std::function<std::uint32_t(std::uint32_t)>& to) {
    auto read32 = [&](std::size_t at) {
        return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
               (std::uint32_t{bytes[at + 2]} << 8) | std::uint32_t{bytes[at + 3]};
    };
    auto write32 = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes[at + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(value >> (24 - 8 * i));
        }
    };
    int tables = 0;
    for (std::size_t at = 4; at + 12 <= bytes.size(); ++at) {
        if (std::memcmp(&bytes[at], "stco", 4) != 0) {
            continue;
        }
        const std::uint32_t entries = read32(at + 8);
        if (at + 12 + std::size_t{entries} * 4 > bytes.size() || entries == 0) {
            continue;
        }
        const std::uint32_t first = read32(at + 12);
        for (std::uint32_t i = 0; i < entries; ++i) {
            write32(at + 12 + std::size_t{i} * 4, to(first));
        }
        ++tables;
    }
    EXPECT_GT(tables, 0) << "no chunk offset table found to rewrite";
    return bytes;
}

// Outcome: the picture and sound the looping index points at, or black and silence where the
// decoder cannot make sense of it; never a hang, and the session keeps its length.
TEST(HostileMediaTest, AnIndexThatLoopsBackPlaysWhatItPointsAtInTime) {
    const testmedia::Files& media = testmedia::Media();
    std::ifstream in(media.av, std::ios::binary);
    const std::vector<std::uint8_t> original((std::istreambuf_iterator<char>(in)),
                                             std::istreambuf_iterator<char>());
    ASSERT_FALSE(original.empty());
    Scratch scratch;
    const std::string toFirst = scratch.File("loop-first.mp4");
    const std::string toStart = scratch.File("loop-start.mp4");
    WriteBytes(toFirst, WithLoopingIndex(original, [](std::uint32_t first) { return first; }));
    WriteBytes(toStart, WithLoopingIndex(original, [](std::uint32_t) { return 0u; }));
    for (const std::string& name : {toFirst, toStart}) {
        const Outcome outcome = Play(name, name, 2000);
        ExpectExactCounts(outcome, 2000, name);
    }
}

TEST(HostileMediaTest, AFileThatGrowsWhilePlayingKeepsTheSessionLength) {
    const Scratch scratch;
    const std::string path = scratch.File("growing.wav");
    const std::vector<std::uint8_t> whole = Wav(8000, 12000, 12000);
    const std::size_t firstPart = 44 + 4000 * 2;
    WriteBytes(path, std::vector<std::uint8_t>(whole.begin(), whole.begin() + firstPart));
    bool appended = false;
    const Outcome outcome = Play("", path, 1500, nullptr, nullptr, [&](int buffer) {
        if (buffer == 5 && !appended) {
            appended = true;
            WriteBytes(path, std::vector<std::uint8_t>(whole.begin() + firstPart, whole.end()),
                       std::ios::app);
        }
    });
    Describe("growing wav", outcome);
    EXPECT_TRUE(appended);
    ExpectExactCounts(outcome, 1500, "growing wav");
    EXPECT_FALSE(outcome.allSilent);
}

// The file is removed after its fifth frame. The clip that has it open plays on (the open
// handle keeps it); the next clip on the same name cannot open it and is black.
TEST(HostileMediaTest, AFileDeletedWhilePlayingFinishesItsClipThenIsBlack) {
    const testmedia::Files& media = testmedia::Media();
    const Scratch scratch;
    const std::string path = scratch.CopyIn(media.videoOnly, "doomed.mkv");
    ASSERT_FALSE(path.empty());
    bool removed = false;
    const Outcome outcome = Play(path, "", 1000, nullptr, [&](int frame) {
        if (frame == 5 && !removed) {
            removed = unlink(path.c_str()) == 0;
        }
    });
    Describe("deleted while playing", outcome);
    EXPECT_TRUE(removed);
    ExpectExactCounts(outcome, 1000, "deleted while playing");
    ASSERT_EQ(outcome.blackFrames.size(), 25u);
    EXPECT_FALSE(outcome.blackFrames[0]);
    EXPECT_FALSE(outcome.blackFrames[24]) << "the open clip stopped when its file went";
}

}  // namespace
}  // namespace hostile
