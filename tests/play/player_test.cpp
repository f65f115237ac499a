// The player thread against a fake playback whose position the test moves:
// requests, the start of a song, the end and stall tests, Auto Rate, the
// "last song again" stack, and a short run on the real thread.
#include "core/window_command_ids.h"
#include "play/last_songs.h"
#include "support/player_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace plinka::test {
namespace {

TEST_F(PlayerTest, AStartWaitsForARowThenTakesTheTopRow) {
  makeSongs(3);
  request(play::PlayerRequest::Start);
  EXPECT_TRUE(fake->openedFiles().empty());
  EXPECT_EQ(app->run.playerRequest.load(), play::PlayerRequest::Start);

  // One row is enough: a song waiting in the list is played.
  listSlots({0});
  round();
  EXPECT_EQ(lastOpened(), songFile(0));
  EXPECT_TRUE(listedFiles().empty());
  EXPECT_EQ(app->run.playerRequest.load(), play::PlayerRequest::None);
  EXPECT_EQ(app->run.playerRunning.load(), 1u);
  EXPECT_EQ(app->details.currentSongRecord, 0);
  EXPECT_STREQ(app->details.current.title, "Title 0");
  EXPECT_EQ(app->player.endPosition.load(), kSongLength);
  EXPECT_EQ(app->run.busyCode.load(), 0u);
  // The waiting start changed nothing; the song change reaches the front end
  // as one notice.
  const std::vector<PlayerChanges> told = {PlayerChange::NowPlaying | PlayerChange::SeekBar | PlayerChange::Controls};
  EXPECT_EQ(ui.playerChanges, told);
}

TEST_F(PlayerTest, PauseKeepsThePlaceAndStopGivesItUpEvenWithAShortList) {
  // A pause keeps the song and its place for the next start; a stop ends
  // the song, so the next start takes the next row from its start. Either
  // is taken with a single row left in the list.
  struct Case {
    const char* what;
    play::PlayerRequest request;
    uint32_t rows;
    uint32_t playedTo;   // where the song is when the request comes
    uint32_t placeKept;  // the pause position the request leaves
    uint32_t resumed;    // the song the next start plays
    uint32_t startedAt;  // where the playback is started
  };
  const Case cases[] = {
      {"pause", play::PlayerRequest::Pause, 4, 30000, 30000, 0, 30000},
      {"stop", play::PlayerRequest::Stop, 4, 30000, 0, 1, FakePlayback::kPlainPlay},
      {"pause at the very start, short list", play::PlayerRequest::Pause, 2, 0, 1, 0, 1},
      {"stop at the very start, short list", play::PlayerRequest::Stop, 2, 0, 0, 1, FakePlayback::kPlainPlay},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    freshApp();
    makeSongs(c.rows);
    std::vector<uint32_t> slots;
    for (uint32_t k = 0; k < c.rows; ++k)
      slots.push_back(k);
    listSlots(slots);
    request(play::PlayerRequest::Start);
    ASSERT_EQ(app->list.size(), c.rows - 1);
    fake->moveTo(c.playedTo);
    round();

    ui.playerChanges.clear();
    request(c.request);
    EXPECT_EQ(app->run.playerRunning.load(), 0u);
    EXPECT_EQ(app->player.pausePosition.load(), c.placeKept);
    EXPECT_EQ(app->player.endPosition.load(), 0u);
    EXPECT_FALSE(fake->isOpen());
    // One notice: the play button offers Play again.
    const std::vector<PlayerChanges> told = {PlayerChange::Stopped | PlayerChange::Controls};
    EXPECT_EQ(ui.playerChanges, told);

    request(play::PlayerRequest::Start);
    EXPECT_EQ(lastOpened(), songFile(c.resumed));
    EXPECT_EQ(fake->lastStart(), c.startedAt);
    EXPECT_EQ(app->player.pausePosition.load(), 0u);
    std::vector<std::string> waiting;
    for (uint32_t k = c.resumed + 1; k < c.rows; ++k)
      waiting.push_back(songFile(k));
    EXPECT_EQ(listedFiles(), waiting);
  }
}

TEST_F(PlayerTest, LastSongAgainWithAnEmptyStackPlaysTheTopRowAndKeepsIt) {
  makeSongs(3);
  listSlots({0, 1, 2});
  ASSERT_EQ(+app->settings.lastSongIndex[0], -1);
  request(play::PlayerRequest::LastSong);
  EXPECT_EQ(lastOpened(), songFile(0));
  EXPECT_EQ(app->list.size(), 3u);
  EXPECT_EQ(+app->settings.lastSongIndex[0], -1);
}

TEST_F(PlayerTest, LastSongAgainPlaysThePreviousSongAndPopsIt) {
  makeSongs(4);
  listSlots({0, 1, 2, 3});
  request(play::PlayerRequest::Start);  // song 0
  request(play::PlayerRequest::Skip);   // song 1; song 0 goes onto the stack
  EXPECT_EQ(+app->settings.lastSongIndex[0], 0);
  EXPECT_EQ(+app->settings.lastSongIndex[1], -1);

  request(play::PlayerRequest::LastSong);
  EXPECT_EQ(lastOpened(), songFile(0));
  EXPECT_EQ(app->details.currentSongRecord, 0);
  EXPECT_EQ(+app->settings.lastSongIndex[0], -1);
  EXPECT_EQ(listedFiles(), (std::vector<std::string>{songFile(2), songFile(3)}));
}

TEST_F(PlayerTest, AFullStackPoppedEmptiesFromTheBottomAndNeverOffersRecordZero) {
  makeSongs(4);
  listSlots({0, 1, 2});
  for (int k = 0; k < play::kLastSongDepth; ++k)
    app->settings.lastSongIndex[k] = 3;
  request(play::PlayerRequest::LastSong);
  EXPECT_EQ(lastOpened(), songFile(3));
  EXPECT_EQ(+app->settings.lastSongIndex[8], 3);
  EXPECT_EQ(+app->settings.lastSongIndex[9], -1);
}

TEST_F(PlayerTest, PlayNowPlaysTheChosenSongKeepsItsRowAndPushesNothing) {
  makeSongs(5);
  listSlots({0, 1, 2, 3});
  app->settings.autoRate = 1;
  request(play::PlayerRequest::Start);  // song 0
  app->details.playNowRecord.store(3);
  app->playNowFlag.store(1);
  request(play::PlayerRequest::Start);
  EXPECT_EQ(lastOpened(), songFile(3));
  EXPECT_EQ(listedFiles(), (std::vector<std::string>{songFile(1), songFile(2), songFile(3)}));
  EXPECT_EQ(+app->settings.lastSongIndex[0], -1);
  EXPECT_EQ(app->playNowFlag.load(), 0u);
  EXPECT_EQ(editsQueued(), 0);
}

TEST_F(PlayerTest, PlayNowWhilePausedPlaysTheChosenSong) {
  makeSongs(4);
  listSlots({0, 1, 2});
  request(play::PlayerRequest::Start);
  fake->moveTo(30000);
  request(play::PlayerRequest::Pause);
  app->details.playNowRecord.store(3);
  app->playNowFlag.store(1);
  request(play::PlayerRequest::Start);
  EXPECT_EQ(lastOpened(), songFile(3));
  EXPECT_EQ(fake->lastStart(), FakePlayback::kPlainPlay);
  EXPECT_EQ(app->player.pausePosition.load(), 0u);
}

// A song whose pictures would not load stops the cover loader for itself
// only: the next song, however it starts, gets its own tries; a resumed song
// is the same song and keeps its count.
TEST_F(PlayerTest, EachNewSongStartsWithNoCoverFailures) {
  makeSongs(6);
  listSlots({0, 1, 2, 3, 4});
  request(play::PlayerRequest::Start);
  const play::PlayerRequest requests[] = {play::PlayerRequest::Skip, play::PlayerRequest::LastSong,
                                          play::PlayerRequest::Start};
  for (const play::PlayerRequest r : requests) {
    SCOPED_TRACE(static_cast<uint32_t>(r));
    app->cover.failures = 2;
    request(r);
    EXPECT_EQ(app->cover.failures.load(), 0u);
  }
  app->cover.failures = 2;
  fake->moveTo(30000);
  request(play::PlayerRequest::Pause);
  request(play::PlayerRequest::Start);
  ASSERT_EQ(fake->lastStart(), 30000u);
  EXPECT_EQ(app->cover.failures.load(), 2u);
}

TEST_F(PlayerTest, VideoPlaysFullScreenOnlyWithFullMovieAndOutsideTheTray) {
  struct Case {
    const char* ending;
    uint32_t fullMovie;
    uint32_t inTray;
    bool fullScreen;
  };
  const Case cases[] = {
      {"mpg", 1, 0, true},
      {"mpg", 1, 1, false},
      {"mpg", 0, 0, false},
      {"mp3", 1, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.ending) + " fullMovie " + std::to_string(c.fullMovie) + " tray " +
                 std::to_string(c.inTray));
    freshApp();
    makeSongs({songFile(0, c.ending), songFile(1, c.ending), songFile(2, c.ending)});
    listSlots({0, 1, 2});
    app->settings.fullMovie = c.fullMovie;
    app->player.inTray.store(c.inTray);
    request(play::PlayerRequest::Start);
    EXPECT_EQ(fake->fullScreen, c.fullScreen);
    EXPECT_EQ(app->player.videoShowing.load(), std::string(c.ending) == "mpg" ? 1u : 0u);
  }
}

TEST_F(PlayerTest, AVideoWaitsOffScreenUntilTheLayoutPlacesItInItsWindow) {
  makeSongs({songFile(0, "mpg"), songFile(1, "mpg"), songFile(2, "mpg")});
  listSlots({0, 1, 2});
  app->player.videoWindow.store(0x42);
  request(play::PlayerRequest::Start);
  EXPECT_EQ(fake->lastTarget.x, play::kOffScreen);
  // The right half under the toolbar of a 1000 x 800 window, drawn in a
  // video window that itself lies at (500, 30) of the client area.
  app->player.videoWidth.store(500);
  app->player.videoHeight.store(400);
  app->player.videoOriginX.store(500);
  app->player.videoOriginY.store(30);
  request(play::PlayerRequest::PlaceVideo);
  EXPECT_EQ(fake->lastTarget.window, 0x42u);
  EXPECT_EQ(fake->lastTarget.x, 0);
  EXPECT_EQ(fake->lastTarget.y, 0);
  EXPECT_EQ(fake->lastTarget.width, 500);
  EXPECT_EQ(fake->lastTarget.height, 400);
}

TEST_F(PlayerTest, AutoRateMovesTheScoreOnSkipAndEndOnly) {
  struct Case {
    const char* name;
    std::vector<play::PlayerRequest> requests;  // after the first start
    bool playToEnd;
    int edits;
    bool raised;
  };
  const Case cases[] = {
      {"skip", {play::PlayerRequest::Skip}, false, 1, false},
      {"heard to the end", {}, true, 1, true},
      {"stop", {play::PlayerRequest::Stop, play::PlayerRequest::Start}, false, 0, false},
      {"pause", {play::PlayerRequest::Pause, play::PlayerRequest::Start}, false, 0, false},
      {"back to the start", {play::PlayerRequest::Restart}, false, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    freshApp();
    makeSongs(4);
    listSlots({0, 1, 2, 3});
    app->settings.autoRate = 1;
    request(play::PlayerRequest::Start);
    fake->moveTo(40000);
    round();
    for (const play::PlayerRequest r : c.requests)
      request(r);
    if (c.playToEnd) {
      fake->moveTo(kSongLength);
      round();
      round();  // a second poll at the end rates nothing more
    }
    ASSERT_EQ(editsQueued(), c.edits);
    if (c.edits > 0) {
      const library::QueuedEdit& e = app->editQueue.entries[0];
      EXPECT_EQ(e.record, 0u);
      EXPECT_EQ(e.field, db::scoreField(0));
      EXPECT_EQ(e.newValue > kScore, c.raised);
    }
  }
}

TEST_F(PlayerTest, ARefusedStartIsPutBackAndASkipIsRatedOnce) {
  makeSongs(4);
  listSlots({0, 1, 2, 3});
  app->settings.autoRate = 1;
  request(play::PlayerRequest::Start);
  fake->moveTo(40000);
  round();

  // Another command waits in the slot and no processor runs: refused.
  app->run.commandSlot.store(5);
  app->run.playerRequest.store(play::PlayerRequest::Skip);
  play::playerRound(*app);
  EXPECT_EQ(app->run.playerRequest.load(), play::PlayerRequest::Start);
  EXPECT_EQ(editsQueued(), 1);
  EXPECT_EQ(app->list.size(), 3u);

  app->run.commandSlot.store(0);
  round();
  EXPECT_EQ(lastOpened(), songFile(1));
  EXPECT_EQ(editsQueued(), 1);
}

TEST_F(PlayerTest, ARequestPendingAsTheSongEndsIsNeverOverwritten) {
  struct Case {
    const char* name;
    play::PlayerRequest pending;
    std::vector<std::string> opened;  // after two rounds
  };
  const Case cases[] = {
      {"a skip starts exactly one next song", play::PlayerRequest::Skip, {songFile(0), songFile(1)}},
      {"placing the video does not hold the player at the end",
       play::PlayerRequest::PlaceVideo,
       {songFile(0), songFile(1)}},
      {"a stop stays a stop", play::PlayerRequest::Stop, {songFile(0)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    freshApp();
    makeSongs(4);
    listSlots({0, 1, 2, 3});
    request(play::PlayerRequest::Start);
    fake->moveTo(kSongLength);
    app->run.playerRequest.store(c.pending);
    play::pollPlayer(*app);
    EXPECT_EQ(app->run.playerRequest.load(), c.pending);
    round();
    round();
    EXPECT_EQ(fake->openedFiles(), c.opened);
  }
}

TEST_F(PlayerTest, ASongThatFollowsOnStartsLikeAnyOtherWithoutANewOpen) {
  makeSongs(5);
  listSlots({0, 1, 2, 3});
  app->settings.autoRate = 1;
  request(play::PlayerRequest::Start);
  fake->moveTo(40000);
  round();
  ASSERT_EQ(fake->queuedFile(), songFile(1)) << "the top row is queued to follow";

  fake->followOn();
  round();  // the poll finds song 0 over
  round();  // and song 1 starts
  EXPECT_EQ(fake->openedFiles(), std::vector<std::string>{songFile(0)});
  EXPECT_EQ(listedFiles(), (std::vector<std::string>{songFile(2), songFile(3)}));
  EXPECT_EQ(app->details.currentSongRecord, 1);
  EXPECT_STREQ(app->details.current.title, "Title 1");
  EXPECT_EQ(+app->settings.lastSongIndex[0], 0);
  EXPECT_EQ(app->player.endPosition.load(), kSongLength);
  ASSERT_EQ(editsQueued(), 1);
  EXPECT_EQ(app->editQueue.entries[0].record, 0u);
  EXPECT_GT(app->editQueue.entries[0].newValue, kScore) << "heard to the end";
  EXPECT_EQ(fake->queuedFile(), songFile(2));
}

TEST_F(PlayerTest, OnlySoundFollowsSound) {
  makeSongs({songFile(0), songFile(1, "avi"), songFile(2), songFile(3, "wmv")});
  listSlots({0, 1, 2, 3});
  request(play::PlayerRequest::Start);
  round();
  EXPECT_EQ(fake->queuedFile(), "") << "a video is opened afresh";
}

TEST_F(PlayerTest, TheEndIsReachedAtOrPastTheEndPosition) {
  struct Case {
    const char* name;
    uint32_t endPoint;
    uint32_t position;
    bool over;
  };
  const Case cases[] = {
      {"before the end", 0, kSongLength - 1, false}, {"at the end", 0, kSongLength, true},
      {"past the end", 0, kSongLength + 40, true},   {"before the EndPoint", 60000, 59999, false},
      {"past the EndPoint", 60000, 60480, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    freshApp();
    makeSongs(3);
    if (c.endPoint != 0) {
      db::openSongTableForWriting(*app);
      ASSERT_TRUE(app->songTable.isOpen());
      putNumber(0, db::EndPoint, c.endPoint);
      db::closeSongTableAfterWriting(*app);
    }
    listSlots({0, 1, 2});
    request(play::PlayerRequest::Start);
    EXPECT_EQ(app->player.endPosition.load(), c.endPoint != 0 ? c.endPoint : kSongLength);
    fake->moveTo(c.position);
    play::pollPlayer(*app);
    EXPECT_EQ(app->run.playerRequest.load(), c.over ? play::PlayerRequest::Start : play::PlayerRequest::None);
  }
}

TEST_F(PlayerTest, AnUnplayableFileEndsAtTheFirstPollWithoutAutoRate) {
  makeSongs(3);
  fake->lengths.erase(songFile(0));
  listSlots({0, 1, 2});
  app->settings.autoRate = 1;
  request(play::PlayerRequest::Start);
  EXPECT_EQ(app->player.endPosition.load(), 0u);
  EXPECT_EQ(app->run.playerRequest.load(), play::PlayerRequest::Start);
  EXPECT_EQ(editsQueued(), 0);
  round();
  EXPECT_EQ(lastOpened(), songFile(1));
}

TEST_F(PlayerTest, ASongWithoutProgressEndsAfter25Polls) {
  struct Case {
    const char* name;
    uint32_t position;
  };
  const Case cases[] = {{"stuck at 0", 0}, {"stuck mid-song", 50000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app->run.playerRequest.store(play::PlayerRequest::None);
    app->list.clear();
    app->details.currentSongRecord = -1;
    if (files_.empty())
      makeSongs(3);
    listSlots({0, 1, 2});
    request(play::PlayerRequest::Start);
    fake->moveTo(c.position);
    app->player.previousPlayPosition.store(c.position);
    app->player.stallCount.store(0);
    for (int poll = 1; poll <= 25; ++poll) {
      play::pollPlayer(*app);
      ASSERT_EQ(app->run.playerRequest.load(), play::PlayerRequest::None) << "poll " << poll;
    }
    play::pollPlayer(*app);
    EXPECT_EQ(app->run.playerRequest.load(), play::PlayerRequest::Start);
  }
}

TEST_F(PlayerTest, TheSeekBarFollowsTheSongForwardOnly) {
  makeSongs(3);
  listSlots({0, 1, 2});
  request(play::PlayerRequest::Start);
  EXPECT_EQ(app->player.seekBar.load(), 0u);
  fake->moveTo(kSongLength / 2);
  play::pollPlayer(*app);
  EXPECT_EQ(app->player.seekBar.load(), 500u);

  app->player.seekBar.store(800);  // the user pulled it ahead
  fake->moveTo(kSongLength * 6 / 10);
  play::pollPlayer(*app);
  EXPECT_EQ(app->player.seekBar.load(), 800u);
  fake->moveTo(kSongLength * 9 / 10);
  play::pollPlayer(*app);
  EXPECT_EQ(app->player.seekBar.load(), 900u);

  app->player.seekPosition.store(1000);
  request(play::PlayerRequest::Seek);
  EXPECT_EQ(fake->lastStart(), 1000u);
  EXPECT_EQ(app->player.seekPosition.load(), 0u);
  request(play::PlayerRequest::Restart);
  EXPECT_EQ(fake->lastStart(), 0u);
  EXPECT_EQ(app->player.seekBar.load(), 0u);
}

TEST_F(PlayerTest, APositionPastFourBillionPerThousandStillGivesTheRightBar) {
  // A long video: position x 1000 no longer fits 32 bits.
  makeSongs(3);
  const uint32_t length = 3u * 3600u * 1000u;  // three hours
  fake->lengths[songFile(0)] = length;
  listSlots({0, 1, 2});
  request(play::PlayerRequest::Start);
  fake->moveTo(length / 4 * 3);
  play::pollPlayer(*app);
  EXPECT_EQ(app->player.seekBar.load(), 750u);
}

TEST_F(PlayerTest, AStartAsksForAListBuildWhileOneRuns) {
  makeSongs(3);
  listSlots({0, 1, 2});
  app->run.buildState.store(5);
  request(play::PlayerRequest::Start);
  EXPECT_EQ(app->run.buildState.load(), kBuildWanted);

  app->settings.autoBuild = 1;
  app->settings.prepareCount = 100;
  app->run.buildState.store(0);
  request(play::PlayerRequest::Stop);
  EXPECT_EQ(app->run.buildState.load(), kBuildWanted);
}

TEST_F(PlayerTest, ThePlayerThreadPlaysSongAfterSongAndEndsWithTheRun) {
  makeSongs(5);
  listSlots({0, 1, 2, 3, 4});
  app->clock.speed.store(50);
  startScheduler(*app);
  startPlayer(*app);
  app->run.playerRequest.store(play::PlayerRequest::Start);

  const auto waitFor = [&](auto condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline)
        return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  };
  ASSERT_TRUE(waitFor([&] { return fake->openedFiles().size() == 1; }));
  fake->moveTo(kSongLength);
  ASSERT_TRUE(waitFor([&] { return fake->openedFiles().size() == 2; }));
  EXPECT_EQ(fake->openedFiles()[1], songFile(1));

  app->run.commandSlot.store(kQuitCode);
  ASSERT_TRUE(waitFor([&] { return app->player.playPosition.load() == -1 && !fake->isOpen(); }));
  ASSERT_TRUE(waitFor([&] {
    const auto posted = ui.commandsPosted();
    return !posted.empty() && posted.back() == WindowCommand::EndRun;
  }));
  stopScheduler(*app);
}

// Real time from here: the player's poll is half a second apart and a
// heartbeat tick a second, so what happens sooner was woken by its event.
class PlayerWakeTest : public PlayerTest {
protected:
  void startThreads() {
    app->clock.speed.store(1);
    app->run.diagnostics.store(1);  // counts whole heartbeat ticks
    startScheduler(*app);
    startPlayer(*app);
  }
  void TearDown() override {
    app->run.commandSlot.store(kQuitCode);
    stopScheduler(*app);
  }
  bool waitForOpens(size_t n) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (fake->openedFiles().size() < n) {
      if (std::chrono::steady_clock::now() > deadline)
        return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
  }
};

TEST_F(PlayerWakeTest, TheEndOfTheStreamStartsTheNextSongBeforeTheNextPoll) {
  makeSongs(4);
  listSlots({0, 1, 2, 3});
  startThreads();
  app->run.playerRequest.store(play::PlayerRequest::Start);
  ASSERT_TRUE(waitForOpens(1));
  // Right after a poll, so that the next one is a whole interval away.
  const int polls = fake->polls();
  while (fake->polls() == polls)
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  const uint64_t endedAt = app->clock.tickMs();
  fake->reachEnd();
  ASSERT_TRUE(waitForOpens(2));
  EXPECT_LT(app->clock.tickMs() - endedAt, play::kPlayerPollMs / 2);
  EXPECT_EQ(fake->openedFiles()[1], songFile(1));
}

TEST_F(PlayerWakeTest, ARequestThatGaveUpLeavesNoCodeThatHoldsUpTheNextSong) {
  makeSongs(4);
  listSlots({0, 1, 2, 3});
  app->clock.speed.store(1000);
  // A patient request with no processor to grant it gives up.
  ASSERT_EQ(requestExclusive(*app, BusyCode::IdWorker, 0, 5), AccessOutcome::NotGranted);
  startThreads();
  app->run.playerRequest.store(play::PlayerRequest::Start);
  ASSERT_TRUE(waitForOpens(1));
  EXPECT_EQ(app->run.diagnosticsTick.load(), 0u) << "the start waited for the heartbeat";
  EXPECT_EQ(fake->openedFiles()[0], songFile(0));
}

}  // namespace
}  // namespace plinka::test
