// The ID worker: which songs get their checksum queued as their ID, how the
// stored IDs are checked again, when it does nothing, and what it holds while
// a file is read. Real threads run with the clock sped up; the heartbeat
// grants the worker its exclusive access.
#include "library/id_worker.h"

#include "core/busy_code.h"
#include "core/settings_defaults.h"
#include "db/table.h"
#include "library/edit_queue.h"
#include "library/file_checksum.h"
#include "play/song_details.h"
#include "support/scheduler_fixture.h"
#include "support/song_table.h"
#include "support/temp_dir.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace plinka::test {
namespace {

class IdWorkerTest : public SchedulerTest {
protected:
  IdWorkerTest() {
    app->folders.program = dir.path();
    app->folders.data = dir.path();
    firstRunDefaults(app->settings, app->folders);
    shareSettings(*app);
    library::installEditQueue(*app);
    EXPECT_TRUE(db::createSongTable(app->settings.databasePath));
  }

  std::string song(uint32_t n) const { return dir.path() + "music/song" + std::to_string(n) + ".mp3"; }

  // Songs 1..count in records 1..count and on the list in that order, each
  // file with contents of its own. Those in `withoutId` have ID 0, the
  // others their checksum.
  void makeSongs(uint32_t count, const std::set<uint32_t>& withoutId = {}) {
    std::filesystem::create_directories(dir.path() + "music");
    db::TableHandle h;
    text::copy(h.path, app->settings.databasePath);
    h.writable = 1;
    ASSERT_TRUE(db::openMapped(h));
    for (uint32_t n = 1; n <= count; ++n) {
      writeFile(song(n), "song " + std::to_string(n) + std::string(300, static_cast<char>('a' + n % 26)));
      ASSERT_EQ(db::allocate(h), static_cast<int32_t>(n));
      text::copy(h.text, song(n).c_str());
      db::writeField(h, n, db::FileName);
      h.value = withoutId.count(n) != 0 ? 0 : library::fileChecksum(song(n).c_str());
      db::writeField(h, n, db::ID);
      play::putListRow(*app, n - 1, song(n).c_str(), play::SongDetails{});
    }
    db::closeTable(h);
  }

  uint32_t storedId(uint32_t record) { return storedNumber(app->settings.databasePath, record, db::ID); }

  std::vector<library::QueuedEdit> queued() {
    std::vector<library::QueuedEdit> out;
    for (int32_t i = app->editQueue.count.load() - 1; i >= 0; --i)
      out.push_back(app->editQueue.entries[static_cast<size_t>(i)]);
    return out;
  }

  TempDir dir;
};

TEST_F(IdWorkerTest, SongsOnTheListWithoutAnIdGetTheirChecksumWrittenByTheCacheWriter) {
  const std::set<uint32_t> withoutId = {2, 5, 11};
  makeSongs(12, withoutId);
  std::filesystem::remove(song(11));  // no file to read: it stays without ID
  // What the worker holds while it reads a file.
  struct Seen {
    uint32_t busyCode;
    bool tableOpen;
    uint32_t holds;
  };
  std::mutex seenLock;
  std::vector<Seen> seen;
  app->idWorker.checksum = [&](const char* path) {
    const std::lock_guard lock(seenLock);
    seen.push_back({app->run.busyCode.load(), app->songTable.isOpen(), app->songTable.lastingHolds.load()});
    return library::fileChecksum(path);
  };
  startHeartbeat(*app);

  library::runIdWorker(*app);

  EXPECT_EQ(app->idWorker.running.load(), 0u);
  // +1 for each song with an ID, -10 (not below 0) for each without: the
  // walk ends at 1, then one record drawn at random (the list is short)
  // gives 2 or 0.
  EXPECT_LE(app->shared.hashStat.load(), 2u);
  EXPECT_EQ(app->copies.localCopyRefreshCounter.load(), library::kRefreshCounterAfterListWalk);
  std::set<uint32_t> given;
  for (const library::QueuedEdit& e : queued()) {
    EXPECT_EQ(e.field, db::ID);
    EXPECT_EQ(e.identity, 0u);
    EXPECT_EQ(e.expectedValue, 0u);
    EXPECT_EQ(e.newValue, library::fileChecksum(song(e.record).c_str())) << e.record;
    given.insert(e.record);
  }
  EXPECT_EQ(given, (std::set<uint32_t>{2, 5})) << "only songs without ID and with a file to read";
  ASSERT_FALSE(seen.empty());
  for (const Seen& s : seen) {
    EXPECT_NE(s.busyCode, codeValue(BusyCode::IdWorker)) << "the song table is given back before a file is read";
    EXPECT_FALSE(s.tableOpen);
    EXPECT_EQ(s.holds, 1u) << "no compaction moves the record meanwhile";
  }
  EXPECT_EQ(app->songTable.lastingHolds.load(), 0u);
  EXPECT_EQ(app->run.busyCode.load(), 0u);

  library::runCacheWriter(*app);
  for (uint32_t n = 1; n <= 12; ++n) {
    const uint32_t expected = n == 11 ? 0 : library::fileChecksum(song(n).c_str());
    EXPECT_EQ(storedId(n), expected) << "record " << n;
  }
}

TEST_F(IdWorkerTest, VerificationQueuesTheNewChecksumOfAChangedFileOnly) {
  makeSongs(22);
  struct Case {
    const char* what;
    uint32_t record;
    bool changed, removed;
  };
  const Case cases[] = {
      {"a file whose contents changed", 7, true, false},
      {"an unchanged file", 8, false, false},
      {"a file that cannot be read keeps its ID", 9, false, true},
  };
  startHeartbeat(*app);
  for (const Case& c : cases) {
    const uint32_t before = storedId(c.record);
    if (c.changed)
      writeFile(song(c.record), "new contents of the song");
    if (c.removed)
      std::filesystem::remove(song(c.record));
    // The walk's next record is c.record.
    app->shared.hashStat = library::kHashVerifyFrom + c.record - 1;
    library::runIdWorker(*app);

    EXPECT_GE(app->shared.hashStat.load(), library::kHashVerifyFrom) << c.what;
    // The walk may go on past the record (and, rarely, around the table to
    // it again): every edit of it is the same one.
    int edits = 0;
    for (const library::QueuedEdit& e : queued()) {
      if (e.record != c.record)
        continue;
      ++edits;
      EXPECT_EQ(e.field, db::ID) << c.what;
      EXPECT_EQ(e.newValue, library::fileChecksum(song(c.record).c_str())) << c.what;
      EXPECT_EQ(e.identity, before) << c.what;
      EXPECT_EQ(e.expectedValue, before) << c.what;
    }
    EXPECT_EQ(edits > 0, c.changed) << c.what;
  }
  library::runCacheWriter(*app);
  EXPECT_EQ(storedId(7), library::fileChecksum(song(7).c_str()));
  EXPECT_NE(storedId(9), 0u);
}

TEST_F(IdWorkerTest, NothingHappensWithAShortListOrWhileAJobHoldsTheTable) {
  struct Case {
    const char* what;
    uint32_t songs, busyCode;
  };
  const Case cases[] = {
      {"9 songs on the list", 9, 0},
      {"a list build holds the table", 12, codeValue(BusyCode::ListBuild)},
  };
  makeSongs(12, {1, 2, 3});
  for (const Case& c : cases) {
    while (app->list.size() > c.songs)
      app->list.remove(app->list.size() - 1);
    app->run.busyCode.store(c.busyCode);
    library::startIdWorker(*app);
    library::runIdWorker(*app);
    EXPECT_EQ(app->idWorker.running.load(), 0u) << c.what;
    EXPECT_EQ(app->editQueue.count.load(), -1) << c.what;
    EXPECT_EQ(app->shared.hashStat.load(), 0u) << c.what;
  }
  app->run.busyCode.store(0);
}

}  // namespace
}  // namespace plinka::test
