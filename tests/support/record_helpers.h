// Settings records and settings files for the shell tests.
#pragma once

#include "app/app.h"
#include "app/settings_file.h"
#include "core/settings_record.h"

#include <cstdint>
#include <cstring>
#include <random>
#include <string>

namespace plinka::test {

// Every byte of the record random, reserved bytes included.
inline SettingsRecord randomRecord(uint32_t seed) {
  std::mt19937 rng(seed);
  SettingsRecord s;
  auto* bytes = reinterpret_cast<uint8_t*>(&s);
  for (size_t i = 0; i < sizeof s; ++i)
    bytes[i] = static_cast<uint8_t>(rng());
  return s;
}

template <size_t N> void endSlot(char (&slot)[N]) { slot[N - 1] = 0; }

// Makes a random record one that loading keeps as it is: indexes in range,
// text slots ended by a zero (the bytes after a text stay random) and the
// song table in the data folder.
inline void makeLoadable(SettingsRecord& s, const Folders& folders) {
  s.currentState %= kStateCount;
  for (int i = 0; i < kStateCount; ++i) {
    s.stateUser[i] %= kUserCount;
    s.stateAltMode[i] %= 11;
    s.stateVolumeCut[i] %= kVolumeCutRange + 1;
  }
  s.levelling %= kLevellingChoices;
  for (auto& t : s.userName)
    endSlot(t);
  for (auto& t : s.altModeName)
    endSlot(t);
  for (auto& t : s.altModePattern)
    endSlot(t);
  for (auto& t : s.recentArtists)
    endSlot(t);
  for (auto& t : s.stateName)
    endSlot(t);
  endSlot(s.importSource);
  endSlot(s.fillerSettings.fillDirectory);
  const std::string path = folders.data + "Plinka.cvf";
  std::memcpy(s.databasePath, path.c_str(), path.size() + 1);
  endSlot(s.databasePath);
  s.localBufferCount = -1;
  s.localDbFlag = 1;
}

inline std::string settingsFileBytes(const char* magic, const SettingsRecord& s) {
  return std::string(magic, kSettingsMagicSize) + std::string(reinterpret_cast<const char*>(&s), sizeof s);
}

inline std::string recordBytes(const SettingsRecord& s) {
  return std::string(reinterpret_cast<const char*>(&s), sizeof s);
}

// The offset of the first differing byte, for failure messages.
inline std::string firstDifference(const SettingsRecord& a, const SettingsRecord& b) {
  const auto* x = reinterpret_cast<const uint8_t*>(&a);
  const auto* y = reinterpret_cast<const uint8_t*>(&b);
  for (size_t i = 0; i < sizeof a; ++i)
    if (x[i] != y[i])
      return "records differ first at offset " + std::to_string(i);
  return "records are equal";
}

}  // namespace plinka::test
