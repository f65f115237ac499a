// Song details: finding a song by its FileName, list rows, the details
// loader in its two modes, and Auto Rate.

#include "app/engine_jobs.h"
#include "core/busy_code.h"
#include "core/current_state.h"
#include "library/edit_queue.h"
#include "play/song_details.h"
#include "support/play_fixture.h"
#include "support/scheduler_fixture.h"

#include <cstring>
#include <optional>

namespace plinka::test {
namespace {

using play::autoRatedScore;
using play::findAndLoadSong;

class SongDetailsTest : public PlayTest {};

TEST(AutoRateTest, NewScores) {
  struct Case {
    const char* name;
    uint32_t speed, v;
    bool heard;
    std::optional<uint32_t> score;
  };
  const Case cases[] = {
      {"Fast, skipped at 3: step 1", play::kAutoRateFast, 3, false, 2},
      {"Fast, skipped at 2", play::kAutoRateFast, 2, false, 1},
      {"Fast, skipped at 1 stays 1", play::kAutoRateFast, 1, false, 1},
      {"speeds above Fast are Fast", 7, 100, false, 50},
      {"Normal, heard at 500: capped at the top", play::kAutoRateNormal, 500, true, 512},
      {"Normal, heard at the top stays there", play::kAutoRateNormal, 512, true, 512},
      {"Normal, heard at 100: a quarter more", play::kAutoRateNormal, 100, true, 125},
      {"Normal, skipped at 100: a quarter less", play::kAutoRateNormal, 100, false, 75},
      {"Slow, skipped at 100: an eighth less", play::kAutoRateSlow, 100, false, 88},
      {"Slow, heard at 7: a step of 0 becomes 1", play::kAutoRateSlow, 7, true, 8},
      {"heard at 0 rises to 1", play::kAutoRateNormal, 0, true, 1},
      {"skipped at 0 is left alone", play::kAutoRateNormal, 0, false, std::nullopt},
      {"heard above the top is left alone", play::kAutoRateFast, 600, true, std::nullopt},
      {"skipped above the top still falls", play::kAutoRateFast, 600, false, 300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(autoRatedScore(c.v, c.heard, c.speed, 512), c.score);
  }
}

TEST_F(SongDetailsTest, AutoRateQueuesTheEditForTheStatesUser) {
  struct Case {
    const char* name;
    uint32_t altMode;
    int32_t record;
    uint32_t score;
    bool heard;
    bool queued;
    uint32_t newScore;
  };
  const Case cases[] = {
      {"heard to the end", 0, 6, 64, true, true, 80},
      {"heard at the top: queued though unchanged", 0, 6, 512, true, true, 512},
      {"skipped at 0: no rule applied", 0, 6, 0, false, false, 0},
      {"record not known", 0, -1, 64, true, false, 0},
      {"users taking turns", 2, 6, 64, false, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    freshApp();
    setStateUser(*app, 0, 3);
    setStateAltMode(*app, 0, c.altMode);
    app->details.currentSongRecord = c.record;
    app->details.currentSongScore = c.score;
    app->details.current.id = 4242;
    play::adjustRating(*app, c.heard);
    ASSERT_EQ(library::editsWaiting(*app), c.queued ? 1 : -1);
    if (c.queued) {
      const library::QueuedEdit& edit = app->editQueue.entries[0];
      EXPECT_EQ(edit.record, 6u);
      EXPECT_EQ(edit.field, db::scoreField(3));
      EXPECT_EQ(edit.newValue, c.newScore);
      EXPECT_EQ(edit.expectedValue, c.score);
      EXPECT_EQ(edit.identity, 4242u);
    }
  }
}

TEST_F(SongDetailsTest, FindsASongWhateverTheLetterCaseAndLoadsItsDetails) {
  std::vector<Song> songs = plainSongs(6);
  songs[3].fileName = "/Music/Some Band/Track.MP3";
  songs[3].score = 300;
  songs[3].target = 77;
  songs[3].perUserScores = true;
  makeTable(songs);
  EXPECT_EQ(findAndLoadSong(*app, "/music/some band/track.mp3", 2), 3);
  const play::SongDetails& d = app->details.loaded;
  EXPECT_STREQ(d.title, "Title 3");
  EXPECT_STREQ(d.artist, "Artist 3");
  EXPECT_STREQ(d.album, "Album of Title 3");
  EXPECT_EQ(d.score, 302u) << "the given user's Score";
  EXPECT_EQ(d.target, 77u);
  EXPECT_EQ(d.id, 7u);
  EXPECT_FALSE(app->songTable.isOpen());

  EXPECT_EQ(findAndLoadSong(*app, "/music/some band/other.mp3", 2), -1);
  app->details.lookupLock = 1;
  EXPECT_EQ(findAndLoadSong(*app, "/Music/Some Band/Track.MP3", 2), -1) << "a lookup is under way";
}

TEST_F(SongDetailsTest, TheTypeColumnSaysAudioOrVideo) {
  const std::pair<const char*, const char*> cases[] = {
      {"/v/clip.WMV", "Video"}, {"/v/clip.avi", "Video"}, {"/v/clip.mpeg", "Video"},
      {"/a/song.mp3", "Audio"}, {"/a/song.wav", "Audio"}, {"/a/notes.txt", "Audio"},
  };
  for (const auto& [file, type] : cases) {
    play::putListRow(*app, 0, file, app->details.loaded);
    EXPECT_EQ(app->list.text(0, play::Type), type) << file;
  }
}

TEST_F(SongDetailsTest, PreloadFillsTheNextSongsDetails) {
  std::vector<Song> songs = plainSongs(8);
  songs[5].score = 40;
  makeTable(songs);
  listSlots({5, 2});
  ASSERT_EQ(grantExclusiveNow(*app, BusyCode::Preload), AccessOutcome::Granted);
  EXPECT_EQ(play::runDetailsLoader(*app), play::LoaderRun::Ran);
  EXPECT_EQ(app->details.nextReady.load(), 1u);
  EXPECT_STREQ(app->details.nextSongFile, "/music/song5.mp3");
  EXPECT_EQ(app->details.nextSongRecord, 5);
  EXPECT_STREQ(app->details.next.title, "Title 5");
  EXPECT_EQ(app->details.next.score, 40u);
  EXPECT_EQ(app->details.currentSongRecord, -1) << "the current song is left alone";
  EXPECT_EQ(app->run.busyCode.load(), 0u) << "BusyCode::Preload given back";
  EXPECT_EQ(app->details.loaderBusy.load(), 0u);
}

TEST_F(SongDetailsTest, UnderThePlayersCodeTheCurrentSongIsLoaded) {
  std::vector<Song> songs = plainSongs(8);
  songs[6].score = 128;
  makeTable(songs);
  std::strcpy(app->details.currentSongFile, "/music/song6.mp3");
  ASSERT_EQ(grantExclusiveNow(*app, BusyCode::Player), AccessOutcome::Granted);
  EXPECT_EQ(play::runDetailsLoader(*app), play::LoaderRun::Ran);
  EXPECT_EQ(app->details.currentSongRecord, 6);
  EXPECT_EQ(app->details.currentSongScore, 128u);
  EXPECT_STREQ(app->details.current.artist, "Artist 6");
  EXPECT_EQ(app->details.nextReady.load(), 0u);
  EXPECT_EQ(app->run.busyCode.load(), codeValue(BusyCode::Player)) << "the player keeps its access";
}

TEST_F(SongDetailsTest, ASongNotFoundIsLookedUpElevenTimesThenGetsNoRecord) {
  makeTable(plainSongs(8));
  app->clock.speed = 1000;
  std::strcpy(app->details.currentSongFile, "/music/gone.mp3");
  app->details.currentSongRecord = 3;
  ASSERT_EQ(grantExclusiveNow(*app, BusyCode::Player), AccessOutcome::Granted);
  const uint64_t start = app->clock.tickMs();
  EXPECT_EQ(play::runDetailsLoader(*app), play::LoaderRun::Ran);
  EXPECT_GE(app->clock.tickMs() - start, 8 * play::kLookupPauseMs) << "eight pauses after three quick tries";
  EXPECT_EQ(app->details.currentSongRecord, -1);
}

TEST_F(SongDetailsTest, ASongWithoutIdLowersTheHashCount) {
  struct Case {
    uint32_t id, before, after;
  };
  const Case cases[] = {{0, 25, 15}, {0, 11, 1}, {0, 10, 0}, {0, 3, 0}, {9, 25, 25}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before);
    freshApp();
    std::vector<Song> songs = plainSongs(4);
    songs[1].id = c.id;
    makeTable(songs);
    std::strcpy(app->details.currentSongFile, "/music/song1.mp3");
    app->shared.hashStat = c.before;
    ASSERT_EQ(grantExclusiveNow(*app, BusyCode::Player), AccessOutcome::Granted);
    play::runDetailsLoader(*app);
    EXPECT_EQ(app->shared.hashStat.load(), c.after);
  }
}

TEST_F(SongDetailsTest, APreloadThatIsNotGrantedIsSkipped) {
  makeTable(plainSongs(8));
  listSlots({1});
  app->clock.speed = 1000;
  ASSERT_EQ(grantExclusiveNow(*app, BusyCode::ListBuild), AccessOutcome::Granted);  // a build pass holds the table
  EXPECT_EQ(play::runDetailsLoader(*app), play::LoaderRun::NotRun);
  EXPECT_EQ(app->details.nextReady.load(), 0u);
  EXPECT_EQ(app->details.loaderBusy.load(), 0u);
  app->details.loaderBusy = 1;
  EXPECT_EQ(play::runDetailsLoader(*app), play::LoaderRun::NotRun) << "one loader at a time";
}

TEST_F(SongDetailsTest, TheHeartbeatsLoaderRunsOnItsOwnThreadOnceGranted) {
  makeTable(plainSongs(8));
  listSlots({4, 1});
  installSongChoosing(*app);
  app->clock.speed = 100;
  app->hooks.startDetailsLoader();
  // Stand in for the heartbeat: run a processor whenever a request waits.
  ASSERT_TRUE(waitUntil([&] {
    if (app->run.commandSlot.load() != 0)
      runProcessor(*app);
    return app->details.nextReady.load() == 1 && app->details.loaderBusy.load() == 0;
  }));
  EXPECT_EQ(app->details.nextSongRecord, 4);
  EXPECT_EQ(app->run.busyCode.load(), 0u);
}

}  // namespace
}  // namespace plinka::test
