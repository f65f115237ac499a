#include "library/loudness.h"

#include "db/records.h"
#include "db/table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace plinka::library {

namespace {

constexpr uint32_t kLevelMask = 0xFFFF;

// The folder part of a path, its last '/' included ("" when it has none).
std::string folderOf(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash == nullptr ? std::string() : std::string(path, static_cast<size_t>(slash - path + 1));
}

}  // namespace

uint32_t encodeLoudness(bool fromTags, std::optional<double> lufs, uint32_t seconds) {
  uint32_t field = kLoudnessKnownBit | (std::min(seconds, kLoudnessSecondsMax) << kLoudnessSecondsShift);
  if (fromTags)
    field |= kLoudnessFromTagsBit;
  if (lufs && std::isfinite(*lufs)) {
    const long level = std::lround(*lufs * 100.0) + kLoudnessLevelOffset;
    field |= static_cast<uint32_t>(std::clamp<long>(level, 1, kLevelMask));
  }
  return field;
}

SongLoudness decodeLoudness(uint32_t field) {
  SongLoudness s;
  if ((field & kLoudnessKnownBit) == 0)
    return s;
  s.known = true;
  s.fromTags = (field & kLoudnessFromTagsBit) != 0;
  s.seconds = (field >> kLoudnessSecondsShift) & kLoudnessSecondsMax;
  const uint32_t level = field & kLevelMask;
  s.hasLevel = level != 0;
  if (s.hasLevel)
    s.lufs = (static_cast<int32_t>(level) - kLoudnessLevelOffset) / 100.0;
  return s;
}

std::string describeLoudness(uint32_t field) {
  const SongLoudness s = decodeLoudness(field);
  if (!s.known)
    return "Not measured yet";
  if (!s.hasLevel)
    return "No level (silent, or not decodable)";
  auto signedText = [](double v, bool plus) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.1f", std::fabs(v));
    const bool zero = std::strcmp(digits, "0.0") == 0;
    return std::string(v < 0 && !zero ? "\xE2\x88\x92" : (plus && !zero ? "+" : "")) + digits;
  };
  return signedText(s.lufs, false) + " LUFS, " + signedText(gainForLoudness(s.lufs), true) + " dB" +
         (s.fromTags ? " (from tags)" : " (measured)");
}

double gainForLoudness(double lufs) { return std::clamp(kReferenceLufs - lufs, kLowestGainDb, kHighestGainDb); }

std::optional<double> combinedLoudness(const std::vector<SongLoudness>& songs) {
  double energy = 0;
  double weight = 0;
  for (const SongLoudness& s : songs) {
    if (!s.hasLevel)
      continue;
    const double w = std::max<uint32_t>(s.seconds, 1);
    energy += w * std::pow(10.0, s.lufs / 10.0);
    weight += w;
  }
  if (weight <= 0 || energy <= 0)
    return std::nullopt;
  return 10.0 * std::log10(energy / weight);
}

double medianGain(std::vector<uint32_t>& fields) {
  auto withoutLevel = [](uint32_t f) { return !decodeLoudness(f).hasLevel; };
  fields.erase(std::remove_if(fields.begin(), fields.end(), withoutLevel), fields.end());
  if (fields.empty())
    return kUnmeasuredGainDb;
  // The level's bits order the fields as their loudness does.
  auto level = [](uint32_t f) { return f & kLevelMask; };
  const auto middle = fields.begin() + static_cast<std::ptrdiff_t>(fields.size() / 2);
  std::nth_element(fields.begin(), middle, fields.end(), [&](uint32_t a, uint32_t b) { return level(a) < level(b); });
  return gainForLoudness(decodeLoudness(*middle).lufs);
}

uint32_t albumLoudness(db::TableHandle& table, uint32_t slot) {
  if (db::readField(table, slot, db::Album) < 0)
    return 0;
  const std::string album = table.text;
  if (db::readField(table, slot, db::FileName) < 0)
    return 0;
  const std::string folder = folderOf(table.text);
  std::vector<SongLoudness> songs;
  uint32_t seconds = 0;
  bool allFromTags = true;
  db::forEachInUse(table, [&](uint32_t s) {
    if (db::readField(table, s, db::Album) < 0 || album != table.text)
      return;
    if (db::readField(table, s, db::FileName) < 0 || folderOf(table.text) != folder)
      return;
    if (db::readField(table, s, db::Loudness) < 0)
      return;
    const SongLoudness song = decodeLoudness(table.value);
    if (!song.hasLevel)
      return;
    songs.push_back(song);
    seconds += song.seconds;
    allFromTags = allFromTags && song.fromTags;
  });
  const std::optional<double> lufs = combinedLoudness(songs);
  return lufs ? encodeLoudness(allFromTags, lufs, seconds) : 0;
}

}  // namespace plinka::library
