// What the song table keeps of a song's loudness, and the gains the
// levelling plays songs at.
//
// The Loudness field (field 10, 4 bytes) of a song:
//   0                     not known yet (never measured, no tags read)
//   bit 31                set in every known value, so none is 0
//   bit 30                the level came from the song's ReplayGain tags
//                         (reference - track gain), not from measuring
//   bits 16-29            the audio's length in whole seconds, at most 16383
//                         (weighs the song in its album's loudness)
//   bits 0-15             integrated loudness in hundredths of LUFS plus
//                         32768; 0 = the song has no level (silence, or a
//                         file that could not be decoded), which is known
//                         and not measured again
// Older readers see a plain number in a field they never read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plinka::db {
struct TableHandle;
}

namespace plinka::library {

constexpr uint32_t kLoudnessKnownBit = 1u << 31;
constexpr uint32_t kLoudnessFromTagsBit = 1u << 30;
constexpr uint32_t kLoudnessSecondsShift = 16;
constexpr uint32_t kLoudnessSecondsMax = 0x3FFF;
constexpr int32_t kLoudnessLevelOffset = 32768;

// The level every song is brought to: ReplayGain's reference loudness.
constexpr double kReferenceLufs = -18.0;
// The gain of songs with no level while the table has no measured song.
constexpr double kUnmeasuredGainDb = -6.0;
// Gains are kept within these bounds: a nearly silent recording is not
// raised until its noise is as loud as music.
constexpr double kLowestGainDb = -30.0;
constexpr double kHighestGainDb = 12.0;

struct SongLoudness {
  bool known = false;     // the field holds a value
  bool fromTags = false;  // from the ReplayGain tags rather than measured
  bool hasLevel = false;  // a loudness was found (not silent or unreadable)
  double lufs = 0;        // integrated loudness, when hasLevel
  uint32_t seconds = 0;   // the audio's length
};

// The field's value for a song: with a level (lufs), or without one.
uint32_t encodeLoudness(bool fromTags, std::optional<double> lufs, uint32_t seconds);
SongLoudness decodeLoudness(uint32_t field);

// What the song details show of a Loudness value: "−9.2 LUFS, +8.8 dB
// (measured)" or "(from tags)", with true minus signs; "Not measured yet";
// "No level (silent, or not decodable)".
std::string describeLoudness(uint32_t field);

// The gain that brings a loudness to the reference, within the bounds.
double gainForLoudness(double lufs);
// The loudness a ReplayGain gain stands for.
inline double loudnessForGain(double gainDb) { return kReferenceLufs - gainDb; }

// The loudness of songs played one after another as one piece: their
// energies averaged by length (a song of unknown length counts as one
// second). Songs without a level are left out; none left: no value.
std::optional<double> combinedLoudness(const std::vector<SongLoudness>& songs);

// The median gain of the songs with a level among `fields` (Loudness
// values), or kUnmeasuredGainDb when none has one. Reorders `fields`.
double medianGain(std::vector<uint32_t>& fields);

// The Loudness value of slot's album taken as one: the records in use with
// the same Album text whose FileName lies in the same folder, slot included.
// 0 when none of them has a level. The table must be open.
uint32_t albumLoudness(db::TableHandle& table, uint32_t slot);

}  // namespace plinka::library
