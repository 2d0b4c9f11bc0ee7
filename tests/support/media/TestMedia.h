// The media files of the engine and feed tests, written on first use with FFmpeg's own encoders and
// muxers into the build tree (TEST_MEDIA_DIR), and helpers to read back what a reader drew.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/media/TestPictures.h"  // the bar code the files show, and its reader

namespace testmedia {

constexpr std::int64_t kTicksPerSecond = 10000000;  // 100-ns units
constexpr std::int64_t kTicksPerMs = 10000;

// av.mp4: H.264 (FFmpeg's mpeg4 encoder when it has no libx264) with B-frames, 320x240, 25 fps,
// 75 frames, a keyframe every 25 frames, each frame carrying its index as a bar code; AAC
// stereo at 44,100 Hz, a 440 Hz sine at half scale in both channels, 3 s.
constexpr int kAvWidth = 320;
constexpr int kAvHeight = 240;
constexpr int kAvFrames = 75;
constexpr int kAvKeyframeInterval = 25;
constexpr std::int64_t kAvFrameTicks = kTicksPerSecond / 25;
constexpr int kAvSampleRate = 44100;
constexpr double kAvToneHz = 440.0;
constexpr double kAvToneAmplitude = 0.5;

// video_only.mkv: MPEG-4 Visual (FFmpeg's mpeg4), 160x120, 25 fps, 50 frames bar-coded, no audio.
constexpr int kSmallWidth = 160;
constexpr int kSmallHeight = 120;
constexpr int kVideoOnlyFrames = 50;

// vfr.mkv: FFV1 160x120, bar-coded frames at irregular times (ms), the last shown 100 ms.
const std::vector<int>& VfrTimesMs();
constexpr int kVfrLastDurationMs = 100;

// ramp.wav: 16-bit PCM stereo at 44,100 Hz, kRampFrames sample frames; sample frame i holds
// i % 32768 on the left and its negation on the right.
constexpr int kRampRate = 44100;
constexpr std::int64_t kRampFrames = 66150;  // 1.5 s
std::int16_t RampLeft(std::int64_t index);

// tone22k.wav: 16-bit PCM mono at 22,050 Hz, a 1 kHz sine of amplitude 16384, 2 s.
constexpr int kToneRate = 22050;
constexpr double kToneHz = 1000.0;
constexpr int kToneAmplitude = 16384;

// pattern.mkv, sar.mp4 and rotated.mp4 show one still picture, 160x120: a 20-pixel yellow
// border around four quadrants, red top left, green top right, blue bottom left, white bottom
// right (split at x = 80, y = 60). sar.mp4 has 2:1 pixels (shown 320x120); rotated.mp4 is to
// be turned 90 degrees clockwise (shown 120x160), rotated180.mp4 180 degrees and
// rotated270.mp4 270 degrees.
constexpr int kBorder = 20;

constexpr int kGapEndMs = 2000;
constexpr int kLateVideoStartMs = 200;
constexpr std::int64_t kTransportStreamStartUs = 1400000;  // as ffmpeg writes MPEG-TS
constexpr int kMpeg2KeyframeInterval = 15;
constexpr int kMpeg4AviDelay = 1;
constexpr int kPngSequenceFrames = 20;
constexpr int kPhotoWidth = 1280;
constexpr int kPhotoHeight = 960;

struct Files {
    std::string av;
    std::string videoOnly;
    std::string vfr;
    std::string ramp;
    std::string tone22k;
    std::string pattern;
    std::string sar;
    std::string rotated;
    std::string rotated180;
    std::string rotated270;
    std::string transportStream;  // MPEG-TS: video_only's pictures and a 440 Hz AAC tone,
                                  // 2 s, its clock starting at kTransportStreamStartUs
    // MPEG-TS, video only, clocks starting at kTransportStreamStartUs, bar-coded frames at
    // 25 fps with B-frames: MPEG-2 with a keyframe every 15 frames (50 frames), and H.264
    // (FFmpeg's mpeg4 when it has no libx264) with one every 25 (75 frames).
    std::string mpeg2TransportStream;
    std::string h264TransportStream;
    // A 440 Hz sine at kToneAmplitude in both channels, 3 s, in containers that count time in
    // milliseconds: Opus at 48,000 Hz in WebM (with a codec delay), AAC at 44,100 Hz in
    // Matroska, FLAC at 96,000 Hz (blocks of 8,192 samples, 85.33 ms) in Matroska, Vorbis (frames
    // of varying length) at 44,100 Hz in Matroska and at 48,000 Hz in WebM.
    std::string opusWebm;
    std::string aacMkv;
    std::string flacMkv;
    std::string vorbisMkv;
    std::string vorbisWebm;
    std::string gapped;  // MPEG-4 Visual with B-frames, bar-coded frames 0-8 at 40 ms apart,
                         // then a gap: frames 9-20 from kGapEndMs on, 40 ms apart
    // Matroska: a 1 s tone from 0 and three bar-coded H.264 frames (FFmpeg's mpeg4 when it has
    // no libx264) with B-frames at kLateVideoStartMs, 40 ms apart: FFmpeg takes the picture
    // stream's start time from the sound, before its first keyframe.
    std::string lateShortVideo;
    // AVI, raw 8-bit paletted pictures at 25 fps, 2 s: every pixel palette entry 1, red; the
    // palette is in the file's header.
    std::string paletted;
    // AVI, MPEG-4 Visual with B-frames, 160x120, bar-coded frames at 25 fps, a keyframe every
    // kAvKeyframeInterval, kAvFrames: AVI packets carry decode times only, and FFmpeg (ffprobe,
    // ffmpeg) shows picture i at frame time i + kMpeg4AviDelay.
    std::string mpeg4Avi;
    std::string stillPng;   // still images of the pattern.mkv picture, 160x120, as PNG,
    std::string stillJpeg;  // JPEG
    std::string stillBmp;   // and BMP files
    // A photo: the picture of pattern.mkv at kPhotoWidth x kPhotoHeight as JPEG, larger than
    // the bytes FFmpeg's probe looks at first, with an EXIF orientation of 6: to be turned 90
    // degrees clockwise (shown kPhotoHeight x kPhotoWidth).
    std::string stillJpegTurned;
    // still.jpg followed by a second JPEG picture (bar-coded), as a phone appends a preview or
    // depth map: ffmpeg and ffprobe read one picture, the first.
    std::string stillJpegWithTrailer;
    // kPngSequenceFrames bar-coded PNG pictures in one file: ffmpeg and ffprobe read them as a
    // video at 25 fps (picture i from i / 25 s on, for 1 / 25 s).
    std::string pngSequence;
    std::string cover;         // AAC, 1 s, with a cover picture (an attached picture stream)
    std::string truncatedMkv;  // first half of video_only.mkv: opens, ends early
    std::string truncatedMp4;  // first half of av.mp4: its index is missing
    std::string withColon;     // a copy of av.mp4 named "with:colon.mp4"
    std::string playlist;      // an HLS playlist naming segment.mp4, a copy of av.mp4
    std::string concatList;    // an ffconcat list naming segment.mp4
    std::string segment;
    std::string random;     // random bytes named .mp4
    std::string missing;    // a name with no file
    std::string directory;  // where they are
};

// The files, written when missing (once per process; each appears under its name only when
// complete, so parallel test processes do not see half-written files).
const Files& Media();

// A colour as B, G, R and the fourth byte of an output pixel.
struct Pixel {
    int b = 0;
    int g = 0;
    int r = 0;
    int x = 0;
};
Pixel PixelAt(const std::vector<std::uint8_t>& frame, int width, int x, int y);

// Passes when the pixel is within `tolerance` of R, G, B and its fourth byte is 0.
testing::AssertionResult HasColour(const std::vector<std::uint8_t>& frame, int width, int x, int y,
                                   int r, int g, int b, int tolerance = 24);

bool IsAllZero(const std::vector<std::uint8_t>& bytes);

}  // namespace testmedia
