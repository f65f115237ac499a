// The ReplayGain tags of a media file, read through the tag library (ID3
// TXXX frames, Vorbis comments, APE and MP4 items all come out as the same
// property names), and the length of its audio.
#pragma once

#include <cstdint>
#include <optional>

namespace plinka::library {

struct ReplayGainTags {
  bool readable = false;  // a regular file the tag library could open
  std::optional<double> trackGainDb;
  std::optional<double> albumGainDb;
  uint32_t lengthMs = 0;  // 0 when the file does not say
};

// Only regular files are read; anything else is not readable.
ReplayGainTags readReplayGainTags(const char* path);

// A gain text as the tags hold it ("-6.20 dB", "+1.5"); no value when it
// does not start with a number.
std::optional<double> parseGainText(const char* text);

}  // namespace plinka::library
