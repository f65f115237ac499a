#include "core/settings_defaults.h"

#include "support/record_helpers.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

using namespace plinka;
using namespace plinka::test;

namespace {

struct Range {
  const char* name;
  size_t offset;
  size_t size;
};

#define FIELD(f)                                                                                                       \
  Range { #f, offsetof(SettingsRecord, f), sizeof(SettingsRecord::f) }

std::string bytesOf(const SettingsRecord& s, const Range& r) {
  return std::string(reinterpret_cast<const char*>(&s) + r.offset, r.size);
}

// The resets change options only: what the user has built up stays.
TEST(SettingsDefaults, ResetsLeaveWhatTheyDoNotOwnAlone) {
  struct Case {
    const char* reset;
    void (*apply)(SettingsRecord&);
    std::vector<Range> kept;
  } cases[] = {
      {"full",
       fullReset,
       {FIELD(databasePath), FIELD(windowPlacement), FIELD(randomState), FIELD(ratingValue), FIELD(targetValue),
        FIELD(defaultImportValue), FIELD(recentSongs), FIELD(historySongs), FIELD(recentArtists), FIELD(importSource),
        FIELD(fillerSettings), FIELD(reserved640), FIELD(reserved6774), FIELD(reserved6820),
        Range{"lastSongIndex 1-9", offsetof(SettingsRecord, lastSongIndex) + 4, 36},
        Range{"stateHistory 1-9", offsetof(SettingsRecord, stateHistory) + 4, 36},
        Range{"altModeName 10", offsetof(SettingsRecord, altModeName) + 10 * kNameSize, kNameSize}}},
      {"State",
       stateReset,
       {FIELD(userName), FIELD(altModeName), FIELD(prepareCount), FIELD(stateHistory), FIELD(networkMode),
        FIELD(fillerSettings), FIELD(ratingValue), FIELD(columnWidth)}},
      {"rating block",
       ratingBlockReset,
       {FIELD(dirToId), FIELD(reserved2362), FIELD(lastSongIndex), FIELD(altModePattern)}},
  };
  for (const auto& c : cases) {
    const SettingsRecord before = randomRecord(11);
    SettingsRecord after = before;
    c.apply(after);
    for (const Range& r : c.kept)
      EXPECT_EQ(bytesOf(after, r), bytesOf(before, r)) << c.reset << " reset changed " << r.name;
  }
}

TEST(SettingsDefaults, NameSlotsHoldNothingBehindTheirDefaultText) {
  SettingsRecord s = randomRecord(12);
  s.newTypesOff = kNewTypeBitFlac | kNewTypeBitMkv;
  fullReset(s);
  EXPECT_EQ(+s.newTypesOff, 0u) << "a reset switches every later type on again";
  EXPECT_EQ(std::string(s.userName[2], kNameSize), std::string("Three") + std::string(kNameSize - 5, '\0'));
  EXPECT_EQ(std::string(s.stateName[9], kNameSize), std::string("Extra2") + std::string(kNameSize - 6, '\0'));
  EXPECT_EQ(std::string(s.altModePattern[9], kNameSize), std::string("avi") + std::string(kNameSize - 3, '\0'));
}

TEST(SettingsDefaults, FillerResetTakesTheFileTypesAndTheCurrentStatesChoices) {
  SettingsRecord from{};
  fullReset(from);
  from.typeMp3 = 0;
  from.typeWmv = 0;
  from.typeAll = 1;
  from.newTypesOff = kNewTypeBitOpus | kNewTypeBitWebm;
  from.currentState = 2;
  from.statePlayUpTo[2] = 2;
  from.stateMinRating[2] = 7;
  from.stateUser[2] = 3;
  from.stateAltMode[2] = 4;
  from.statePlayUpTo[0] = 1;  // other States do not count
  from.stateUser[0] = 8;

  SettingsRecord holder = randomRecord(13);
  FillerSettings& block = holder.fillerSettings;
  const std::string fillDirectory(block.fillDirectory, kPathSize);
  const uint32_t rebuffer = block.rebufferValue;
  fillerBlockReset(block, from);

  EXPECT_EQ(+block.fillSize, 5u);
  EXPECT_EQ(+block.typeMp3, 0u);
  EXPECT_EQ(+block.typeAvi, 1u);
  EXPECT_EQ(+block.typeWmv, 0u);
  EXPECT_EQ(+block.typeAll, 1u);
  EXPECT_EQ(+block.newTypesOff, kNewTypeBitOpus | kNewTypeBitWebm);
  EXPECT_EQ(+block.playUpTo, 2u);
  EXPECT_EQ(+block.minRating, 7u);
  EXPECT_EQ(+block.user, 3u);
  EXPECT_EQ(+block.userMode, 4u);
  EXPECT_EQ(+block.emptyDir, 0u);
  EXPECT_EQ(+block.addNumber, 1u);
  EXPECT_EQ(std::string(block.fillDirectory, kPathSize), fillDirectory);
  EXPECT_EQ(+block.rebufferValue, rebuffer);
}

TEST(SettingsDefaults, FirstRunRecord) {
  SettingsRecord s = randomRecord(14);
  firstRunDefaults(s, Folders{"/opt/plinka/", "/home/me/.local/share/Quillmar/Plinka/", ""});
  EXPECT_STREQ(s.databasePath, "/home/me/.local/share/Quillmar/Plinka/Plinka.cvf");
  EXPECT_EQ(+s.lastSongIndex[0], -1);
  EXPECT_EQ(+s.lastSongIndex[1], 0);
  EXPECT_EQ(+s.stateHistory[0], 1u);
  EXPECT_EQ(+s.stateHistory[1], 0u);
  EXPECT_EQ(+s.ratingValue[9], 512u);
  EXPECT_EQ(+s.fillerSettings.fillSize, 5u);
  EXPECT_EQ(+s.fillerSettings.addNumber, 1u);
  EXPECT_EQ(+s.fillerSettings.typeMp3, 1u);
  EXPECT_EQ(s.fillerSettings.fillDirectory[0], 0);
  EXPECT_EQ(+s.localBufferCount, -1);
  EXPECT_EQ(s.reserved6774[0], 0);
  EXPECT_EQ(+s.recentSongs[3], 0u);

  // A data folder the path slot cannot hold leaves the path empty, not cut.
  firstRunDefaults(s, Folders{"/opt/plinka/", "/" + std::string(600, 'x') + "/", ""});
  EXPECT_STREQ(s.databasePath, "");
}

}  // namespace
