#include "app/settings_file.h"
#include "core/random_source.h"

#include "core/settings_defaults.h"
#include "db/table.h"
#include "library/media_types.h"
#include "platform/files.h"
#include "play/volume.h"
#include "support/fake_ui.h"
#include "support/temp_dir.h"

#include "support/record_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <vector>

using namespace plinka;
using namespace plinka::test;

namespace {

class SettingsFile : public ::testing::Test {
protected:
  SettingsFile() { app = freshApp(); }

  std::unique_ptr<App> freshApp() {
    auto a = std::make_unique<App>();
    a->folders.program = programDir.path();
    a->folders.data = dataDir.path();
    a->ui = &ui;
    return a;
  }

  std::string dataFile(const std::string& name) const { return dataDir.file(name); }
  void writeSettings(const std::string& bytes) { writeFile(dataFile("dPlinka.dat"), bytes); }

  SettingsRecord loadableRandom(uint32_t seed) {
    SettingsRecord s = randomRecord(seed);
    makeLoadable(s, app->folders);
    return s;
  }

  SettingsRecord firstRun() {
    SettingsRecord s;
    firstRunDefaults(s, app->folders);
    return s;
  }

  bool songTableOpens(const std::string& path) {
    db::TableHandle table;
    std::strcpy(table.path, path.c_str());
    const bool opened = db::openMapped(table);
    db::closeTable(table);
    return opened;
  }

  TempDir programDir, dataDir;
  FakeUi ui;
  std::unique_ptr<App> app;
};

TEST_F(SettingsFile, SavedRecordLoadsBackByteForByte) {
  app->settings = loadableRandom(1);
  shareSettings(*app);  // the running values come from the record
  const SettingsRecord saved = app->settings;
  ASSERT_TRUE(saveSettings(*app));
  const std::string onDisk = readFile(dataFile("dPlinka.dat"));
  EXPECT_EQ(onDisk, settingsFileBytes("PLIN1401", saved));

  auto loaded = freshApp();
  const LoadOutcome outcome = loadSettings(*loaded);
  EXPECT_TRUE(outcome.fileFound);
  EXPECT_EQ(outcome.version, kSettingsVersionCurrent);
  EXPECT_FALSE(outcome.welcomeShown);
  EXPECT_FALSE(outcome.mustEnd);
  EXPECT_EQ(recordBytes(loaded->settings), recordBytes(saved)) << firstDifference(loaded->settings, saved);

  ASSERT_TRUE(saveSettings(*loaded));
  EXPECT_EQ(readFile(dataFile("dPlinka.dat")), onDisk);
}

TEST_F(SettingsFile, MissingFileStartsFromDefaultsWithWelcomeAndANewSongTable) {
  struct Case {
    uint32_t welcomeAnswer;
    bool importRequested;
  } cases[] = {{1, true}, {2, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.welcomeAnswer);
    std::filesystem::remove(dataFile("Plinka.cvf"));
    ui.welcomeShown = 0;
    ui.welcomeAnswer = c.welcomeAnswer;
    app = freshApp();
    const LoadOutcome outcome = loadSettings(*app);
    EXPECT_FALSE(outcome.fileFound);
    EXPECT_TRUE(outcome.welcomeShown);
    EXPECT_EQ(ui.welcomeShown, 1);
    EXPECT_EQ(outcome.importRequested, c.importRequested);
    EXPECT_FALSE(outcome.mustEnd);
    EXPECT_EQ(recordBytes(app->settings), recordBytes(firstRun())) << firstDifference(app->settings, firstRun());
    EXPECT_STREQ(app->settings.databasePath, dataFile("Plinka.cvf").c_str());
    EXPECT_TRUE(outcome.songTableCreated);
    EXPECT_TRUE(songTableOpens(dataFile("Plinka.cvf")));
    EXPECT_FALSE(app->songTable.isOpen());
  }
  EXPECT_TRUE(ui.prompts.empty());
}

TEST_F(SettingsFile, SettingsLeftBesideTheProgramAreTakenOverAndSavedToTheDataFolder) {
  const SettingsRecord old = loadableRandom(2);
  writeFile(programDir.file("dPlinka.dat"), settingsFileBytes("PLIN1401", old));
  const LoadOutcome outcome = loadSettings(*app);
  EXPECT_TRUE(outcome.fileFound);
  EXPECT_FALSE(outcome.welcomeShown);
  EXPECT_EQ(recordBytes(app->settings), recordBytes(old));

  ASSERT_TRUE(saveSettings(*app));
  EXPECT_EQ(readFile(dataFile("dPlinka.dat")), settingsFileBytes("PLIN1401", old));
}

TEST_F(SettingsFile, Version400GainsTheFieldsItLacked) {
  writeFile(programDir.file("Cover.jpg"), "cover picture");
  const SettingsRecord old = loadableRandom(3);
  writeSettings(settingsFileBytes("PLIN1400", old));

  const LoadOutcome outcome = loadSettings(*app);
  EXPECT_EQ(outcome.version, 400u);
  EXPECT_FALSE(outcome.welcomeShown);
  EXPECT_FALSE(outcome.mustEnd);
  SettingsRecord expected = old;
  expected.bufferMode = 1;
  expected.bufferSize = 150;
  expected.localBufferCount = -1;
  expected.autoRateSpeed = 1;
  expected.autoRate = 0;
  expected.shutdownAfterBuild = 0;
  EXPECT_EQ(recordBytes(app->settings), recordBytes(expected)) << firstDifference(app->settings, expected);
  EXPECT_EQ(readFile(dataFile("Cover.jpg")), "cover picture");
}

TEST_F(SettingsFile, Versions3xxMoveTheirSingleChoicesIntoTheFirstStateAndKeepTheirList) {
  SettingsRecord old = loadableRandom(4);
  old.oldStateUser = 4;
  old.oldStatePlayUpTo = 2;
  old.oldStateMinRating = 7;
  old.oldStateNoArtistRepeat = 0;
  writeSettings(settingsFileBytes("PLIN1350", old));
  writeFile(dataFile("Playlist.m3u"), "/music/a.mp3\r\n");
  writeFile(dataFile("PL1.m3u"), "/music/older list.mp3\r\n");

  const LoadOutcome outcome = loadSettings(*app);
  EXPECT_EQ(outcome.version, 350u);
  EXPECT_FALSE(outcome.welcomeShown);
  SettingsRecord expected = old;
  stateReset(expected);
  expected.stateUser[0] = 4;
  expected.statePlayUpTo[0] = 2;
  expected.stateMinRating[0] = 7;
  expected.stateNoArtistRepeat[0] = 0;
  EXPECT_EQ(recordBytes(app->settings), recordBytes(expected)) << firstDifference(app->settings, expected);
  EXPECT_EQ(readFile(dataFile("PL1.m3u")), "/music/a.mp3\r\n");
}

TEST_F(SettingsFile, VersionsBelow300AskForTheUpgradeAndEnd) {
  struct Case {
    const char* magic;
    uint32_t answer;
    int helpOpened;
  } cases[] = {{"PLIN1299", kPromptFirst, 0}, {"PLIN1299", kPromptSecond, 1}, {"PLIN1130", kPromptSecond, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.magic) + " answered " + std::to_string(c.answer));
    FakeUi fresh;
    fresh.promptAnswers = {c.answer};
    app = freshApp();
    app->ui = &fresh;
    writeSettings(settingsFileBytes(c.magic, loadableRandom(5)));

    const LoadOutcome outcome = loadSettings(*app);
    EXPECT_TRUE(outcome.mustEnd);
    ASSERT_EQ(fresh.prompts.size(), 1u);
    EXPECT_EQ(fresh.prompts[0].message, "Sorry, you need to install version 1.3 first to upgrade your database");
    EXPECT_EQ(fresh.prompts[0].firstCaption, "OK");
    EXPECT_EQ(fresh.prompts[0].secondCaption, "View ReadMe");
    EXPECT_EQ(fresh.prompts[0].style, PromptStyle::SmallQuestion);
    EXPECT_EQ(fresh.helpOpened, c.helpOpened);
    EXPECT_EQ(fresh.welcomeShown, 0);
    EXPECT_FALSE(platform::fileExists(dataFile("Plinka.cvf")));
  }
}

TEST_F(SettingsFile, ForeignAndNewerFilesKeepTheirRecordButGetDefaultStates) {
  struct Case {
    const char* magic;
    uint32_t version;
    const char* keptAs;  // the copy kept before a save replaces the file
  } cases[] = {
      {"XYZW0001", kSettingsVersionForeign, "dPlinka.dat.foreign"},
      {"PLIN2401", kSettingsVersionForeign, "dPlinka.dat.foreign"},
      {"PLIN14x1", kSettingsVersionForeign, "dPlinka.dat.foreign"},  // not three digits: not a version
      {"PLIN1402", 402, "dPlinka.dat.v402"},
      {"PLIN1999", 999, "dPlinka.dat.v999"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.magic);
    const SettingsRecord held = loadableRandom(6);
    const std::string written = settingsFileBytes(c.magic, held);
    writeSettings(written);
    ui.welcomeShown = 0;
    app = freshApp();

    const LoadOutcome outcome = loadSettings(*app);
    EXPECT_EQ(outcome.version, c.version);
    EXPECT_EQ(ui.welcomeShown, 1);
    EXPECT_FALSE(outcome.mustEnd);
    SettingsRecord expected = held;
    stateReset(expected);
    EXPECT_EQ(recordBytes(app->settings), recordBytes(expected)) << firstDifference(app->settings, expected);

    // The save writes today's layout; the file as that version wrote it
    // stays beside it.
    ASSERT_TRUE(saveSettings(*app));
    EXPECT_EQ(outcome.unknownFileKeptAs, dataFile(c.keptAs));
    EXPECT_EQ(readFile(dataFile(c.keptAs)), written);
    EXPECT_EQ(readFile(dataFile("dPlinka.dat")).substr(0, 8), "PLIN1401");
  }
  // A file of today's version is not copied.
  app = freshApp();
  EXPECT_EQ(loadSettings(*app).unknownFileKeptAs, "");
}

TEST_F(SettingsFile, ShortFilesKeepFirstRunDefaultsBeyondTheirEnd) {
  const SettingsRecord held = loadableRandom(7);
  const std::string full = settingsFileBytes("PLIN1401", held);
  struct Case {
    size_t length;
    uint32_t version;
    bool welcome;
  } cases[] = {
      {0, kSettingsVersionForeign, true},        {4, kSettingsVersionForeign, true},
      {5, kSettingsVersionForeign, true},  // cut before its digits: not "too old"
      {7, kSettingsVersionForeign, true},        {8, kSettingsVersionCurrent, false},
      {8 + 640, kSettingsVersionCurrent, false}, {full.size() - 1, kSettingsVersionCurrent, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    writeSettings(full.substr(0, c.length));
    ui.welcomeShown = 0;
    app = freshApp();

    const LoadOutcome outcome = loadSettings(*app);
    EXPECT_TRUE(outcome.fileFound);
    EXPECT_EQ(outcome.version, c.version);
    EXPECT_EQ(ui.welcomeShown, c.welcome ? 1 : 0);
    EXPECT_FALSE(outcome.mustEnd);
    SettingsRecord expected = firstRun();
    const size_t recordPart = c.length > kSettingsMagicSize ? c.length - kSettingsMagicSize : 0;
    std::memcpy(&expected, &held, recordPart);
    EXPECT_EQ(recordBytes(app->settings), recordBytes(expected)) << firstDifference(app->settings, expected);
  }
}

TEST_F(SettingsFile, AFileCutInsideATextKeepsThatTextsDefaultAndSaysSo) {
  // The held path and the default share their front (the data folder), so
  // the front of one over the rest of the other names a third file.
  SettingsRecord held = loadableRandom(11);
  const std::string heldPath = dataFile("library/Plinka.cvf");
  std::strcpy(held.databasePath, heldPath.c_str());
  std::strcpy(held.userName[2], "Grandmother");
  const std::string full = settingsFileBytes("PLIN1401", held);
  const size_t pathAt = kSettingsMagicSize + offsetof(SettingsRecord, databasePath);
  const size_t nameAt = kSettingsMagicSize + offsetof(SettingsRecord, userName) + 2 * kNameSize;
  const SettingsRecord defaults = firstRun();

  struct Case {
    const char* name;
    size_t length;
    bool pathKept;  // else the default path
    bool told;
  } cases[] = {
      {"cut in the data folder part of the path", pathAt + 3, false, true},
      {"cut just before the path's end", pathAt + heldPath.size() - 1, false, true},
      {"cut after the path's terminator", pathAt + heldPath.size() + 1, true, false},
      {"cut at the end of the path's slot", pathAt + kPathSize, true, false},
      {"cut inside a user name", nameAt + 4, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(dataDir.path());
    std::filesystem::create_directories(dataFile("library"));
    writeSettings(full.substr(0, c.length));
    FakeUi fresh;
    app = freshApp();
    app->ui = &fresh;

    const LoadOutcome outcome = loadSettings(*app);
    const std::string path = app->settings.databasePath;
    EXPECT_EQ(path, c.pathKept ? heldPath : dataFile("Plinka.cvf"));
    EXPECT_EQ(outcome.settingsCutShort, c.told);
    ASSERT_EQ(fresh.prompts.size(), c.told ? 1u : 0u);
    if (c.told) {
      EXPECT_NE(fresh.prompts[0].message.find("The settings file is damaged"), std::string::npos);
    }
    // The only song table made is the one the path names.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dataDir.path())) {
      if (entry.path().extension() == ".cvf") {
        EXPECT_EQ(entry.path().string(), path);
      }
    }
    if (c.length > nameAt) {
      EXPECT_STREQ(app->settings.userName[2], defaults.userName[2]);
      EXPECT_STREQ(app->settings.userName[1], held.userName[1]) << "whole texts before the cut are kept";
    }
  }
}

TEST_F(SettingsFile, IndexesOutsideTheirArraysAndUnendedTextsAreMadeSafe) {
  SettingsRecord held = loadableRandom(8);
  held.currentState = 10;
  held.stateUser[0] = 10;
  held.stateUser[9] = 0xFFFFFFFF;
  held.stateAltMode[0] = 10;  // kept: the keyboard can choose it
  held.stateAltMode[3] = 11;
  held.stateVolumeCut[2] = 1001;
  held.levelling = 3;
  held.localBufferCount = 12;
  held.localDbFlag = 0;
  std::memset(held.userName[9], 'n', kNameSize);
  std::memset(held.recentArtists[19], 'a', 70);
  std::memset(held.importSource, 'i', kPathSize);
  std::memset(held.fillerSettings.fillDirectory, 'd', kPathSize);
  writeSettings(settingsFileBytes("PLIN1401", held));

  loadSettings(*app);
  SettingsRecord expected = held;
  expected.currentState = 0;
  expected.stateUser[0] = 0;
  expected.stateUser[9] = 0;
  expected.stateAltMode[3] = 0;
  expected.stateVolumeCut[2] = kVolumeCutRange;  // silent, never beyond
  expected.levelling = static_cast<uint32_t>(Levelling::Off);
  expected.localBufferCount = -1;
  expected.localDbFlag = 1;
  expected.userName[9][kNameSize - 1] = 0;
  expected.recentArtists[19][69] = 0;
  expected.importSource[kPathSize - 1] = 0;
  expected.fillerSettings.fillDirectory[kPathSize - 1] = 0;
  EXPECT_EQ(recordBytes(app->settings), recordBytes(expected)) << firstDifference(app->settings, expected);
}

TEST_F(SettingsFile, ASongTableThatCannotBeOpenedIsNeverReplaced) {
  struct Case {
    const char* content;
    uint32_t answer;
    bool prompted;
    int helpOpened;
  } cases[] = {
      {"this is not a song table, but it is somebody's data", kPromptFirst, true, 0},
      {"this is not a song table, but it is somebody's data", kPromptSecond, true, 1},
      {"", kPromptFirst, false, 0},  // an empty file holds nothing to lose
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content);
    writeFile(dataFile("Plinka.cvf"), c.content);
    FakeUi fresh;
    fresh.promptAnswers = {c.answer};
    app = freshApp();
    app->ui = &fresh;

    const LoadOutcome outcome = loadSettings(*app);
    EXPECT_EQ(outcome.songTableUnreadable, c.prompted);
    if (c.prompted) {
      EXPECT_EQ(readFile(dataFile("Plinka.cvf")), c.content);
      ASSERT_EQ(fresh.prompts.size(), 1u);
      EXPECT_EQ(fresh.prompts[0].message, "The song database could not be opened: " + dataFile("Plinka.cvf"));
      EXPECT_EQ(fresh.prompts[0].firstCaption, "OK");
      EXPECT_EQ(fresh.prompts[0].secondCaption, "View ReadMe");
      EXPECT_EQ(fresh.prompts[0].style, PromptStyle::SmallQuestion);
    } else {
      EXPECT_TRUE(fresh.prompts.empty());
      EXPECT_TRUE(songTableOpens(dataFile("Plinka.cvf")));
    }
    EXPECT_EQ(fresh.helpOpened, c.helpOpened);
  }
}

TEST_F(SettingsFile, ASongTableTooBigToIndexIsLeftAloneWithItsOwnMessage) {
  // A header promising billions of one-byte slots over a sparse file.
  const std::string path = dataFile("Plinka.cvf");
  const uint32_t types[] = {0};
  db::TableHandle h;
  ASSERT_TRUE(db::createTableFile(h, path.c_str(), types, 1));
  const uint64_t length = h.slotAreaOffset + uint64_t{0xF0000000u} * h.slotSize;
  db::closeTable(h);
  std::filesystem::resize_file(path, length);
  const uint32_t slots = 0xF0000000u;
  std::FILE* f = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(f, nullptr);
  std::fseek(f, db::kSlotCountOffset, SEEK_SET);
  std::fwrite(&slots, 4, 1, f);
  std::fclose(f);

  const LoadOutcome outcome = loadSettings(*app);
  EXPECT_TRUE(outcome.songTableUnreadable);
  EXPECT_FALSE(outcome.songTableCreated);
  ASSERT_EQ(ui.prompts.size(), 1u);
  EXPECT_EQ(ui.prompts[0].message,
            "The song database declares more records than this computer's memory can hold, so it is not opened: " +
                path);
  EXPECT_EQ(std::filesystem::file_size(path), length);
}

TEST_F(SettingsFile, ASongTablePathThatIsAFifoIsRefusedAtOnceAndLeftAlone) {
  const std::string path = dataFile("Plinka.cvf");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  const LoadOutcome outcome = loadSettings(*app);
  EXPECT_TRUE(outcome.songTableUnreadable);
  EXPECT_FALSE(outcome.songTableCreated);
  ASSERT_EQ(ui.prompts.size(), 1u);
  EXPECT_EQ(ui.prompts[0].message, "The song database is not a regular file, so it is not opened: " + path);
  EXPECT_TRUE(std::filesystem::is_fifo(path));
  EXPECT_FALSE(std::filesystem::exists(dataFile(".Plinka.cvf.lock")));
}

TEST_F(SettingsFile, ADefaultCoverInTheDataFolderIsKept) {
  writeFile(programDir.file("Cover.jpg"), "factory cover");
  writeFile(dataFile("Cover.jpg"), "the user's own cover");
  loadSettings(*app);  // first run
  EXPECT_EQ(readFile(dataFile("Cover.jpg")), "the user's own cover");
}

TEST_F(SettingsFile, QuittingWritesOrDeletesTheStateListFile) {
  struct Case {
    std::vector<std::string> rows;
    bool doNotSave;
    bool fileBefore;
    bool fileAfter;
    std::string content;
  } cases[] = {
      {{"/music/a.mp3", "/music/b c.mp3"}, false, true, true, "/music/a.mp3\r\n/music/b c.mp3\r\n"},
      {{"/music/a.mp3"}, false, false, true, "/music/a.mp3\r\n"},
      {{}, false, true, false, ""},
      {{}, false, false, false, ""},
      {{}, true, true, true, "/music/kept.mp3\r\n"},
      {{"/music/a.mp3"}, true, true, true, "/music/kept.mp3\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.rows.size() << " rows, doNotSave " << c.doNotSave);
    app = freshApp();
    firstRunDefaults(app->settings, app->folders);
    app->settings.currentState = 2;
    for (const auto& name : c.rows) {
      play::ListRow row;
      row.column[play::FileName] = name;
      app->list.append(row);
    }
    if (c.doNotSave)
      app->listFileKept = 1;
    std::filesystem::remove(dataFile("PL3.m3u"));
    if (c.fileBefore)
      writeFile(dataFile("PL3.m3u"), "/music/kept.mp3\r\n");

    EXPECT_TRUE(saveSettings(*app));
    EXPECT_EQ(platform::fileExists(dataFile("PL3.m3u")), c.fileAfter);
    if (c.fileAfter) {
      EXPECT_EQ(readFile(dataFile("PL3.m3u")), c.content);
    }
    EXPECT_FALSE(platform::fileExists(dataFile("PL1.m3u")));
  }
}

TEST_F(SettingsFile, ASaveThatCannotBeFinishedLeavesEverythingAsItWas) {
  // A folder where the settings file belongs: the new file cannot take its place.
  std::filesystem::create_directory(dataFile("dPlinka.dat"));
  writeFile(dataFile("PL1.m3u"), "/music/kept.mp3\r\n");
  firstRunDefaults(app->settings, app->folders);

  EXPECT_FALSE(saveSettings(*app));
  EXPECT_TRUE(platform::folderExists(dataFile("dPlinka.dat")));
  EXPECT_EQ(readFile(dataFile("PL1.m3u")), "/music/kept.mp3\r\n");
  size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dataDir.path()))
    ++entries;
  EXPECT_EQ(entries, 2u) << "a temporary file was left behind";

  app->folders.data = dataDir.file("missing/");
  EXPECT_FALSE(saveSettings(*app));
}

// Damaged files of every kind load without harm and leave every index the
// record holds inside the array it selects.
TEST_F(SettingsFile, DamagedFilesLoadSafely) {
  std::mt19937 rng(2024);
  const SettingsRecord base = loadableRandom(9);
  const std::string good = dataFile("Plinka.cvf");
  const size_t pathAt = kSettingsMagicSize + offsetof(SettingsRecord, databasePath);
  const char* magics[] = {"PLIN1401", "PLIN1400", "PLIN1350", "PLIN1299", "PLIN1402", "XYZW0001"};

  for (int round = 0; round < 600; ++round) {
    std::string bytes = settingsFileBytes(magics[rng() % std::size(magics)], base);
    switch (round % 3) {
    case 0:  // cut anywhere
      bytes.resize(rng() % (bytes.size() + 1));
      break;
    case 1:  // a few bits flipped anywhere, the magic included
      for (int flips = 1 + rng() % 24; flips > 0; --flips)
        bytes[rng() % bytes.size()] ^= static_cast<char>(1 << (rng() % 8));
      break;
    default:  // random content behind a magic
      for (size_t i = kSettingsMagicSize; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(rng());
      bytes.resize(kSettingsMagicSize + rng() % (sizeof(SettingsRecord) + 1));
      break;
    }
    // Keep the song table inside the test's folder, wherever the damage fell.
    if (bytes.size() > pathAt)
      bytes.replace(pathAt, std::min(good.size() + 1, bytes.size() - pathAt), good.c_str(),
                    std::min(good.size() + 1, bytes.size() - pathAt));
    writeSettings(bytes);
    FakeUi quiet;
    app = freshApp();
    app->ui = &quiet;

    const LoadOutcome outcome = loadSettings(*app);
    SCOPED_TRACE(::testing::Message() << "round " << round << ", version " << outcome.version);
    const SettingsRecord& s = app->settings;
    ASSERT_LT(s.currentState, 10u);
    for (int i = 0; i < kStateCount; ++i) {
      ASSERT_LT(+s.stateUser[i], 10u);
      ASSERT_LE(+s.stateAltMode[i], 10u);
      ASSERT_EQ(s.stateName[i][kNameSize - 1], 0);
    }
    for (const auto& name : s.userName)
      ASSERT_EQ(name[kNameSize - 1], 0);
    for (const auto& name : s.altModeName)
      ASSERT_EQ(name[kNameSize - 1], 0);
    for (const auto& pattern : s.altModePattern)
      ASSERT_EQ(pattern[kNameSize - 1], 0);
    for (const auto& artist : s.recentArtists)
      ASSERT_EQ(artist[69], 0);
    ASSERT_EQ(s.databasePath[kPathSize - 1], 0);
    ASSERT_EQ(s.importSource[kPathSize - 1], 0);
    ASSERT_EQ(s.fillerSettings.fillDirectory[kPathSize - 1], 0);
    ASSERT_EQ(+s.localBufferCount, -1);
    ASSERT_EQ(+s.localDbFlag, 1u);
    ASSERT_EQ(outcome.mustEnd, outcome.version < 300);
    ASSERT_FALSE(app->songTable.isOpen());
  }
}

}  // namespace

// Files written before the later media types existed have zeros where their
// filters are kept: every old filter loads unchanged and the later types are
// on, each still subject to "All" and its own box from then on.
TEST_F(SettingsFile, FilesFromBeforeTheLaterTypesLoadWithThemOn) {
  SettingsRecord old = firstRun();
  old.typeWav = 0;
  old.typeWmv = 0;
  old.typeAll = 0;
  std::memset(reinterpret_cast<char*>(&old) + offsetof(SettingsRecord, newTypesOff), 0, 24);
  writeSettings(settingsFileBytes("PLIN1401", old));

  ASSERT_FALSE(loadSettings(*app).mustEnd);
  const SettingsRecord& s = app->settings;
  EXPECT_EQ(+s.typeWav, 0u);
  EXPECT_EQ(+s.typeWmv, 0u);
  EXPECT_EQ(+s.typeMp3, 1u);
  EXPECT_EQ(+s.newTypesOff, 0u);
  EXPECT_EQ(library::mediaType(s, "a.wav"), library::kMediaNone);
  for (const char* name : {"a.flac", "a.ogg", "a.opus", "a.m4a", "a.aac", "v.mp4", "v.mkv", "v.webm"})
    EXPECT_NE(library::mediaType(s, name), library::kMediaNone) << name;
}

// Files written before volume and levelling existed hold zeros there: full
// volume in every State and nothing levelled.
TEST_F(SettingsFile, FilesFromBeforeVolumeLoadAtFullVolumeWithoutLevelling) {
  SettingsRecord old = loadableRandom(21);
  std::memset(reinterpret_cast<char*>(&old) + offsetof(SettingsRecord, reserved6774), 0,
              sizeof(SettingsRecord) - offsetof(SettingsRecord, reserved6774));
  writeSettings(settingsFileBytes("PLIN1401", old));

  ASSERT_FALSE(loadSettings(*app).mustEnd);
  for (uint32_t state = 0; state < kStateCount; ++state)
    EXPECT_EQ(play::stateVolume(*app, state), 1.0) << state;
  EXPECT_EQ(app->shared.levelling.load(), static_cast<uint32_t>(Levelling::Off));
}
