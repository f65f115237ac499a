// The list builder: the chain of tests each drawn song goes through, the
// credit a song gathers before it can be chosen, the quality balance, the
// append step and the pass's ways of ending.

#include "core/current_state.h"
#include "core/settings_defaults.h"
#include "platform/files.h"
#include "play/list_builder.h"
#include "play/list_commands.h"
#include "play/list_file.h"
#include "play/song_details.h"
#include "support/play_fixture.h"
#include "support/temp_dir.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

namespace plinka::test {
namespace {

using play::buildPass;

class ListBuilderTest : public PlayTest {
protected:
  ListBuilderTest() { app->run.buildState = kBuildWanted; }

  // A new App for the next case of a table, a build wanted.
  void fresh() {
    freshApp();
    ui.statuses.clear();
    app->run.buildState = kBuildWanted;
  }

  // The one-shot message the status line showed last, "" when none.
  std::string shownMessage() {
    for (auto it = ui.statuses.rbegin(); it != ui.statuses.rend(); ++it) {
      const size_t comma = it->part[0].find(", ");
      if (comma != std::string::npos)
        return it->part[0].substr(comma + 2);
    }
    return std::string();
  }
};

TEST_F(ListBuilderTest, TwentySongsInUseAreTheFewestABuildStartsWith) {
  for (const uint32_t songs : {19u, 20u}) {
    SCOPED_TRACE(songs);
    fresh();
    makeTable(plainSongs(songs));
    draws = {1};
    pass();
    EXPECT_EQ(app->list.size(), songs == 20 ? 1u : 0u);
    EXPECT_EQ(app->run.buildState.load(), kBuildWanted);
    EXPECT_EQ(shownMessage(), "") << "a pass on too few songs leaves no message";
    EXPECT_EQ(app->run.busyCode.load(), 0u);
    EXPECT_EQ(app->builder.busy.load(), 0u);
    // The status bar says why no list comes, on the first pass and on the
    // passes after it that need not open the table again.
    pass();
    const std::string tooFew = "Import at least 20 songs";
    if (songs < 20) {
      ASSERT_FALSE(ui.statuses.empty());
      EXPECT_EQ(ui.statuses.back().part[0], tooFew);
    }
    for (const auto& shown : ui.statuses)
      EXPECT_TRUE(songs < 20 || shown.part[0] != tooFew);
  }
}

TEST_F(ListBuilderTest, AFreshSongGainsCreditOnItsFirstDrawAndIsChosenOnALaterOne) {
  std::vector<Song> songs = plainSongs(20);
  songs[0].target = 1000;  // as imported: exactly the target value
  makeTable(songs);

  draws = {1};
  pass();
  EXPECT_TRUE(app->list.empty());
  EXPECT_EQ(number(0, db::targetField(0)), 1016u) << "its Score was added as credit";
  EXPECT_EQ(shownMessage(), play::kDeepBuilding);
  EXPECT_EQ(drawsTaken(), app->settings.buildTime + 2) << "a pass gives up after buildTime + 2 draws";
  EXPECT_EQ(app->builder.retries.load(), 1u);

  draws = {1};
  pass();
  ASSERT_EQ(listedFiles(), std::vector<std::string>{"/music/song0.mp3"});
  EXPECT_EQ(number(0, db::targetField(0)), 16u) << "the credit beyond the target value is kept";
  EXPECT_EQ(number(0, db::PlayCount), 1u);
  EXPECT_EQ(number(0, db::targetField(1)), 1000u) << "only the State's user's credit moves";
}

// Unripe draws a song needs before it is chosen again, and the credit left.
TEST_F(ListBuilderTest, CreditArithmetic) {
  struct Case {
    const char* name;
    uint32_t score, target, balance;
    uint32_t unripeDraws, targetAfter;
  };
  const Case cases[] = {
      {"rating 10 after a choice: one unripe draw", 512, 512, 50, 1, 24},
      {"rating 9 after a choice: three unripe draws", 256, 256, 50, 3, 24},
      {"rating 1: a thousand unripe draws", 1, 1, 60, 1000, 1},
      {"an empty credit counts as 1", 512, 0, 50, 2, 25},
      {"ripe already: chosen at once, excess kept", 16, 1700, 50, 0, 700},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    std::vector<Song> songs = plainSongs(20);
    songs[4].score = c.score;
    songs[4].target = c.target;
    makeTable(songs);
    app->builder.dbAverage = c.balance;
    app->settings.buildTime = 5000;
    // The same draw again and again: the recent-draw test compares it with
    // the record index 4, never with 5.
    draws.assign(c.unripeDraws + 1, 5);
    const uint32_t before = drawsTaken();
    pass();
    EXPECT_EQ(drawsTaken() - before, c.unripeDraws + 1) << "every draw but the last was unripe";
    EXPECT_EQ(listedFiles(), std::vector<std::string>{"/music/song4.mp3"});
    EXPECT_EQ(number(4, db::targetField(0)), c.targetAfter);
  }
}

TEST_F(ListBuilderTest, AScoreOfZeroNeverRipens) {
  std::vector<Song> songs = plainSongs(20);
  songs[2].score = 0;
  songs[2].target = 1000;
  makeTable(songs);
  app->builder.dbAverage = 80;
  app->settings.buildTime = 5000;
  draws.assign(3000, 3);
  pass();
  EXPECT_TRUE(app->list.empty());
  EXPECT_EQ(number(2, db::targetField(0)), 1000u);
}

// Each case prepares one ripe song (slot 4, drawn as 5) and says whether a
// single draw chooses it.
TEST_F(ListBuilderTest, TheTestsOfADraw) {
  struct Case {
    const char* name;
    uint32_t songCount;
    std::function<void(App&, std::vector<Song>&)> prepare;
    bool chosen;
  };
  auto playUpTo = [](uint32_t limit, uint32_t flags) {
    return [=](App& a, std::vector<Song>& songs) {
      a.settings.statePlayUpTo[0] = limit;
      songs[4].flags = flags;
    };
  };
  const Case cases[] = {
      {"an ordinary ripe song", 20, [](App&, std::vector<Song>&) {}, true},
      {"a draw equal to a recent record index", 20, [](App& a, std::vector<Song>&) { a.settings.recentSongs[6] = 5; },
       false},
      {"a draw equal to a recent draw's position only", 20,
       [](App& a, std::vector<Song>&) { a.settings.recentSongs[6] = 4; }, true},
      {"file type switched off", 20,
       [](App& a, std::vector<Song>&) {
         a.settings.typeMp3 = 0;
         a.settings.typeAll = 0;
       },
       false},
      {"the song listed last", 20,
       [](App& a, std::vector<Song>&) { std::strcpy(a.builder.lastListedFile, "/music/song4.mp3"); }, false},
      {"the song listed last, in other letter case", 20,
       [](App& a, std::vector<Song>&) { std::strcpy(a.builder.lastListedFile, "/music/SONG4.mp3"); }, true},
      {"Clean admits naughtiness 0", 20, playUpTo(0, 0), true},
      {"Clean refuses naughtiness 1", 20, playUpTo(0, 1), false},
      {"only bits 0-1 are naughtiness", 20, playUpTo(0, 4), true},
      {"Muddy refuses naughtiness 2", 20, playUpTo(1, 2), false},
      {"Dirty admits naughtiness 2", 20, playUpTo(2, 2), true},
      {"Really Dirty admits everything", 20, playUpTo(3, 0xFFFF), true},
      {"below the minimum rating", 20, [](App& a, std::vector<Song>&) { a.settings.stateMinRating[0] = 6; }, false},
      {"minimum rating relaxed after failed passes", 20,
       [](App& a, std::vector<Song>&) {
         a.settings.stateMinRating[0] = 6;
         a.builder.retries = 3;
       },
       true},
      {"in the history", 200, [](App& a, std::vector<Song>&) { a.settings.historySongs[99] = 4; }, false},
      {"in the history, history off", 200,
       [](App& a, std::vector<Song>&) {
         a.settings.historySongs[99] = 4;
         a.settings.stateHistory[0] = 0;
       },
       true},
      {"in the history of a collection under 200", 199,
       [](App& a, std::vector<Song>&) { a.settings.historySongs[99] = 4; }, true},
      {"artist remembered, any letter case", 500,
       [](App& a, std::vector<Song>& songs) {
         songs[4].artist = "The BAND";
         std::strcpy(a.settings.recentArtists[19], "the band");
       },
       false},
      {"artist remembered, No Art Rep off", 500,
       [](App& a, std::vector<Song>& songs) {
         songs[4].artist = "The BAND";
         std::strcpy(a.settings.recentArtists[19], "the band");
         a.settings.stateNoArtistRepeat[0] = 0;
       },
       true},
      {"artist remembered in a collection under 500", 499,
       [](App& a, std::vector<Song>& songs) {
         songs[4].artist = "the band";
         std::strcpy(a.settings.recentArtists[19], "the band");
       },
       true},
      {"an empty artist is nobody's repeat", 500, [](App&, std::vector<Song>& songs) { songs[4].artist = ""; }, true},
      {"rating 4 at the starting balance", 20, [](App&, std::vector<Song>& songs) { songs[4].score = 8; }, false},
      {"rating 4 with room in the balance", 20,
       [](App& a, std::vector<Song>& songs) {
         songs[4].score = 8;
         a.builder.dbAverage = 51;
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    std::vector<Song> songs = plainSongs(c.songCount);
    for (uint32_t k = 0; k < c.songCount; ++k)
      songs[k].artist = "Artist " + std::to_string(k % 7);
    c.prepare(*app, songs);
    makeTable(songs);
    draws = {5};
    pass();
    EXPECT_EQ(app->list.size(), c.chosen ? 1u : 0u);
    EXPECT_EQ(number(4, db::PlayCount), c.chosen ? 1u : 0u);
  }
}

TEST_F(ListBuilderTest, TheQualityBalanceLetsALowRatingThroughOnlyAfterAHighOne) {
  std::vector<Song> songs = plainSongs(20);
  songs[1].score = 8;    // rating 4
  songs[2].score = 512;  // rating 10
  songs[3].score = 0;    // rating 0, ripe from an old credit
  makeTable(songs);

  draws = {2};
  pass();
  EXPECT_TRUE(app->list.empty()) << "rating 4 at a balance of 50";
  EXPECT_EQ(app->builder.dbAverage.load(), 50u);

  draws = {3};
  pass();
  EXPECT_EQ(app->builder.dbAverage.load(), 55u) << "a rating-10 song adds 5";

  draws = {4};
  pass();
  EXPECT_EQ(listedFiles(), (std::vector<std::string>{"/music/song2.mp3", "/music/song3.mp3"}));
  EXPECT_EQ(app->builder.dbAverage.load(), 50u);
}

TEST_F(ListBuilderTest, AChoiceUpdatesTheMemoryListsNewestFirst) {
  std::vector<Song> songs = plainSongs(500);
  songs[7].artist = "MiXed Case";
  makeTable(songs);
  app->settings.historySongs[0] = 42;
  std::strcpy(app->settings.recentArtists[0], "older");
  draws = {8};
  pass();
  EXPECT_EQ(+app->settings.historySongs[0], 7u);
  EXPECT_EQ(+app->settings.historySongs[1], 42u);
  EXPECT_STREQ(app->settings.recentArtists[0], "mixed case");
  EXPECT_STREQ(app->settings.recentArtists[1], "older");
  EXPECT_EQ(+app->settings.recentSongs[0], 7u) << "the draw's slot holds the record index";
  EXPECT_STREQ(app->builder.lastListedFile, "/music/song7.mp3");
  EXPECT_STREQ(app->builder.chosenFile, "/music/song7.mp3");
}

TEST_F(ListBuilderTest, TheListRowAndTheEndOfTheBuild) {
  std::vector<Song> songs = plainSongs(20);
  songs[2].fileName = "/music/clip.wmv";
  makeTable(songs);
  app->settings.prepareCount = 2;

  draws = {3};
  pass();
  ASSERT_EQ(app->list.size(), 1u);
  const play::ListRow row = app->list.row(0);
  EXPECT_EQ(row.column[play::Title], "Title 2");
  EXPECT_EQ(row.column[play::Artist], "Artist 2");
  EXPECT_EQ(row.column[play::Album], "Album of Title 2");
  EXPECT_EQ(row.column[play::FileName], "/music/clip.wmv");
  EXPECT_EQ(row.column[play::Type], "Video");
  EXPECT_EQ(app->run.listCount.load(), 1);
  EXPECT_EQ(app->run.buildState.load(), kBuildWanted) << "another song is wanted";
  EXPECT_EQ(app->builder.retries.load(), 1u);
  EXPECT_FALSE(platform::fileExists(play::stateListFileName(*app)));

  draws = {6};
  pass();
  EXPECT_EQ(app->run.buildState.load(), kBuildIdle) << "the list is full";
  EXPECT_EQ(readFile(dir.file("PL1.m3u")), "/music/clip.wmv\r\n/music/song5.mp3\r\n");
}

TEST_F(ListBuilderTest, AFullListStartsTheShutdownTimerOrAsksForANewBuffering) {
  struct Case {
    const char* name;
    uint32_t shutdown;
    library::BufferStage bufferStage;
    uint32_t powerOffs, rebuffer;
  };
  const Case cases[] = {
      {"shutdown on, no buffer cache", 1, library::BufferStage::Error, 1, 100},
      {"shutdown off", 0, library::BufferStage::Error, 0, 100},
      {"buffer cache running", 1, library::BufferStage::Buffered, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    app->builder.drawForTests = [](uint32_t) { return 1u; };
    app->settings.prepareCount = 1;
    app->settings.shutdownAfterBuild = c.shutdown;
    app->settings.autoBuild = 1;
    app->shared.rebufferValue = 100;
    app->bufferCache.stage = c.bufferStage;
    makeTable(plainSongs(20));
    pass();
    EXPECT_EQ(app->run.buildState.load(), kBuildIdle);
    app->jobThreads.waitAll();
    EXPECT_EQ(app->powerRecorder.requests.load(), c.powerOffs);
    EXPECT_EQ(app->shared.rebufferValue.load(), c.rebuffer);
  }
}

TEST_F(ListBuilderTest, AltModePatternTakesTurnsAfterTheFirstSong) {
  std::vector<Song> songs = plainSongs(20);
  for (Song& s : songs)
    s.perUserScores = true;  // user u's Score is 16 + u
  makeTable(songs);
  setStateAltMode(*app, 0, 3);
  std::strcpy(app->settings.altModePattern[2], "102");
  setStateUser(*app, 0, 4);

  std::vector<uint32_t> users;
  for (uint32_t k = 1; k <= 7; ++k) {
    draws = {k};
    pass();
    ASSERT_EQ(app->list.size(), k);
    users.push_back(app->details.loaded.score - 16);
  }
  EXPECT_EQ(users, (std::vector<uint32_t>{4, 9, 1, 0, 9, 1, 0}));
  EXPECT_EQ(+app->settings.stateUser[0], 9u);
}

TEST_F(ListBuilderTest, AdvancePatternCharacters) {
  struct Case {
    const char* pattern;
    uint32_t user;
  };
  // The character after the first, as the first advance reads it.
  const Case cases[] = {
      {"x0", 9}, {"x1", 0}, {"x9", 8}, {"x:", 9}, {"x;", 0}, {"xa", 0}, {"x ", 9}, {"x\xB5", 4}, {"7", 6}, {"", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    app->builder.patternPos = 0;
    setStateAltMode(*app, 0, 1);
    setStateUser(*app, 0, 5);
    std::memset(app->settings.altModePattern[0], 0, kNameSize);
    std::strcpy(app->settings.altModePattern[0], c.pattern);
    play::advancePattern(*app);
    EXPECT_EQ(+app->settings.stateUser[0], c.user);
  }
}

TEST_F(ListBuilderTest, WaysAPassEndsWithoutAChoice) {
  struct Case {
    const char* name;
    std::function<void(App&)> prepare;
    uint32_t buildState;
    const char* message;
    uint32_t retriesAfter;
  };
  const Case cases[] = {
      {"a list command is waiting", [](App& a) { a.run.commandSlot = codeValue(play::ListCommand::PlayNow); },
       kBuildWanted, "", 1},
      {"Stop Building",
       [](App& a) {
         a.builder.drawForTests = [&a](uint32_t) {
           a.run.stopRequest = 1;
           return 0u;
         };
       },
       kBuildIdle, "", 0},
      {"no database path", [](App& a) { a.settings.databasePath[0] = 0; }, kBuildWanted, play::kNoFileSelected, 0},
      {"the table cannot be opened", [](App& a) { std::strcpy(a.settings.databasePath, "/nonexistent/Plinka.cvf"); },
       kBuildWanted, play::kCannotOpenList, 0},
      {"network mode, share unreachable",
       [](App& a) {
         std::strcpy(a.settings.databasePath, "/nonexistent/Plinka.cvf");
         a.settings.networkMode = 1;
       },
       kOfflineFirst, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    makeTable(plainSongs(20));
    c.prepare(*app);
    draws = {1};
    pass();
    EXPECT_TRUE(app->list.empty());
    EXPECT_EQ(app->run.buildState.load(), c.buildState);
    EXPECT_EQ(shownMessage(), c.message);
    EXPECT_EQ(app->builder.retries.load(), c.retriesAfter);
    EXPECT_EQ(app->builder.busy.load(), 0u);
    EXPECT_EQ(app->run.busyCode.load(), 0u);
    EXPECT_FALSE(app->songTable.isOpen());
  }
}

TEST_F(ListBuilderTest, ASmallTableIsNotAskedForAgainUntilItsFileChanges) {
  makeTable(plainSongs(19));
  pass();  // counts the table
  // From now on a pass sees the count without asking for exclusive access:
  // nothing reaches the command slot, which stays free for the user.
  for (int k = 0; k < 3; ++k) {
    buildPass(*app);
    EXPECT_EQ(app->run.commandSlot.load(), 0u);
    EXPECT_EQ(app->run.busyCode.load(), 0u);
  }
  EXPECT_TRUE(app->list.empty());
  EXPECT_EQ(shownMessage(), "");
  EXPECT_FALSE(app->songTable.isOpen());

  // Another program adds a twentieth song; the file's change time says so
  // (set here, as a clock tick may be coarser than the test).
  makeTable(plainSongs(20));
  std::filesystem::last_write_time(tablePath, std::filesystem::last_write_time(tablePath) + std::chrono::seconds(5));
  draws = {1};
  pass();
  EXPECT_EQ(listedFiles(), std::vector<std::string>{"/music/song0.mp3"});
}

TEST_F(ListBuilderTest, ForTheMediaFillerTheChoiceIsHandedBackNotListed) {
  makeTable(plainSongs(20));
  app->builder.fillerActive = 1;
  app->builder.retries = 4;
  draws = {9};
  pass();
  EXPECT_TRUE(app->list.empty());
  EXPECT_EQ(app->run.buildState.load(), play::kBuiltForFiller);
  EXPECT_STREQ(app->builder.chosenFile, "/music/song8.mp3");
  EXPECT_EQ(app->builder.retries.load(), 0u);

  draws.clear();
  pass();
  EXPECT_EQ(app->run.buildState.load(), play::kBuildingMore) << "a filler pass that gave up is called again";
}

TEST_F(ListBuilderTest, BuildTimeFollowsHowLongASuccessfulPassTook) {
  struct Case {
    const char* name;
    uint32_t buildTime;
    bool slow;
    uint32_t after;
  };
  const Case cases[] = {
      {"under 3 s: raised", 500, false, 600},
      {"over 30 s: lowered", 500, true, 400},
      {"over 30 s at 100: kept", 100, true, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    makeTable(plainSongs(20));
    app->settings.buildTime = c.buildTime;
    // One real millisecond is 100 s of clock time at this speed.
    app->clock.speed = c.slow ? 100000 : 1;
    app->builder.drawForTests = [&](uint32_t) {
      if (c.slow)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      return 2u;
    };
    pass();
    ASSERT_EQ(app->list.size(), 1u);
    EXPECT_EQ(+app->settings.buildTime, c.after);
  }
}

}  // namespace
}  // namespace plinka::test
