// How a song ends and what the next start takes over from it: the end that
// follows a length learnt late, a replay after the end, the details of a
// song the database does not know, Auto Rate around the end and Play Now,
// and the current song read by another thread while songs start.
#include "core/busy_code.h"
#include "support/player_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace plinka::test {
namespace {

class SongEndTest : public PlayerTest {
protected:
  // The song at the end of the file: the next song is asked for.
  void playToEnd() {
    fake->moveTo(kSongLength);
    play::pollPlayer(*app);
  }
  void setPoints(uint32_t slot, uint32_t startPoint, uint32_t endPoint) {
    db::openSongTableForWriting(*app);
    ASSERT_TRUE(app->songTable.isOpen());
    putNumber(slot, db::StartPoint, startPoint);
    putNumber(slot, db::EndPoint, endPoint);
    db::closeSongTableAfterWriting(*app);
  }
};

TEST_F(SongEndTest, TheEndFollowsALengthLearntWhileTheSongPlays) {
  struct Case {
    const char* name;
    uint32_t endPoint;
    uint32_t lengthAtOpen;  // what the backend knows when the song starts
    uint32_t position;
    uint32_t lengthNow;  // what it knows at the poll
    bool over;
    uint32_t endPosition;
  };
  const Case cases[] = {
      {"length not known yet", 0, 0, 0, 0, false, 0},
      {"length learnt since", 0, 0, 150000, kSongLength, false, kSongLength},
      {"reaching the learnt length", 0, 0, kSongLength, kSongLength, true, kSongLength},
      {"a short first estimate corrected", 0, 90000, 90000, kSongLength, false, kSongLength},
      {"an EndPoint within the file", 60000, kSongLength, 60000, kSongLength, true, 60000},
      {"an EndPoint past the file's end", 300000, kSongLength, kSongLength, kSongLength, true, kSongLength},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    freshApp();
    makeSongs(3);
    if (c.endPoint != 0)
      setPoints(0, 0, c.endPoint);
    fake->lengths[songFile(0)] = c.lengthAtOpen;
    listSlots({0, 1, 2});
    request(play::PlayerRequest::Start);
    fake->setLength(c.lengthNow);
    fake->moveTo(c.position);
    play::pollPlayer(*app);
    EXPECT_EQ(app->run.playerRequest.load(), c.over ? play::PlayerRequest::Start : play::PlayerRequest::None);
    EXPECT_EQ(app->player.endPosition.load(), c.endPosition);
  }
}

TEST_F(SongEndTest, BackToTheStartAfterTheEndPlaysTheSongAgainThenTheNextOne) {
  makeSongs(4);
  listSlots({0, 1, 2, 3});
  app->settings.autoRate = 1;
  request(play::PlayerRequest::Start);
  playToEnd();
  ASSERT_EQ(app->run.playerRequest.load(), play::PlayerRequest::Start);

  request(play::PlayerRequest::Restart);  // the user's choice replaces the next-song request
  EXPECT_EQ(fake->lastStart(), 0u);
  EXPECT_EQ(app->run.playerRequest.load(), play::PlayerRequest::None);
  playToEnd();
  EXPECT_EQ(app->run.playerRequest.load(), play::PlayerRequest::Start);
  EXPECT_EQ(editsQueued(), 2) << "heard to the end twice";
  round();
  EXPECT_EQ(lastOpened(), songFile(1));
}

TEST_F(SongEndTest, ASongTheDatabaseDoesNotKnowTakesNothingFromTheSongBefore) {
  for (const bool preloaded : {false, true}) {
    SCOPED_TRACE(preloaded ? "preloaded" : "loaded at its start");
    freshApp();
    app->clock.speed.store(1000);  // the lookups' pauses
    makeSongs(3);
    setPoints(0, 5000, 60000);
    const std::string stray = "/music/not in the table.mp3";
    fake->lengths[stray] = kSongLength;
    listSlots({0});
    play::putListRow(*app, 1, stray.c_str(), play::SongDetails{});
    listSlots({1, 2});
    request(play::PlayerRequest::Start);
    ASSERT_STREQ(app->details.current.title, "Title 0");

    if (preloaded) {
      ASSERT_EQ(grantExclusiveNow(*app, BusyCode::Preload), AccessOutcome::Granted);
      ASSERT_EQ(play::runDetailsLoader(*app), play::LoaderRun::Ran);
      ASSERT_EQ(app->details.nextReady.load(), 1u);
    }
    request(play::PlayerRequest::Skip);
    EXPECT_EQ(lastOpened(), stray);
    EXPECT_EQ(app->details.currentSongRecord.load(), -1);
    EXPECT_STREQ(app->details.current.title, "");
    EXPECT_EQ(fake->lastStart(), FakePlayback::kPlainPlay) << "no StartPoint of the song before";
    EXPECT_EQ(app->player.endPosition.load(), kSongLength) << "no EndPoint of the song before";
  }
}

TEST_F(SongEndTest, AutoRateRatesTheSongThatPlayed) {
  struct Case {
    const char* name;
    bool skipAfterEnd;
  };
  // A skip pressed once the song is over only goes on to the next song.
  for (const Case& c : {Case{"skip after the end", true}, Case{"Play Now waiting at the end", false}}) {
    SCOPED_TRACE(c.name);
    freshApp();
    makeSongs(5);
    app->settings.autoRate = 1;
    if (c.skipAfterEnd) {
      listSlots({0, 1, 2});
      request(play::PlayerRequest::Start);
      playToEnd();
      request(play::PlayerRequest::Skip);
      EXPECT_EQ(lastOpened(), songFile(1));
    } else {
      // A Play Now chosen while song 0 plays on, taken when it ends.
      listSlots({0, 1});
      request(play::PlayerRequest::Start);
      app->details.playNowRecord.store(3);
      app->playNowFlag.store(1);
      ASSERT_EQ(lastOpened(), songFile(0));
      playToEnd();
    }
    ASSERT_EQ(editsQueued(), 1);
    const library::QueuedEdit& e = app->editQueue.entries[0];
    EXPECT_EQ(e.record, 0u);
    EXPECT_EQ(e.identity, 100u);
    EXPECT_GT(e.newValue, kScore);
  }
}

TEST_F(SongEndTest, TheCurrentSongCanBeReadWhileSongsStart) {
  makeSongs(12);
  listSlots({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  // Stands in for the painting and the cover loader.
  std::thread reader([&] {
    while (!done.load()) {
      const play::CurrentSongTexts song = play::copyCurrentSong(*app);
      const int32_t record = app->details.currentSongRecord.load();
      const bool titleWhole = song.title.empty() || song.title.rfind("Title ", 0) == 0;
      const bool fileWhole = song.file.empty() || song.file.rfind("/music/song", 0) == 0;
      if (!titleWhole || !fileWhole || record < -1 || record > 11)
        torn.fetch_add(1);
    }
  });
  request(play::PlayerRequest::Start);
  for (int k = 0; k < 10; ++k)
    request(play::PlayerRequest::Skip);
  done.store(true);
  reader.join();
  EXPECT_EQ(lastOpened(), songFile(10));
  EXPECT_EQ(torn.load(), 0);
}

}  // namespace
}  // namespace plinka::test
