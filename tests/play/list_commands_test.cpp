// The list commands, run the way the heartbeat runs them: posted into the
// command slot and carried out by a list command processor.

#include "app/engine_jobs.h"
#include "core/current_state.h"
#include "core/window_command_ids.h"
#include "play/list_commands.h"
#include "play/song_details.h"
#include "support/play_fixture.h"

#include <cstring>

namespace plinka::test {
namespace {

using namespace play;

class ListCommandsTest : public PlayTest {
protected:
  ListCommandsTest() { prepare(); }

  void prepare() {
    installSongChoosing(*app);
    std::vector<Song> songs = plainSongs(8);
    songs[3].score = 64;
    makeTable(songs);
    listSlots({0, 1, 2, 3, 4});
  }

  // Posts a command and runs one processor for it.
  void run(ListCommand code, uint32_t argument = 0) {
    ASSERT_EQ(post(*app, code, argument, 5), PostOutcome::Settled);
    ASSERT_EQ(app->run.commandSlot.load(), codeValue(code));
    runProcessor(*app);
    EXPECT_EQ(app->run.commandSlot.load(), 0u);
    EXPECT_EQ(app->run.busyCode.load(), 0u);
  }

  // The id of the row now at `index` (kNoRowId past the end).
  uint32_t idAt(size_t index) const { return app->list.row(index).id; }

  static std::vector<std::string> files(std::initializer_list<int> songs) {
    std::vector<std::string> out;
    for (const int k : songs)
      out.push_back("/music/song" + std::to_string(k) + ".mp3");
    return out;
  }
};

TEST_F(ListCommandsTest, DoubleClickingTheThirdRowPlaysItNext) {
  for (const uint32_t playing : {0u, 1u}) {
    SCOPED_TRACE(playing);
    freshApp();
    ui.postedCommands.clear();
    prepare();
    app->run.playerRunning = playing;
    run(ListCommand::PlayFromRow, idAt(2));
    EXPECT_EQ(listedFiles(), files({2, 3, 4}));
    EXPECT_EQ(app->run.listCount.load(), 3);
    if (playing) {
      EXPECT_EQ(app->run.playerRequest.load(), PlayerRequest::Start) << "the current song ends";
      EXPECT_TRUE(ui.commandsPosted().empty());
    } else {
      EXPECT_EQ(ui.commandsPosted(), std::vector<WindowCommand>{WindowCommand::PlayPause});
    }
  }
}

// A row command names its row by id: the rows that come or go between the
// user's choice and the command (a song starts and its row goes, the builder
// adds one) do not move it onto another song, and a row that has gone is
// left alone rather than replaced by its neighbour.
TEST_F(ListCommandsTest, RowCommandsActOnTheRowChosenWhateverHappenedAboveIt) {
  struct Case {
    const char* name;
    ListCommand code;
    std::vector<std::string> after;  // the list once song 3's row was chosen and song 0 has started
  };
  const Case cases[] = {
      {"Remove", ListCommand::Remove, files({1, 2, 4})},
      {"Play Next", ListCommand::PlayNext, files({3, 1, 2, 4})},
      {"double click", ListCommand::PlayFromRow, files({3, 4})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    freshApp();
    prepare();
    const uint32_t chosen = idAt(3);
    ASSERT_TRUE(app->list.remove(0));  // a song starts between the click and the command
    run(c.code, chosen);
    EXPECT_EQ(listedFiles(), c.after);
  }

  freshApp();
  prepare();
  const uint32_t playNow = idAt(3);
  app->list.remove(0);
  run(ListCommand::PlayNow, playNow);
  EXPECT_EQ(app->details.playNowRecord.load(), 3);

  // The chosen row itself has gone: nothing is removed, moved or played.
  for (const ListCommand code :
       {ListCommand::Remove, ListCommand::PlayNext, ListCommand::PlayFromRow, ListCommand::PlayNow}) {
    SCOPED_TRACE(codeValue(code));
    freshApp();
    ui.postedCommands.clear();
    prepare();
    const uint32_t gone = idAt(0);
    app->list.remove(0);
    run(code, gone);
    EXPECT_EQ(listedFiles(), files({1, 2, 3, 4}));
    EXPECT_EQ(app->run.playerRequest.load(), play::PlayerRequest::None);
    EXPECT_TRUE(ui.commandsPosted().empty());
  }
}

TEST_F(ListCommandsTest, ClearListRemovesAsManyRowsAsItsArgumentSays) {
  run(ListCommand::ClearList, 0);
  EXPECT_EQ(app->list.size(), 5u);
  run(ListCommand::ClearList, 2);
  EXPECT_EQ(listedFiles(), files({2, 3, 4}));
  run(ListCommand::ClearList, kClearWholeList);
  EXPECT_TRUE(app->list.empty());
  EXPECT_EQ(app->run.listCount.load(), 0);
}

TEST_F(ListCommandsTest, PlayNextMovesTheChosenSongToTheTop) {
  struct Case {
    const char* name;
    size_t row;
    std::vector<std::string> after;
  };
  const Case cases[] = {
      {"the fourth row", 3, files({3, 0, 1, 2, 4})},
      {"the top row: the list is unchanged", 0, files({0, 1, 2, 3, 4})},
      {"the last row", 4, files({4, 0, 1, 2, 3})},
      {"no row", 9, files({0, 1, 2, 3, 4})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    freshApp();
    prepare();
    run(ListCommand::PlayNext, idAt(c.row));
    EXPECT_EQ(listedFiles(), c.after);
    EXPECT_EQ(app->run.listCount.load(), 5);
  }
  freshApp();
  prepare();
  run(ListCommand::PlayNext, idAt(3));
  EXPECT_EQ(app->list.text(0, Title), "Title 3") << "the new top row carries the song's details";
}

TEST_F(ListCommandsTest, RemoveTakesOutTheChosenRow) {
  run(ListCommand::Remove, idAt(1));
  EXPECT_EQ(listedFiles(), files({0, 2, 3, 4}));
  EXPECT_EQ(app->run.listCount.load(), 4);
  EXPECT_FALSE(ui.statuses.empty()) << "the status line shows the new count";
  run(ListCommand::Remove, kNoRowId);
  EXPECT_EQ(app->list.size(), 4u);
}

TEST_F(ListCommandsTest, PlayNowPlaysTheChosenSongAndLeavesItsRow) {
  run(ListCommand::PlayNow, idAt(3));
  EXPECT_EQ(app->details.playNowRecord.load(), 3);
  EXPECT_EQ(app->playNowFlag.load(), 1u);
  EXPECT_EQ(app->run.playerRequest.load(), PlayerRequest::Start);
  EXPECT_EQ(app->list.size(), 5u);

  freshApp();
  prepare();
  run(ListCommand::PlayNow, kNoRowId);
  EXPECT_EQ(app->playNowFlag.load(), 0u);
  EXPECT_EQ(app->run.playerRequest.load(), play::PlayerRequest::None);
}

TEST_F(ListCommandsTest, DetailsOpensTheSongDetailsWindowOnTheChosenSong) {
  run(ListCommand::Details, idAt(2));
  run(ListCommand::Details, kNoRowId);
  ASSERT_EQ(ui.postedCommands.size(), 2u);
  EXPECT_EQ(ui.postedCommands[0].command, WindowCommand::SongDetailsOf);
  EXPECT_EQ(ui.postedCommands[0].parameter, 2u);
  EXPECT_EQ(ui.postedCommands[1].command, WindowCommand::SongDetailsOf);
  EXPECT_EQ(ui.postedCommands[1].parameter, 0xFFFFFFFFu) << "-1: no song";
}

TEST_F(ListCommandsTest, RatingWritesTheScoreOfTheKeypadsRating) {
  struct Case {
    const char* name;
    uint32_t rating;
    uint32_t score;
  };
  const Case cases[] = {{"rating 0", 0, 0}, {"rating 7", 7, 64}, {"rating 10", 10, 512}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    freshApp();
    prepare();
    setStateUser(*app, 0, 2);
    app->details.currentSongRecord = 3;
    app->copies.localCopyRefreshCounter.store(0);
    ui.repaints.clear();
    run(ListCommand::Rate, kKeypadRating + c.rating);
    EXPECT_EQ(number(3, db::scoreField(2)), c.score);
    EXPECT_EQ(db::ratingOfScore(app->settings, number(3, db::scoreField(2))), c.rating);
    EXPECT_EQ(number(3, db::scoreField(0)), 64u) << "only the State's user's Score";
    EXPECT_EQ(app->details.currentSongScore, c.score);
    EXPECT_EQ(app->copies.localCopyRefreshCounter.load(), kRefreshLocalCopySoon);
    EXPECT_EQ(ui.repaints, std::vector<RepaintArea>{RepaintArea::Window});
    EXPECT_FALSE(app->songTable.isOpen());
  }
}

TEST_F(ListCommandsTest, RatingFindsTheCurrentSongByItsFileNameWhenItsRecordIsNotKnown) {
  for (const int32_t unknown : {-1, 0}) {
    SCOPED_TRACE(unknown);
    freshApp();
    prepare();
    app->details.currentSongRecord = unknown;
    std::strcpy(app->details.currentSongFile, "/MUSIC/song5.mp3");
    // The keypad's answer as it left it in the prompt result.
    app->prompts.result = kKeypadRating + 9;
    run(ListCommand::Rate);
    EXPECT_EQ(number(5, db::scoreField(0)), 256u);
    EXPECT_EQ(number(0, db::scoreField(0)), 16u);
  }
  freshApp();
  prepare();
  // No current song at all, and a record without a FileName: nothing is
  // rated rather than that record.
  app->details.currentSongRecord = -1;
  setText(7, db::FileName, "");
  run(ListCommand::Rate, kKeypadRating + 1);
  for (uint32_t slot = 0; slot < 8; ++slot)
    EXPECT_EQ(number(slot, db::scoreField(0)), slot == 3 ? 64u : 16u);
}

TEST_F(ListCommandsTest, DeletingAsksFirst) {
  struct Case {
    const char* name;
    uint32_t answer;
    int32_t status;
  };
  const Case cases[] = {{"No, don't delete", kPromptSecond, db::kStatusInUse},
                        {"Sure, delete please", kPromptFirst, db::kStatusFree}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    freshApp();
    prepare();
    ui.prompts.clear();
    ui.promptAnswers = {c.answer};
    app->details.currentSongRecord = 3;
    run(ListCommand::Rate, kKeypadDelete);
    ASSERT_EQ(ui.prompts.size(), 1u);
    EXPECT_EQ(ui.prompts[0].message, kDeleteQuestion);
    EXPECT_EQ(ui.prompts[0].firstCaption, kDeleteYes);
    EXPECT_EQ(ui.prompts[0].secondCaption, kDeleteNo);
    EXPECT_EQ(ui.prompts[0].style, PromptStyle::SmallQuestion);
    EXPECT_EQ(status(3), c.status);
    EXPECT_EQ(number(3, db::scoreField(0)), 64u) << "deleting rates nothing";
    EXPECT_FALSE(app->songTable.isOpen());
  }
}

TEST_F(ListCommandsTest, RatingIsDroppedWhenTheTableDoesNotOpen) {
  std::strcpy(app->settings.databasePath, dir.file("missing.cvf").c_str());
  app->details.currentSongRecord = 3;
  app->details.currentSongScore = 64;
  run(ListCommand::Rate, kKeypadRating + 2);
  EXPECT_EQ(app->details.currentSongScore, 64u);
  EXPECT_TRUE(ui.repaints.empty());
}

TEST_F(ListCommandsTest, SaveAsPlaylistWritesTheListWhereTheUserSays) {
  ui.saveFileAnswers = {dir.file("mine.m3u")};
  run(ListCommand::SaveAsPlaylist);
  ASSERT_EQ(ui.fileChoosers.size(), 1u);
  EXPECT_TRUE(ui.fileChoosers[0].save);
  EXPECT_EQ(ui.fileChoosers[0].selected, 2u) << "the playlists filter";
  EXPECT_EQ(readFile(dir.file("mine.m3u")), "/music/song0.mp3\r\n/music/song1.mp3\r\n/music/song2.mp3\r\n"
                                            "/music/song3.mp3\r\n/music/song4.mp3\r\n");
  ui.saveFileAnswers = {""};
  run(ListCommand::SaveAsPlaylist);
  EXPECT_EQ(ui.fileChoosers.size(), 2u);
}

TEST_F(ListCommandsTest, ImportNowOpensTheDatabaseWindowAfterAMoment) {
  app->clock.speed = 100;
  const uint64_t start = app->clock.tickMs();
  run(ListCommand::ImportNow);
  EXPECT_GE(app->clock.tickMs() - start, kImportNowDelayMs);
  EXPECT_EQ(ui.commandsPosted(), std::vector<WindowCommand>{WindowCommand::Database});
  // The window is asked to open with its folder chooser.
  EXPECT_EQ(ui.locked([&] { return ui.postedCommands.at(0).parameter; }), kDatabaseFirstImport);
}

// Each command gives the list and the table back itself, without waiting
// for the processor to do it.
TEST_F(ListCommandsTest, EveryCommandReleasesExclusiveAccess) {
  app->clock.speed = 100;
  app->details.currentSongRecord = 2;
  for (const ListCommand code :
       {ListCommand::Details, ListCommand::Rate, ListCommand::PlayFromRow, ListCommand::ClearList, ListCommand::Remove,
        ListCommand::SaveAsPlaylist, ListCommand::PlayNow, ListCommand::ImportNow, ListCommand::PlayNext}) {
    SCOPED_TRACE(codeValue(code));
    // Held under its own code, as the processor hands it over.
    app->run.busyCode.store(codeValue(code));
    app->commandHandlers[codeValue(code)](idAt(1));
    EXPECT_EQ(app->run.busyCode.load(), 0u);
  }
}

}  // namespace
}  // namespace plinka::test
