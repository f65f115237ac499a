// The filler's settings file, its Reset, and the rules of its window's
// controls that live in the engine.
#include "app/settings_file.h"
#include "filler/fill_fixture.h"
#include "filler/filler_settings.h"
#include "platform/files.h"
#include "text/text.h"

#include <cstring>

namespace plinka::test {
namespace {

std::string fillerFileOf(const FillerSettings& block, const char* magic = "PLIN1401") {
  std::string bytes(magic, filler::kFillerMagicSize);
  bytes.append(reinterpret_cast<const char*>(&block), sizeof block);
  return bytes;
}

void setFolder(FillerSettings& block, const std::string& folder) {
  std::memset(block.fillDirectory, 0, sizeof block.fillDirectory);
  std::memcpy(block.fillDirectory, folder.data(), folder.size());
}

TEST_F(FillTest, TheSettingsFileKeepsTheBlockAndAMissingOrShortFileGivesTheDefaults) {
  // The current State's choices are the defaults.
  app->settings.currentState = 3;
  app->settings.stateUser[3] = 6;
  app->settings.stateMinRating[3] = 4;
  app->settings.newTypesOff = kNewTypeBitMkv;
  setFolder(app->settings.fillerSettings, "/media/player");

  FillerSettings saved{};
  saved.fillSize = 2;
  saved.user = 7;
  saved.userMode = 3;
  saved.minRating = 9;
  saved.playUpTo = 1;
  saved.addNumber = 0;
  saved.emptyDir = 1;
  saved.newTypesOff = kNewTypeBitOgg | kNewTypeBitWebm;
  setFolder(saved, "/media/walkman");
  FillerSettings unsafe = saved;
  unsafe.fillSize = 99;
  unsafe.user = 12;
  unsafe.minRating = 11;
  std::memset(unsafe.fillDirectory, 'x', sizeof unsafe.fillDirectory);

  struct Case {
    const char* name;
    std::string bytes;  // empty: no file
    bool read;
    uint32_t fillSize, user, minRating, addNumber, newTypesOff;
    std::string folder;
  };
  const Case cases[] = {
      {"saved block", fillerFileOf(saved), true, 2, 7, 9, 0, kNewTypeBitOgg | kNewTypeBitWebm, "/media/walkman"},
      {"magic not checked", fillerFileOf(saved, "whatever"), true, 2, 7, 9, 0, kNewTypeBitOgg | kNewTypeBitWebm,
       "/media/walkman"},
      {"out of range", fillerFileOf(unsafe), true, 5, 0, 0, 0, kNewTypeBitOgg | kNewTypeBitWebm,
       std::string(kPathSize - 1, 'x')},
      {"no file", "", false, 5, 6, 4, 1, kNewTypeBitMkv, "/media/player"},
      {"short file", fillerFileOf(saved).substr(0, 500), false, 5, 6, 4, 1, kNewTypeBitMkv, "/media/player"},
  };
  for (const Case& c : cases) {
    const std::string path = data.file(filler::kFillerSettingsFileName);
    platform::removeFile(path);
    if (!c.bytes.empty())
      writeFile(path, c.bytes);
    setFolder(app->settings.fillerSettings, "/media/player");
    EXPECT_EQ(filler::loadFillerSettings(*app), c.read) << c.name;
    const FillerSettings& b = app->settings.fillerSettings;
    EXPECT_EQ(+b.fillSize, c.fillSize) << c.name;
    EXPECT_EQ(+b.user, c.user) << c.name;
    EXPECT_EQ(+b.minRating, c.minRating) << c.name;
    EXPECT_EQ(+b.addNumber, c.addNumber) << c.name;
    EXPECT_EQ(+b.newTypesOff, c.newTypesOff) << c.name;
    EXPECT_EQ(text::fixedText(b.fillDirectory, sizeof b.fillDirectory), c.folder) << c.name;
  }

  // Saving writes the magic and the block, 1008 bytes, and reads back.
  app->settings.fillerSettings = saved;
  ASSERT_TRUE(filler::saveFillerSettings(*app));
  EXPECT_EQ(readFile(data.file(filler::kFillerSettingsFileName)), fillerFileOf(saved));
}

// Reset loads the main settings file again: the fill directory is the one
// kept there, not the one last shown, and the rest gets its defaults from
// the current State of that file.
TEST_F(FillTest, ResetBringsBackTheMainSettingsFillDirectory) {
  app->settings.currentState = 1;
  app->settings.stateUser[1] = 5;
  setFolder(app->settings.fillerSettings, "/media/from-main-settings");
  shareSettings(*app);
  ASSERT_TRUE(saveSettings(*app));
  const std::string mainFile = readFile(data.file(kSettingsFileName));

  setFolder(app->settings.fillerSettings, "/media/shown-last");
  app->settings.fillerSettings.fillSize = 0;
  app->settings.fillerSettings.addNumber = 0;
  app->settings.fillerSettings.user = 2;
  resetFillerSettings(*app);

  const FillerSettings& b = app->settings.fillerSettings;
  EXPECT_EQ(text::fixedText(b.fillDirectory, sizeof b.fillDirectory), "/media/from-main-settings");
  EXPECT_EQ(+b.fillSize, filler::kFillSizeCount - 3u);  // "4 GB"
  EXPECT_STREQ(filler::kFillSizeNames[b.fillSize], "4 GB");
  EXPECT_EQ(+b.addNumber, 1u);
  EXPECT_EQ(+b.user, 5u);
  EXPECT_EQ(ui.welcomeShown, 0);
  EXPECT_EQ(readFile(data.file(kSettingsFileName)), mainFile) << "the filler never writes the main settings";
}

TEST(FillerControls, ADroppedPathWithADotIsIgnored) {
  const std::pair<const char*, bool> cases[] = {{"/media/player", true},
                                                {"/media/PLAYER/Music", true},
                                                {"/media/john.doe/player", false},
                                                {"/home/me/song.mp3", false},
                                                {"", false}};
  for (const auto& [path, accepted] : cases)
    EXPECT_EQ(filler::droppedPathAccepted(path), accepted) << path;
}

}  // namespace
}  // namespace plinka::test
