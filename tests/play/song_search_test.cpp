#include "play/play_next.h"
#include "play/song_search.h"

#include "app/scheduler.h"
#include "core/busy_code.h"
#include "db/copies.h"
#include "db/table.h"
#include "support/play_fixture.h"
#include "support/song_table.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace plinka::test {
namespace {

using play::FoundSong;
using play::SearchEnd;
using play::SearchKind;
using play::SearchOrder;

// Waits up to ten seconds for `done` to hold.
template <class Done> bool waitUntil(Done done) {
  for (int k = 0; k < 1000; ++k) {
    if (done())
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

class SongSearchTest : public PlayTest {
protected:
  // Runs a search with exclusive use granted at once, gathering what it
  // hands over batch by batch.
  SearchEnd search(const SearchOrder& order, std::vector<std::vector<FoundSong>>* batches = nullptr) {
    found.clear();
    EXPECT_EQ(grantExclusiveNow(*app, BusyCode::SearchWindow), AccessOutcome::Granted);
    const SearchEnd end = play::searchSongTable(
        *app, order, [] { return false; },
        [&](std::vector<FoundSong>&& batch) {
          if (batches)
            batches->push_back(batch);
          for (FoundSong& song : batch)
            found.push_back(std::move(song));
        });
    releaseExclusive(*app);
    return end;
  }
  std::vector<uint32_t> slotsFound() const {
    std::vector<uint32_t> out;
    for (const FoundSong& song : found)
      out.push_back(song.slot);
    return out;
  }

  std::vector<FoundSong> found;
};

// The Top Songs as the window's fill describes them: level by level from
// rating 10 down, each row the most played song after the last one listed
// (ties by slot), until 100 rows.
std::vector<uint32_t> topSongsByLevels(const std::vector<uint32_t>& rating, const std::vector<uint32_t>& count,
                                       const std::vector<bool>& inUse) {
  std::vector<uint32_t> rows;
  int level = 10;
  int64_t lastCount = 999999, lastSlot = -1;
  while (rows.size() < play::kTopSongsMax && level >= 0) {
    int64_t best = -1;
    for (size_t s = 0; s < rating.size(); ++s) {
      const int64_t c = count[s];
      const bool after = c < lastCount || (c == lastCount && static_cast<int64_t>(s) > lastSlot);
      if (static_cast<int>(rating[s]) == level && inUse[s] && c > 0 && after && (best < 0 || c > count[best]))
        best = static_cast<int64_t>(s);
    }
    if (best < 0) {
      --level;
      lastCount = 999999;
      lastSlot = -1;
      continue;
    }
    rows.push_back(static_cast<uint32_t>(best));
    lastCount = count[best];
    lastSlot = best;
  }
  return rows;
}

TEST_F(SongSearchTest, TopSongsAreTheMostPlayedBestRatedFirstAtMostAHundred) {
  // 300 songs: ratings and play counts drawn so that many share both, a
  // third never played, some deleted.
  constexpr uint32_t kSongs = 300;
  std::mt19937 random(7);
  std::vector<uint32_t> rating(kSongs), count(kSongs);
  std::vector<bool> inUse(kSongs, true);
  for (uint32_t s = 0; s < kSongs; ++s) {
    rating[s] = random() % 11;
    count[s] = random() % 3 == 0 ? 0 : 1 + random() % 4;
  }
  // The listed ratings are those of the first State's user, here user 3,
  // while the current State listens as user 0.
  app->shared.stateUser[0] = 3;
  makeTable(plainSongs(kSongs));
  db::openSongTableForWriting(*app);
  ASSERT_TRUE(app->songTable.isOpen());
  for (uint32_t s = 0; s < kSongs; ++s) {
    putNumber(app->songTable, s, db::scoreField(3), db::scoreOfRating(app->settings, rating[s]));
    putNumber(app->songTable, s, db::scoreField(0), db::scoreOfRating(app->settings, 10 - rating[s]));
    putNumber(app->songTable, s, db::PlayCount, count[s]);
    if (s % 17 == 5) {
      ASSERT_TRUE(db::setStatus(app->songTable, s, db::kStatusFree));
      inUse[s] = false;
    }
  }
  db::closeSongTableAfterWriting(*app);

  ASSERT_EQ(search({SearchKind::TopSongs, ""}), SearchEnd::Done);
  const std::vector<uint32_t> expected = topSongsByLevels(rating, count, inUse);
  ASSERT_EQ(expected.size(), play::kTopSongsMax) << "the fixture has more played songs than are listed";
  EXPECT_EQ(slotsFound(), expected);
  for (const FoundSong& song : found) {
    EXPECT_GT(count[song.slot], 0u) << song.slot << " was never played";
    EXPECT_EQ(song.rating, rating[song.slot]) << song.slot;
    EXPECT_EQ(song.column[play::FileName], "/music/song" + std::to_string(song.slot) + ".mp3");
  }
}

TEST_F(SongSearchTest, TopSongsListSongsPlayedAsOftenInSlotOrderAndNoUnplayedOnes) {
  makeTable(plainSongs(12));
  // Every song rating 5 (the fixture's score); two of rating 9 played 5
  // times each, in slots 8 and 3, one of rating 9 played 6 times in slot 10.
  db::openSongTableForWriting(*app);
  ASSERT_TRUE(app->songTable.isOpen());
  const uint32_t nine = db::scoreOfRating(app->settings, 9);
  for (const uint32_t s : {8u, 3u, 10u})
    putNumber(app->songTable, s, db::scoreField(0), nine);
  putNumber(app->songTable, 8, db::PlayCount, 5);
  putNumber(app->songTable, 3, db::PlayCount, 5);
  putNumber(app->songTable, 10, db::PlayCount, 6);
  putNumber(app->songTable, 1, db::PlayCount, 2);
  db::closeSongTableAfterWriting(*app);

  search({SearchKind::TopSongs, ""});
  EXPECT_EQ(slotsFound(), (std::vector<uint32_t>{10, 3, 8, 1}));

  // Nobody has played anything: an empty list.
  makeTable(plainSongs(12));
  search({SearchKind::TopSongs, ""});
  EXPECT_TRUE(found.empty());
}

TEST_F(SongSearchTest, TextSearchListsEveryMatchInSlotOrderButSlotZero) {
  std::vector<Song> songs = plainSongs(14);
  songs[0].artist = "The Queen Band";  // slot 0: never listed
  songs[4].artist = "The Queen Band";
  songs[9].title = "queens of the night";
  songs[11].artist = "The Queen Band";
  songs[11].fileName = "/music/clip.WMV";
  songs[12].artist = "The Queen Band";
  makeTable(songs);
  db::openSongTableForWriting(*app);
  ASSERT_TRUE(app->songTable.isOpen());
  ASSERT_TRUE(db::setStatus(app->songTable, 12, db::kStatusFree));  // deleted
  putNumber(app->songTable, 4, db::scoreField(0), db::scoreOfRating(app->settings, 8));
  db::closeSongTableAfterWriting(*app);

  ASSERT_EQ(search({SearchKind::Text, "QUEEN"}), SearchEnd::Done);
  ASSERT_EQ(slotsFound(), (std::vector<uint32_t>{4, 9, 11}));
  const FoundSong& first = found[0];
  EXPECT_EQ(first.column[play::Title], "Title 4");
  EXPECT_EQ(first.column[play::Artist], "The Queen Band");
  EXPECT_EQ(first.column[play::Album], "Album of Title 4");
  EXPECT_EQ(first.column[play::FileName], "/music/song4.mp3");
  EXPECT_EQ(first.column[play::Type], "Audio");
  EXPECT_EQ(first.rating, 8u);
  EXPECT_EQ(found[1].rating, 5u);
  EXPECT_EQ(found[2].column[play::Type], "Video");

  // Nothing matches: nothing is handed over, and the search still ends.
  EXPECT_EQ(search({SearchKind::Text, "zebra"}), SearchEnd::Done);
  EXPECT_TRUE(found.empty());
}

TEST_F(SongSearchTest, TheFirstSongFoundIsHandedOverAtOnce) {
  makeTable(plainSongs(600));
  std::vector<std::vector<FoundSong>> batches;
  search({SearchKind::Text, "song"}, &batches);
  ASSERT_FALSE(batches.empty());
  EXPECT_EQ(batches.front().size(), 1u);
  EXPECT_EQ(found.size(), 599u);
  EXPECT_EQ(found.front().slot, 1u);
  EXPECT_EQ(found.back().slot, 599u);
}

// A search opens the song table, so the database is reachable: offline mode
// ends and a list is built; an idle builder is left idle.
TEST_F(SongSearchTest, ASearchEndsOfflineMode) {
  makeTable(plainSongs(20));
  struct Case {
    uint32_t before, after;
  };
  for (const Case c : {Case{kOfflineFirst, kBuildWanted}, Case{kOfflineLocked, kBuildWanted}, Case{1234, kBuildWanted},
                       Case{1, kBuildWanted}, Case{kBuildIdle, kBuildIdle}}) {
    for (const SearchKind kind : {SearchKind::Text, SearchKind::TopSongs}) {
      app->run.buildState.store(c.before);
      search({kind, "song"});
      EXPECT_EQ(app->run.buildState.load(), c.after) << c.before;
    }
  }
}

// Reports as a window's receiver gets them, kept under a lock.
struct Reports {
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<play::SearchReport> all;

  void add(play::SearchReport&& r) {
    const std::lock_guard lock(mutex);
    all.push_back(std::move(r));
    arrived.notify_all();
  }
  bool waitFinished(uint64_t search) {
    std::unique_lock lock(mutex);
    return arrived.wait_for(lock, std::chrono::seconds(10), [&] {
      for (const play::SearchReport& r : all)
        if (r.search == search && r.finished)
          return true;
      return false;
    });
  }
};

// A search waits for exclusive use without holding anything up; a newer
// search cancels it, so only the newer one reports.
TEST_F(SongSearchTest, ANewSearchCancelsTheOneWaitingOrRunning) {
  makeTable(plainSongs(50));
  startHeartbeat(*app);
  ASSERT_EQ(grantExclusiveNow(*app, BusyCode::ListBuild), AccessOutcome::Granted);

  Reports reports;
  play::SongSearch search(*app);
  search.setReceiver([&reports](play::SearchReport&& r) { reports.add(std::move(r)); });
  const uint64_t first = search.start({SearchKind::Text, "song"});
  const uint64_t second = search.start({SearchKind::Text, "Title 4"});
  ASSERT_NE(first, 0u);
  ASSERT_NE(second, 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  {
    const std::lock_guard lock(reports.mutex);
    EXPECT_TRUE(reports.all.empty()) << "nothing is read while another job holds the table";
  }
  releaseExclusive(*app);

  ASSERT_TRUE(reports.waitFinished(second));
  const std::lock_guard lock(reports.mutex);
  std::vector<uint32_t> slots;
  for (const play::SearchReport& r : reports.all) {
    EXPECT_EQ(r.search, second) << "the cancelled search reports nothing";
    for (const FoundSong& song : r.songs)
      slots.push_back(song.slot);
  }
  EXPECT_EQ(slots, (std::vector<uint32_t>{4, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49}));
  EXPECT_EQ(reports.all.back().found, 11u);
  EXPECT_EQ(reports.all.back().end, SearchEnd::Done);
  EXPECT_TRUE(waitUntil([&] { return app->run.busyCode.load() == 0; })) << "exclusive use given back";
}

TEST_F(SongSearchTest, PlayNextPutsTheSongOnTopOfTheList) {
  makeTable(plainSongs(30));
  listSlots({2, 3});
  startHeartbeat(*app);
  app->details.nextReady.store(1);

  // Found in either letter case, listed under the name asked for.
  EXPECT_TRUE(play::playNext(*app, "/MUSIC/song17.mp3"));
  EXPECT_EQ(listedFiles(), (std::vector<std::string>{"/MUSIC/song17.mp3", "/music/song2.mp3", "/music/song3.mp3"}));
  EXPECT_EQ(app->list.text(0, play::Title), "Title 17");
  EXPECT_EQ(app->run.listCount.load(), 3);
  EXPECT_EQ(app->details.nextReady.load(), 0u) << "the preloaded details were the old top row's";

  EXPECT_FALSE(play::playNext(*app, "/music/missing.mp3"));
  EXPECT_FALSE(play::playNext(*app, ""));
  EXPECT_FALSE(play::playNext(*app, std::string(700, 'a')));
  EXPECT_EQ(app->list.size(), 3u);
  EXPECT_EQ(app->run.busyCode.load(), 0u);
}

}  // namespace
}  // namespace plinka::test
