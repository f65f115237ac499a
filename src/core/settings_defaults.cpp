#include "core/settings_defaults.h"

#include "text/text.h"

#include <cstring>

namespace plinka {

namespace {

// Clears a whole text slot and puts the text at its start (cut to fit).
template <size_t N> void setSlot(char (&slot)[N], const char* value) {
  std::memset(slot, 0, N);
  text::copy(slot, value);
}

constexpr const char* kUserNames[kUserCount] = {"One", "Two",   "Three", "Four", "Five",
                                                "Six", "Seven", "Eight", "Nine", "Ten"};
// Slot 0 is the single-user mode; slot 10 is never shown and stays as it is.
constexpr const char* kAltModeNames[kAltModeCount] = {"Single", "Two",   "More2", "More1", "Triple",
                                                      "Trip2",  "Trip3", "Lucky", "Evil",  "Odd"};
constexpr const char* kAltModePatterns[kAltModeCount] = {"12",  "122", "112", "123", "456",
                                                         "789", "777", "666", "135", "avi"};
constexpr const char* kStateNames[kStateCount] = {"Normal", "Loud", "Late", "Kids",   "Party",
                                                  "Pump",   "Her",  "Him",  "Extra1", "Extra2"};
constexpr uint32_t kColumnWidths[5] = {150, 150, 250, 60, 30};

}  // namespace

void stateReset(SettingsRecord& s) {
  s.currentState = 0;
  s.hashStat = 0;
  for (int i = 0; i < kStateCount; ++i) {
    setSlot(s.stateName[i], kStateNames[i]);
    s.stateUser[i] = 0;
    s.stateAltMode[i] = 0;
    s.statePlayUpTo[i] = 0;
    s.stateMinRating[i] = 0;
    s.stateNoArtistRepeat[i] = 1;
  }
  s.bufferMode = 0;
  s.bufferSize = 150;
  s.localBufferCount = -1;
  s.autoRateSpeed = 1;
  s.autoRate = 0;
  s.shutdownAfterBuild = 0;
  s.localDbFlag = 1;
}

void fullReset(SettingsRecord& s) {
  s.coverArt = 1;
  s.prepareCount = 100;
  s.typeAll = 0;
  s.maximised = 1;
  s.onTop = 0;
  s.fullMovie = 0;
  s.trayMinimise = 1;
  s.coverChoice = 1;
  s.dbWindowOption = 0;
  s.autoPlay = 0;
  s.autoMini = 0;
  s.typeMp3 = s.typeAvi = s.typeWav = s.typeMpeg = 1;
  s.typeMidi = s.typeWma = s.typeAsf = s.typeWmv = 1;
  s.newTypesOff = 0;  // the later types on too
  // Full volume in every State, nothing levelled.
  for (uint32_t& cut : s.stateVolumeCut)
    cut = 0;
  s.levelling = static_cast<uint32_t>(Levelling::Off);
  for (int i = 0; i < 5; ++i)
    s.columnWidth[i] = kColumnWidths[i];
  for (int i = 0; i < kUserCount; ++i)
    setSlot(s.userName[i], kUserNames[i]);
  for (int i = 0; i < kAltModeCount; ++i) {
    setSlot(s.altModeName[i], kAltModeNames[i]);
    setSlot(s.altModePattern[i], kAltModePatterns[i]);
  }
  s.dirToId = 1;
  s.lastSongIndex[0] = -1;
  s.networkMode = 0;
  s.buildTime = 500;
  s.quickLinkChoice = 11;
  s.autoBuild = 1;
  s.markVideo = 1;
  s.lameCheck = 0;
  s.showRate = 1;
  s.stateHistory[0] = 1;
  stateReset(s);
}

void ratingBlockReset(SettingsRecord& s) {
  for (int i = 0; i < 10; ++i)
    s.ratingValue[i] = 1u << i;
  s.targetValue = 1000;
  s.defaultImportValue = 16;
}

void fillerBlockReset(FillerSettings& block, const SettingsRecord& from) {
  block.fillSize = kDefaultFillSize;
  block.typeMp3 = from.typeMp3;
  block.typeAvi = from.typeAvi;
  block.typeWav = from.typeWav;
  block.typeMpeg = from.typeMpeg;
  block.typeMidi = from.typeMidi;
  block.typeWma = from.typeWma;
  block.typeAsf = from.typeAsf;
  block.typeWmv = from.typeWmv;
  block.typeAll = from.typeAll;
  block.newTypesOff = from.newTypesOff;
  // The choices of the State in use, the one the list builder reads.
  const uint32_t state = from.currentState < static_cast<uint32_t>(kStateCount) ? from.currentState : 0;
  block.playUpTo = from.statePlayUpTo[state];
  block.minRating = from.stateMinRating[state];
  block.user = from.stateUser[state];
  block.userMode = from.stateAltMode[state];
  block.emptyDir = 0;
  block.addNumber = 1;
}

void firstRunDefaults(SettingsRecord& s, const Folders& folders) {
  std::memset(&s, 0, sizeof s);
  fullReset(s);
  ratingBlockReset(s);
  // A data folder too long for the slot leaves the path empty rather than
  // cut: a cut path would name some other file.
  const std::string path = folders.data + "Plinka.cvf";
  if (path.size() < sizeof s.databasePath)
    setSlot(s.databasePath, path.c_str());
  fillerBlockReset(s.fillerSettings, s);
}

}  // namespace plinka
