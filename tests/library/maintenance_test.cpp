// The Database window's maintenance functions on small song tables: what
// each asks before it runs, what it changes, and what the window's status
// lines are left showing.
#include "library/maintenance.h"

#include "app/app.h"
#include "app/scheduler.h"
#include "core/busy_code.h"
#include "core/run_state.h"
#include "core/settings_defaults.h"
#include "db/sort.h"
#include "db/table.h"
#include "import_fixture.h"
#include "library/maintenance_passes.h"
#include "support/fake_ui.h"
#include "support/song_table.h"
#include "support/temp_dir.h"
#include "text/text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace plinka;
using namespace plinka::test;
using library::MaintenanceFunction;
using library::MaintenanceInputs;
using library::MaintenanceOutcome;
using ::testing::ElementsAre;

namespace {

constexpr uint32_t kBusy = codeValue(BusyCode::Maintenance);

// One record in use as a test looks at it.
struct Song {
  uint32_t slot = 0;
  std::string fileName, name, artist;
  uint32_t startPoint = 0, endPoint = 0;
  std::vector<uint32_t> scores, targets;
};

// A song table at the settings' databasePath in a fresh data folder, with a
// scripted front end.
struct MaintenanceFixture {
  TempDir dir;
  std::unique_ptr<App> app = std::make_unique<App>();
  FakeUi ui;

  MaintenanceFixture() {
    app->folders.program = dir.path();
    app->folders.data = dir.path();
    firstRunDefaults(app->settings, app->folders);
    shareSettings(*app);
    app->ui = &ui;
  }

  std::string databasePath() const { return app->settings.databasePath; }

  // One record per FileName, record k in slot k; user u's Score is
  // 100 + 10k + u, Target 50 + u; StartPoint 7, EndPoint 9.
  void makeTable(const std::vector<std::string>& fileNames,
                 const std::function<void(db::TableHandle&, uint32_t)>& more = nullptr) {
    db::TableHandle h;
    makeSongTable(h, databasePath(), static_cast<uint32_t>(fileNames.size()), [&](db::TableHandle& t, uint32_t k) {
      putText(t, k, db::FileName, fileNames[k]);
      putText(t, k, db::Name, "Song " + std::to_string(k));
      for (uint32_t u = 0; u < kUserCount; ++u) {
        putNumber(t, k, db::scoreField(u), 100 + 10 * k + u);
        putNumber(t, k, db::targetField(u), 50 + u);
      }
      putNumber(t, k, db::StartPoint, 7);
      putNumber(t, k, db::EndPoint, 9);
      if (more)
        more(t, k);
    });
  }

  // Changes the table between runs, through a handle of its own.
  void change(const std::function<void(db::TableHandle&)>& edit) {
    db::TableHandle h;
    text::copy(h.path, app->settings.databasePath);
    h.writable = 1;
    ASSERT_TRUE(db::openMapped(h));
    edit(h);
    db::closeTable(h);
  }

  // Runs a function as the command line does, the access already granted.
  library::MaintenanceResult run(MaintenanceFunction function, const MaintenanceInputs& inputs = {}) {
    app->run.busyCode.store(kBusy);
    return library::runMaintenance(*app, function, inputs);
  }
  // Runs the worker as the window's "Go!" does, the access already granted.
  void work(MaintenanceFunction function) {
    app->settings.dbWindowOption = static_cast<uint32_t>(function);
    app->run.busyCode.store(kBusy);
    library::maintenanceWorker(*app);
  }

  std::vector<Song> songs() const {
    db::TableHandle h;
    text::copy(h.path, app->settings.databasePath);
    std::vector<Song> out;
    if (!db::openMapped(h)) {
      ADD_FAILURE() << "the song table does not open";
      return out;
    }
    for (uint32_t s = 0; s < h.slotCount; ++s) {
      if (db::getStatus(h, s) != static_cast<int32_t>(db::kStatusInUse))
        continue;
      auto text = [&](uint32_t f) { return db::readField(h, s, f) >= 0 ? std::string(h.text) : std::string("?"); };
      auto number = [&](uint32_t f) { return db::readField(h, s, f) >= 0 ? h.value : 0xDEADu; };
      Song song;
      song.slot = s;
      song.fileName = text(db::FileName);
      song.name = text(db::Name);
      song.artist = text(db::Artist);
      song.startPoint = number(db::StartPoint);
      song.endPoint = number(db::EndPoint);
      for (uint32_t u = 0; u < kUserCount; ++u) {
        song.scores.push_back(number(db::scoreField(u)));
        song.targets.push_back(number(db::targetField(u)));
      }
      out.push_back(song);
    }
    db::closeTable(h);
    return out;
  }
  std::vector<uint32_t> slotsInUse() const {
    std::vector<uint32_t> slots;
    for (const Song& s : songs())
      slots.push_back(s.slot);
    return slots;
  }

  // The texts status line `line` of the Database window was given, in order.
  std::vector<std::string> statusLine(uint32_t line) const {
    std::vector<std::string> texts;
    for (const FakeUi::ProgressLine& p : ui.progressLines)
      if (p.window == WindowKind::Database && p.line == line)
        texts.push_back(p.text);
    return texts;
  }
  std::vector<std::string> promptMessages() const {
    std::vector<std::string> messages;
    for (const PromptRequest& p : ui.prompts)
      messages.push_back(p.message);
    return messages;
  }
};

MaintenanceInputs playlistAt(const std::string& path) {
  MaintenanceInputs inputs;
  inputs.playlistPath = path;
  return inputs;
}

MaintenanceInputs startingAt(uint32_t start) {
  MaintenanceInputs inputs;
  inputs.startNumber = start;
  return inputs;
}

std::vector<std::string> names(const char* stem, uint32_t count) {
  std::vector<std::string> out;
  for (uint32_t k = 0; k < count; ++k)
    out.push_back(std::string("/music/") + stem + std::to_string(k) + ".mp3");
  return out;
}

TEST(Maintenance, AnInputOrConfirmationTurnedDownChangesNothing) {
  struct Case {
    const char* label;
    MaintenanceFunction function;
    std::vector<uint32_t> keypad;
    std::vector<uint32_t> promptAnswers;
    std::vector<std::string> entries;
    std::vector<std::string> saveAnswers;
    int keypadsShown;
    std::vector<std::string> prompts;  // every prompt asked, in order
  } cases[] = {
      {"copy ratings to the same user", MaintenanceFunction::CopyRatings, {1203, 1203}, {}, {}, {}, 2, {}},
      {"copy ratings from user 0", MaintenanceFunction::CopyRatings, {1200}, {}, {}, {}, 1, {}},
      {"copy ratings, target cancelled", MaintenanceFunction::CopyRatings, {1203, kPromptSecond}, {}, {}, {}, 2, {}},
      {"upscore, D", MaintenanceFunction::UpScore, {kKeypadDelete}, {}, {}, {}, 1, {}},
      {"upscore, cancel", MaintenanceFunction::UpScore, {kPromptSecond}, {}, {}, {}, 1, {}},
      {"upscore, not confirmed", MaintenanceFunction::UpScore, {1202}, {2}, {}, {}, 1, {"UpScore Songs for  - 2"}},
      {"redefault, Cancel", MaintenanceFunction::ReDefault, {}, {2}, {"3"}, {}, 0, {"Start From"}},
      {"redefault, 0", MaintenanceFunction::ReDefault, {}, {1}, {"0"}, {}, 0, {"Start From"}},
      {"redefault, not a number", MaintenanceFunction::ReDefault, {}, {1}, {"3x"}, {}, 0, {"Start From"}},
      {"save, dialog cancelled", MaintenanceFunction::SaveAsPlaylist, {}, {}, {}, {""}, 0, {}},
      {"duplicates, not confirmed", MaintenanceFunction::RemoveDuplicates, {}, {2}, {}, {}, 0, {"Remove duplicates"}},
  };
  for (const Case& c : cases) {
    MaintenanceFixture f;
    f.makeTable({"/m/a.mp3", "/m/a.mp3", "/m/b.mp3"});
    const std::string before = readFile(f.databasePath());
    f.ui.keypadAnswers.assign(c.keypad.begin(), c.keypad.end());
    f.ui.promptAnswers.assign(c.promptAnswers.begin(), c.promptAnswers.end());
    f.ui.entryAnswers.assign(c.entries.begin(), c.entries.end());
    f.ui.saveFileAnswers.assign(c.saveAnswers.begin(), c.saveAnswers.end());
    f.app->copies.localCopyRefreshCounter.store(7);

    // Nothing is asked for while the user answers, so no access is granted
    // here: a question turned down never asks for it.
    f.app->settings.dbWindowOption = static_cast<uint32_t>(c.function);
    library::maintenanceWorker(*f.app);
    EXPECT_EQ(readFile(f.databasePath()), before) << c.label;
    EXPECT_EQ(f.ui.keypadsShown, c.keypadsShown) << c.label;
    EXPECT_EQ(f.promptMessages(), c.prompts) << c.label;
    EXPECT_TRUE(f.ui.progressLines.empty()) << c.label;
    EXPECT_EQ(f.app->run.busyCode.load(), 0u) << c.label;
    EXPECT_EQ(f.app->run.commandSlot.load(), 0u) << c.label;
    EXPECT_EQ(f.app->copies.localCopyRefreshCounter.load(), 7u) << c.label;
  }
}

// The questions come before the request for the song table: the player and
// the list builder are never kept waiting for the user's answer.
TEST(Maintenance, NothingIsHeldWhileTheUserIsAsked) {
  MaintenanceFixture f;
  f.makeTable({"/m/a.mp3", "/m/b.mp3"});
  f.ui.keypadAnswers = {1203, 1204};
  std::atomic<int> asked{0}, askedWhileHeld{0};
  f.ui.whileAsked = [&] {
    ++asked;
    if (f.app->run.busyCode.load() != 0 || f.app->run.commandSlot.load() != 0)
      ++askedWhileHeld;
  };
  f.app->clock.speed = 10;
  startHeartbeat(*f.app);  // grants the request, as in the program
  f.app->settings.dbWindowOption = static_cast<uint32_t>(MaintenanceFunction::CopyRatings);
  library::maintenanceWorker(*f.app);
  stopScheduler(*f.app);
  EXPECT_EQ(asked.load(), 3) << "two keypads and the confirmation";
  EXPECT_EQ(askedWhileHeld.load(), 0);
  for (const Song& s : f.songs())
    EXPECT_EQ(s.scores[3], s.scores[2]) << "copied once granted, slot " << s.slot;
  EXPECT_EQ(f.app->run.busyCode.load(), 0u);
}

TEST(Maintenance, FromTheWindowItAsksConfirmsRunsAndEndsWithFinished) {
  struct Case {
    const char* label;
    MaintenanceFunction function;
    std::vector<uint32_t> keypad;
    std::vector<std::string> entries;
    bool saveAnswer;
    std::string confirmation;  // "FILE" stands for the chosen playlist's path
    std::function<void(const std::vector<Song>&, const std::string& playlist)> check;
  } cases[] = {
      {"upscore user 2 with target value 1000",
       MaintenanceFunction::UpScore,
       {1202},
       {},
       false,
       "UpScore Songs for  - 2",
       [](const std::vector<Song>& songs, const std::string&) {
         for (const Song& s : songs) {
           EXPECT_EQ(s.scores[1], 2000u) << "field 15, slot " << s.slot;
           EXPECT_EQ(s.scores[0], 100 + 10 * s.slot);
           EXPECT_EQ(s.targets[1], 51u);
         }
       }},
      {"copy ratings from 3 to 4",
       MaintenanceFunction::CopyRatings,
       {1203, 1204},
       {},
       false,
       "Copy Ratings from 3 to 4",
       [](const std::vector<Song>& songs, const std::string&) {
         for (const Song& s : songs) {
           EXPECT_EQ(s.scores[3], s.scores[2]) << "slot " << s.slot;
           EXPECT_EQ(s.scores[2], 100 + 10 * s.slot + 2);
           EXPECT_EQ(s.targets[3], 53u) << "targets are not copied";
         }
       }},
      {"redefault from the 2nd record",
       MaintenanceFunction::ReDefault,
       {},
       {" 2 "},
       false,
       "ReDefault Songs",
       [](const std::vector<Song>& songs, const std::string&) {
         for (const Song& s : songs)
           EXPECT_EQ(s.scores[9], s.slot == 0 ? 109u : 16u) << "slot " << s.slot;
       }},
      {"save as playlist",
       MaintenanceFunction::SaveAsPlaylist,
       {},
       {},
       true,
       "Save DB as Playlist FILE",
       [](const std::vector<Song>&, const std::string& playlist) {
         EXPECT_EQ(readFile(playlist), "/m/a.mp3\r\n/m/b.mp3\r\n/m/c.mp3\r\n");
       }},
  };
  for (const Case& c : cases) {
    MaintenanceFixture f;
    f.makeTable({"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"});
    const std::string playlist = f.dir.file("out/all.m3u");
    std::filesystem::create_directories(f.dir.file("out"));
    f.ui.keypadAnswers.assign(c.keypad.begin(), c.keypad.end());
    f.ui.entryAnswers.assign(c.entries.begin(), c.entries.end());
    if (c.saveAnswer)
      f.ui.saveFileAnswers.push_back(playlist);
    f.ui.promptAnswers = {1, 1};  // "OK" to the start number, then the confirmation

    f.work(c.function);
    std::string confirmation = c.confirmation;
    if (confirmation.ends_with("FILE"))
      confirmation.replace(confirmation.size() - 4, 4, playlist);
    ASSERT_FALSE(f.ui.prompts.empty()) << c.label;
    const PromptRequest& asked = f.ui.prompts.back();
    EXPECT_EQ(asked.message, confirmation) << c.label;
    EXPECT_EQ(asked.firstCaption, "Yes, please run function") << c.label;
    EXPECT_EQ(asked.secondCaption, "No, abort function") << c.label;
    c.check(f.songs(), playlist);
    EXPECT_EQ(f.statusLine(0).front(), confirmation) << c.label;
    EXPECT_EQ(f.statusLine(0).back(), "Finished") << c.label;
    EXPECT_EQ(f.statusLine(1).back(), f.databasePath()) << c.label;
    ASSERT_FALSE(f.ui.workReports.empty()) << c.label;
    EXPECT_TRUE(f.ui.workReports.back().progress.finished) << c.label;
    EXPECT_EQ(f.app->run.busyCode.load(), 0u) << c.label;
    EXPECT_EQ(f.app->copies.localCopyRefreshCounter.load(), 100u) << c.label;
    EXPECT_FALSE(f.app->songTable.isOpen()) << c.label;
  }
}

TEST(Maintenance, RemoveDuplicatesKeepsTheLowerSlotAndPathsThatDifferInLetterCase) {
  MaintenanceFixture f;
  f.makeTable({"/m/a.mp3", "/m/b.mp3", "/m/A.mp3", "/m/a.mp3", "/m/b.mp3", "/m/a.mp3", "/m/c.mp3"});
  const library::MaintenanceResult result = f.run(MaintenanceFunction::RemoveDuplicates);
  EXPECT_EQ(result.outcome, MaintenanceOutcome::Finished);
  EXPECT_THAT(f.slotsInUse(), ElementsAre(0u, 1u, 2u, 6u));
  EXPECT_EQ(result.changed, 3u);
  // The window's counts line names what was done to them.
  ASSERT_FALSE(f.ui.workReports.empty());
  EXPECT_EQ(f.ui.workReports.back().progress.added, 3u);
  EXPECT_STREQ(f.ui.workReports.back().progress.doneWord, "removed");
  EXPECT_EQ(f.statusLine(0).back(), "Finished");
  EXPECT_EQ(f.statusLine(1).back(), f.databasePath());
}

TEST(Maintenance, UndeleteAllRevivesSlotsCompactionLeftBehindAndDuplicatesGoAgain) {
  MaintenanceFixture f;
  f.makeTable(names("song", 6));
  // Songs 1 and 2 deleted, then compaction moves songs 3-5 down: their old
  // slots 4 and 5 are free but still hold songs 4 and 5.
  f.change([](db::TableHandle& h) {
    ASSERT_TRUE(db::setStatus(h, 1, db::kStatusFree));
    ASSERT_TRUE(db::setStatus(h, 2, db::kStatusFree));
    ASSERT_TRUE(db::compact(h));
  });
  ASSERT_THAT(f.slotsInUse(), ElementsAre(0u, 1u, 2u, 3u));

  EXPECT_EQ(f.run(MaintenanceFunction::UndeleteAll).changed, 2u);
  std::vector<std::string> files;
  for (const Song& s : f.songs())
    files.push_back(s.fileName);
  EXPECT_THAT(files, ElementsAre("/music/song0.mp3", "/music/song3.mp3", "/music/song4.mp3", "/music/song5.mp3",
                                 "/music/song4.mp3", "/music/song5.mp3"));

  f.run(MaintenanceFunction::RemoveDuplicates);
  EXPECT_THAT(f.slotsInUse(), ElementsAre(0u, 1u, 2u, 3u));

  // A table whose every record was deleted gets them all back.
  f.change([](db::TableHandle& h) {
    for (uint32_t s = 0; s < 4; ++s)
      ASSERT_TRUE(db::setStatus(h, s, db::kStatusFree));
  });
  f.run(MaintenanceFunction::UndeleteAll);
  EXPECT_EQ(f.slotsInUse().size(), 6u);
}

TEST(Maintenance, SaveAsPlaylistReplacesALongerFileWholeAndAFailedWriteIsNotFinished) {
  MaintenanceFixture f;
  f.makeTable({"/m/one.mp3", "/m/two.mp3", "/m/deleted.mp3", "/m/line\nbreak.mp3", "/m/three.mp3"});
  f.change([](db::TableHandle& h) { ASSERT_TRUE(db::setStatus(h, 2, db::kStatusFree)); });
  const std::string playlist = f.dir.file("lists/all.m3u");
  std::filesystem::create_directories(f.dir.file("lists"));
  writeFile(playlist, std::string(5000, 'x') + "\r\n/old/song.mp3\r\n");

  library::MaintenanceResult result = f.run(MaintenanceFunction::SaveAsPlaylist, playlistAt(playlist));
  EXPECT_EQ(result.outcome, MaintenanceOutcome::Finished);
  EXPECT_EQ(readFile(playlist), "/m/one.mp3\r\n/m/two.mp3\r\n/m/three.mp3\r\n");
  EXPECT_EQ(result.skipped, 1u) << "a path holding a line break would read back as two";
  size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(f.dir.file("lists")))
    ++entries;
  EXPECT_EQ(entries, 1u) << "no temporary file is left beside it";

  const std::string nowhere = f.dir.file("no such folder/all.m3u");
  result = f.run(MaintenanceFunction::SaveAsPlaylist, playlistAt(nowhere));
  EXPECT_EQ(result.outcome, MaintenanceOutcome::PlaylistNotWritten);
  EXPECT_EQ(f.statusLine(0).back(), "Playlist could not be written");
  EXPECT_EQ(f.statusLine(1).back(), nowhere);
  EXPECT_FALSE(std::filesystem::exists(nowhere));
}

TEST(Maintenance, ReDefaultStartsAtTheNthRecordInUseOrTheLastAndNeverAtNone) {
  struct Case {
    uint32_t start;
    std::vector<uint32_t> changedSlots;
  } cases[] = {
      {1, {0, 1, 3, 4}}, {2, {1, 3, 4}}, {3, {3, 4}}, {4, {4}}, {99, {4}}, {0, {}},
  };
  for (const Case& c : cases) {
    MaintenanceFixture f;
    f.makeTable(names("s", 5));
    f.change([](db::TableHandle& h) { ASSERT_TRUE(db::setStatus(h, 2, db::kStatusFree)); });
    const library::MaintenanceResult result = f.run(MaintenanceFunction::ReDefault, startingAt(c.start));
    EXPECT_EQ(result.outcome, c.start == 0 ? MaintenanceOutcome::Cancelled : MaintenanceOutcome::Finished);
    std::vector<uint32_t> changed;
    for (const Song& s : f.songs()) {
      const bool isDefault = s.scores[0] == 16u;
      for (uint32_t u = 0; u < kUserCount; ++u) {
        EXPECT_EQ(s.scores[u], isDefault ? 16u : 100 + 10 * s.slot + u) << "start " << c.start;
        EXPECT_EQ(s.targets[u], 50 + u) << "start " << c.start;
      }
      if (isDefault)
        changed.push_back(s.slot);
    }
    EXPECT_EQ(changed, c.changedSlots) << "start " << c.start;
  }
}

TEST(Maintenance, AStopRequestEndsTheWalkAfterTheRecordInHand) {
  MaintenanceFixture f;
  constexpr uint32_t kSongs = 3 * library::kMaintenanceProgressEvery;
  f.makeTable(std::vector<std::string>(kSongs, "/m/same.mp3"));
  uint32_t lookedAtStop = 0;
  f.ui.afterWorkProgress = [&](const WorkProgress& p) {
    if (lookedAtStop == 0 && !p.finished) {
      lookedAtStop = p.looked;
      f.app->run.stopRequest.store(1);
    }
  };
  const library::MaintenanceResult result = f.run(MaintenanceFunction::RemoveDuplicates);
  ASSERT_GT(lookedAtStop, 1u);
  EXPECT_TRUE(result.stopped);
  EXPECT_EQ(result.looked, lookedAtStop);
  // Slot 0 kept, every later record up to the one in hand deleted, the rest
  // untouched.
  const std::vector<uint32_t> slots = f.slotsInUse();
  ASSERT_EQ(slots.size(), 1 + kSongs - lookedAtStop);
  EXPECT_EQ(slots[0], 0u);
  EXPECT_EQ(slots[1], lookedAtStop);
  EXPECT_EQ(f.statusLine(0).back(), "Finished");
  EXPECT_EQ(f.app->run.busyCode.load(), 0u);
}

TEST(Maintenance, RemoveMissingFilesDeletesTheRecordsOfFilesThatAreGoneAndShowsThem) {
  MaintenanceFixture f;
  const std::string here = f.dir.file("here.mp3");
  const std::string gone = f.dir.file("gone.mp3");
  const std::string underAFile = here + "/inside.mp3";
  writeFile(here, "x");
  f.makeTable({here, gone, here, underAFile});

  const library::MaintenanceResult result = f.run(MaintenanceFunction::RemoveMissing);
  EXPECT_THAT(f.slotsInUse(), ElementsAre(0u, 2u));
  EXPECT_EQ(result.changed, 2u);
  EXPECT_THAT(f.statusLine(1), ElementsAre(gone, underAFile, f.databasePath()));
  EXPECT_TRUE(f.ui.foldersOpened.empty());
  EXPECT_TRUE(f.ui.windowsOpened.empty());
}

TEST(Maintenance, ReloadSongDataReadsTagsAgainButKeepsLockedRecordsAndThoseOfUnreadableFiles) {
  MaintenanceFixture f;
  const std::string tagged = f.dir.file("music/tagged.mp3");
  const std::string locked = f.dir.file("music/locked.mp3");
  put(tagged, mp3Bytes("New Title", "New Artist"));
  put(locked, mp3Bytes("Other Title", "Other Artist"));
  f.makeTable({tagged, locked, f.dir.file("music/away.mp3")}, [](db::TableHandle& h, uint32_t k) {
    putText(h, k, db::Artist, "Old Artist");
    if (k == 1)
      putNumber(h, k, db::Flags, 4);
  });

  const library::MaintenanceResult result = f.run(MaintenanceFunction::ReloadSongData);
  const std::vector<Song> songs = f.songs();
  ASSERT_EQ(songs.size(), 3u);
  EXPECT_EQ(songs[0].name, "New Title");
  EXPECT_EQ(songs[0].artist, "New Artist");
  EXPECT_EQ(songs[1].name, "Song 1");
  EXPECT_EQ(songs[1].artist, "Old Artist");
  EXPECT_EQ(songs[2].name, "Song 2") << "a file that is away keeps its record's details";
  EXPECT_EQ(songs[2].artist, "Old Artist");
  EXPECT_EQ(result.changed, 1u);
  EXPECT_EQ(result.skipped, 1u);
}

TEST(Maintenance, ResetStartPointsAndTheSortsChangeOnlyWhatTheySay) {
  MaintenanceFixture f;
  f.makeTable({"/m/1.mp3", "/m/2.mp3", "/m/3.mp3"}, [](db::TableHandle& h, uint32_t k) {
    putText(h, k, db::Artist, std::string(1, static_cast<char>('C' - k)));
  });
  f.run(MaintenanceFunction::ResetStartPoints);
  for (const Song& s : f.songs()) {
    EXPECT_EQ(s.startPoint, 0u);
    EXPECT_EQ(s.endPoint, 9u);
  }
  f.run(MaintenanceFunction::SortByArtist);
  std::vector<std::string> artists;
  for (const Song& s : f.songs())
    artists.push_back(s.artist);
  EXPECT_THAT(artists, ElementsAre("A", "B", "C"));
  EXPECT_EQ(f.songs().front().fileName, "/m/3.mp3");
}

TEST(Maintenance, ASortKeepsTheWatchdogAwayAndGivesUpWholeWhenItsCodeIsTaken) {
  MaintenanceFixture f;
  std::vector<std::string> files = names("song", 3 * db::kSortProgressEvery);
  f.makeTable(files,
              [](db::TableHandle& h, uint32_t k) { putText(h, k, db::Name, "Name " + std::to_string(999 - k)); });
  const std::string unsorted = readFile(f.databasePath());
  auto pass = [&](uint32_t busy) {
    f.app->run.busyCode.store(busy);
    f.app->run.watchdogCounter.store(100);  // one tick before the watchdog frees the code
    text::copy(f.app->songTable.path, f.app->settings.databasePath);
    f.app->songTable.writable = 1;
    EXPECT_TRUE(db::openMapped(f.app->songTable));
    library::MaintenanceResult result;
    library::runMaintenancePass(*f.app, MaintenanceFunction::SortByName, {}, result);
    db::closeTable(f.app->songTable);
    return result;
  };

  // The watchdog freed the code and another job holds it now: the sort
  // gives up before its table replaces the old one.
  EXPECT_TRUE(pass(codeValue(BusyCode::ListBuild)).stopped);
  EXPECT_EQ(readFile(f.databasePath()), unsorted);

  // Its own code: the sort ends whole, having shown the watchdog it was
  // alive all along.
  EXPECT_FALSE(pass(kBusy).stopped);
  EXPECT_LT(f.app->run.watchdogCounter.load(), 100u);
  const std::vector<Song> songs = f.songs();
  ASSERT_EQ(songs.size(), files.size());
  EXPECT_EQ(songs.front().fileName, files.back());
  EXPECT_EQ(songs.back().fileName, files.front());
}

TEST(Maintenance, WhenItCannotRunNothingChanges) {
  struct Case {
    const char* label;
    std::function<void(MaintenanceFixture&)> arrange;
    MaintenanceOutcome outcome;
    std::vector<std::string> line0;
  } cases[] = {
      {"database offline",
       [](MaintenanceFixture& f) { f.app->run.buildState.store(kOfflineFirst); },
       MaintenanceOutcome::NotStarted,
       {}},
      {"the program is quitting",
       [](MaintenanceFixture& f) { f.app->run.commandSlot.store(kQuitCode); },
       MaintenanceOutcome::NotStarted,
       {}},
      {"the song table does not open",
       [](MaintenanceFixture& f) {
         text::copy(f.app->settings.databasePath, f.dir.file("none.cvf").c_str());
         f.app->run.busyCode.store(kBusy);
       },
       MaintenanceOutcome::TableNotOpened,
       {"Remove duplicates", "Database could not be opened"}},
  };
  for (const Case& c : cases) {
    MaintenanceFixture f;
    f.makeTable({"/m/a.mp3", "/m/a.mp3"});
    const std::string before = readFile(f.databasePath());
    f.app->copies.localCopyRefreshCounter.store(7);
    c.arrange(f);
    const library::MaintenanceResult result =
        library::runMaintenance(*f.app, MaintenanceFunction::RemoveDuplicates, {});
    EXPECT_EQ(result.outcome, c.outcome) << c.label;
    EXPECT_EQ(readFile(f.dir.file("Plinka.cvf")), before) << c.label;
    EXPECT_EQ(f.statusLine(0), c.line0) << c.label;
    EXPECT_EQ(f.app->copies.localCopyRefreshCounter.load(), c.outcome == MaintenanceOutcome::NotStarted ? 7u : 100u)
        << c.label;
  }
}

}  // namespace
