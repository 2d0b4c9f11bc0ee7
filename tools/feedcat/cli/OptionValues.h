// The syntax of feedcat's option values: each reader takes the text given on the command line
// and fills its value, or returns false and leaves it alone. What each accepts is said in the
// option table (OptionTable.cpp), next to the option that uses it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "cli/Options.h"
#include "console/Log.h"

namespace feedcat {

// The largest frame side feedcat asks for.
constexpr std::int32_t kMostSide = 8192;
constexpr int kMostFrameRate = 1000;

// A whole number from low to high.
bool ReadInteger(const std::string& text, long long low, long long high, std::int32_t* value);

// "WxH", each side 2 to kMostSide.
bool ReadSize(const std::string& text, std::int32_t* width, std::int32_t* height);

// "25", "29.97", "30000/1001" or FFmpeg's names ("ntsc", "pal", "film", ...), from 1 to
// kMostFrameRate frames per second.
bool ReadFrameRate(const std::string& text, FrameRate* rate);

// "RRGGBB" or "#RRGGBB".
bool ReadColour(std::string text, std::uint32_t* colour);

// "TIME" or "TIME:RRGGBB", TIME as ParseTimeMs reads it and above 0.
bool ReadVideoFade(const std::string& text, VideoFade* fade);
bool ReadAudioFade(const std::string& text, AudioFade* fade);

// "stretch", "fit" or "fill".
bool ReadClipMode(const std::string& text, std::int32_t* mode);

// "L,T,R,B": the rectangle's left, top, right and bottom edges in source pixels (right and
// bottom exclusive), left < right and top < bottom; or "-1,-1,-1,-1" for none.
bool ReadCrop(const std::string& text, std::array<std::int32_t, 4>* crop, bool* given);

// A constant-quality level, 0 to 63 (what a given encoder takes is checked with the encoder).
bool ReadCrf(const std::string& text, double* crf);

// A libx264 preset name.
bool ReadPreset(const std::string& text, std::string* preset);
extern const char kPresetNames[];

// Bits per second: "2500000", "2500k", "2.5M" (k = 1000).
bool ReadBitrate(const std::string& text, std::int64_t* bitsPerSecond);

// quiet, panic, fatal, error, warning, info, verbose, debug, trace, or FFmpeg's number.
bool ReadLogLevel(const std::string& text, LogLevel* level);

}  // namespace feedcat
