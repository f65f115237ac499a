// The deferred edit queue and its writer: what gets written and in which
// order, when the writer starts, the queue's room, and the end of the run.
// Real threads run with the clock sped up; the heartbeat grants the writer
// its exclusive access.
#include "app/settings_file.h"
#include "library/edit_queue.h"

#include "app/background_worker.h"
#include "app/end_of_run.h"
#include "core/window_command_ids.h"
#include "db/copies.h"
#include "db/table.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "support/scheduler_fixture.h"
#include "support/temp_dir.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace plinka::test {
namespace {

using library::enqueueEdit;

constexpr uint32_t kScore = db::scoreField(0);

// Record r (from 1) holds the song with ID kIdBase + r.
constexpr uint32_t kIdBase = 1000;

class EditQueueTest : public SchedulerTest {
protected:
  explicit EditQueueTest(uint32_t records = 210) {
    makeTable(records);
    text::copy(app->settings.databasePath, table.c_str());
    library::installEditQueue(*app);
  }

  void makeTable(uint32_t records) {
    ASSERT_TRUE(db::createSongTable(table.c_str()));
    db::TableHandle h;
    text::copy(h.path, table.c_str());
    h.writable = 1;
    ASSERT_TRUE(db::openMapped(h));
    for (uint32_t r = 1; r <= records; ++r) {
      ASSERT_EQ(db::allocate(h), static_cast<int32_t>(r));
      h.value = kIdBase + r;
      db::writeField(h, r, db::ID);
    }
    db::closeTable(h);
  }

  uint32_t number(uint32_t record, uint32_t field) {
    db::TableHandle h;
    text::copy(h.path, table.c_str());
    if (!db::openMapped(h) || db::readField(h, record, field) < 0)
      return 0xFFFFFFFFu;
    const uint32_t v = h.value;
    db::closeTable(h);
    return v;
  }

  void setNumber(uint32_t record, uint32_t field, uint32_t value) {
    db::TableHandle h;
    text::copy(h.path, table.c_str());
    h.writable = 1;
    ASSERT_TRUE(db::openMapped(h));
    h.value = value;
    db::writeField(h, record, field);
    db::closeTable(h);
  }

  // Queues a new Score for record r as the player would.
  void rate(uint32_t record, uint32_t score) { enqueueEdit(*app, record, kScore, score, 0, kIdBase + record); }

  int32_t waiting() { return app->editQueue.count.load(); }

  TempDir dir;
  const std::string table = dir.file("Plinka.cvf");
};

// The song table lives on a share: the program works on a local copy in a
// data folder of its own and writes to the share under its lock.
class SharedTableEditQueueTest : public EditQueueTest {
protected:
  SharedTableEditQueueTest() {
    app->settings.networkMode = 1;
    app->folders.data = data.path();
    db::prepareCopies(*app);
  }

  // Another instance takes the share's table for writing and keeps it
  // until shareGivenBack; false when it could not.
  bool shareHeldElsewhere() {
    return elsewhere.acquire(table, platform::LockKind::Exclusive) == platform::LockResult::Taken;
  }
  void shareGivenBack() { elsewhere.release(); }

  TempDir data;
  platform::FileLock elsewhere;
};

TEST_F(EditQueueTest, WriterAppliesTheOldestFirstAndOnlyToTheSongItWasMadeFor) {
  struct Edit {
    const char* what;
    uint32_t record, field, value, identity;
  };
  const Edit edits[] = {
      {"first of three", 1, kScore, 5, kIdBase + 1},
      {"second of three", 1, kScore, 6, kIdBase + 1},
      {"newest of three", 1, kScore, 7, kIdBase + 1},
      {"record deleted and given to another song", 2, kScore, 9, kIdBase + 2},
      {"song without an ID yet", 3, kScore, 4, 0},
      {"another user's field", 4, db::scoreField(3), 8, kIdBase + 4},
      {"a text field never takes a number", 5, db::FileName, 3, kIdBase + 5},
  };
  setNumber(3, db::ID, 0);
  for (const Edit& e : edits)
    enqueueEdit(*app, e.record, e.field, e.value, 0, e.identity);
  ASSERT_EQ(waiting(), 7);
  EXPECT_EQ(+settingsImage(*app).localBufferCount, 7) << "the settings file's count follows";
  setNumber(2, db::ID, 4242);

  startHeartbeat(*app);
  library::runCacheWriter(*app);

  struct Expect {
    const char* what;
    uint32_t record, field, value;
  };
  const Expect expected[] = {
      {"the newest value wins", 1, kScore, 7},      {"the other song keeps its Score", 2, kScore, 0},
      {"an ID of 0 still matches 0", 3, kScore, 4}, {"the field named is written", 4, db::scoreField(3), 8},
      {"nothing else of that song", 4, kScore, 0},
  };
  for (const Expect& e : expected)
    EXPECT_EQ(number(e.record, e.field), e.value) << e.what;
  db::TableHandle h;
  text::copy(h.path, table.c_str());
  ASSERT_TRUE(db::openMapped(h));
  ASSERT_GE(db::readField(h, 5, db::FileName), 0);
  EXPECT_STREQ(h.text, "");
  db::closeTable(h);

  EXPECT_EQ(waiting(), -1) << "an emptied queue is freed";
  EXPECT_EQ(+settingsImage(*app).localBufferCount, -1);
  EXPECT_TRUE(app->editQueue.entries == nullptr);
  EXPECT_EQ(app->editQueue.writerRunning.load(), 0u);
  EXPECT_EQ(app->run.busyCode.load(), 0u) << "exclusive access given back";
}

TEST_F(EditQueueTest, TheEditThatFillsTheQueueTo151StartsTheWriterWhenNoListIsBuilt) {
  startHeartbeat(*app);
  for (uint32_t r = 1; r <= 150; ++r)
    rate(r, r);
  EXPECT_EQ(app->editQueue.writerStep.load(), 0u) << "150 wait without a writer";
  rate(151, 151);
  ASSERT_TRUE(waitUntil([&] { return waiting() == -1 && app->editQueue.writerRunning.load() == 0; }));
  for (uint32_t r = 1; r <= 151; ++r)
    ASSERT_EQ(number(r, kScore), r) << "record " << r;
}

TEST_F(EditQueueTest, WhileAListIsBuiltTheQueueGrowsToTwoHundredAndDropsTheRest) {
  app->run.buildState = kBuildWanted;
  for (uint32_t r = 1; r <= 205; ++r)
    rate(r, r);
  EXPECT_EQ(waiting(), 200);
  // Any writer started would have left its step behind.
  app->run.appEnding = 1;
  app->jobThreads.waitAll();
  EXPECT_EQ(app->editQueue.writerStep.load(), 0u) << "no writer while building";
  app->run.appEnding = 0;

  app->run.commandSlot = kLeavingCode;
  library::writeCachedEditsAtExit(*app);
  EXPECT_EQ(waiting(), -1);
  for (uint32_t r = 1; r <= 205; ++r)
    ASSERT_EQ(number(r, kScore), r <= 200 ? r : 0u) << "record " << r;
}

TEST_F(EditQueueTest, QuittingWritesEveryQueuedEditOrKeepsItForTheNextStart) {
  struct Case {
    const char* name;
    uint32_t edits;
    bool tableThere;
    bool written;
  };
  const Case cases[] = {
      {"six are written", 6, true, true},
      {"five are written", 5, true, true},
      {"a single one is written", 1, true, true},
      {"a table that cannot be opened keeps them and still lets the run end", 6, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeUi front;
    App fresh;
    fresh.ui = &front;
    fresh.clock.speed = 1000;
    TempDir folder;
    fresh.folders.data = folder.path();
    library::installEditQueue(fresh);
    const std::string path = folder.file("Plinka.cvf");
    if (c.tableThere) {
      ASSERT_TRUE(db::createSongTable(path.c_str()));
    }
    text::copy(fresh.settings.databasePath, path.c_str());
    for (uint32_t i = 0; i < c.edits; ++i)
      enqueueEdit(fresh, 0, db::scoreField(i), 10 + i, 0, 0);
    fresh.run.commandSlot = kLeavingCode;

    finishRun(fresh);

    EXPECT_EQ(fresh.editQueue.count.load(), c.written ? -1 : static_cast<int32_t>(c.edits));
    EXPECT_EQ(platform::fileExists(folder.file(library::kKeptEditsFileName)), !c.written);
    if (!c.written) {
      // The next start finds them queued again, and they reach the table.
      ASSERT_TRUE(db::createSongTable(path.c_str()));
      App next;
      next.clock.speed = 1000;
      next.folders.data = folder.path();
      text::copy(next.settings.databasePath, path.c_str());
      EXPECT_EQ(library::restoreKeptEdits(next), static_cast<int32_t>(c.edits));
      EXPECT_TRUE(platform::fileExists(folder.file(library::kKeptEditsFileName))) << "kept until written";
      library::installEditQueue(next);
      next.run.commandSlot = kLeavingCode;
      finishRun(next);
      EXPECT_EQ(next.editQueue.count.load(), -1);
      EXPECT_FALSE(platform::fileExists(folder.file(library::kKeptEditsFileName))) << "gone once written";
    }
    db::TableHandle h;
    text::copy(h.path, path.c_str());
    ASSERT_TRUE(db::openMapped(h));
    for (uint32_t i = 0; i < c.edits; ++i) {
      ASSERT_GE(db::readField(h, 0, db::scoreField(i)), 0);
      EXPECT_EQ(h.value, 10 + i);
    }
    db::closeTable(h);
    EXPECT_EQ(fresh.run.commandSlot.load(), kEndedCode);
    EXPECT_EQ(front.commandsPosted(), std::vector<WindowCommand>{WindowCommand::EndRun}) << "the run ends once";
  }
}

TEST_F(SharedTableEditQueueTest, EditsLeftOfflineAtTheEndAreWrittenInTheirOrderAfterTheNextStart) {
  ASSERT_TRUE(shareHeldElsewhere());
  rate(1, 5);
  rate(2, 6);
  rate(1, 7);  // the later Score of the same song wins
  app->run.commandSlot = kLeavingCode;
  finishRun(*app);
  EXPECT_EQ(app->run.commandSlot.load(), kEndedCode);
  shareGivenBack();
  EXPECT_EQ(number(1, kScore), 0u);

  App next;
  next.clock.speed = 1000;
  next.folders.data = data.path();
  text::copy(next.settings.databasePath, table.c_str());
  EXPECT_EQ(library::restoreKeptEdits(next), 3);
  EXPECT_EQ(library::restoreKeptEdits(next), 0) << "taken back once";
  library::installEditQueue(next);
  next.run.commandSlot = kLeavingCode;
  finishRun(next);
  EXPECT_EQ(number(1, kScore), 7u);
  EXPECT_EQ(number(2, kScore), 6u);
}

TEST_F(EditQueueTest, TheBackgroundWorkerWritesTheQueueWhenMoreThanFiftyWait) {
  startHeartbeat(*app);
  app->run.listCount = 50;  // no list wanted
  app->shared.hashStat = 1;
  for (uint32_t r = 1; r <= 50; ++r)
    rate(r, r);
  workerPass(*app);
  EXPECT_EQ(waiting(), 50);
  rate(51, 51);
  workerPass(*app);
  EXPECT_EQ(waiting(), -1);
  EXPECT_EQ(number(51, kScore), 51u);
}

TEST_F(SharedTableEditQueueTest, OfflineTheWriterStopsAndTheEditsWait) {
  ASSERT_TRUE(shareHeldElsewhere());
  for (uint32_t r = 1; r <= 3; ++r)
    rate(r, r);

  startHeartbeat(*app);
  library::runCacheWriter(*app);
  // The heartbeat counts an offline state up meanwhile.
  EXPECT_GE(app->run.buildState.load(), kOfflineFirst);
  EXPECT_LE(app->run.buildState.load(), kOfflineLast);
  EXPECT_EQ(waiting(), 3);
  EXPECT_EQ(app->editQueue.writerRunning.load(), 0u);
  EXPECT_EQ(app->run.busyCode.load(), 0u);
  EXPECT_EQ(number(1, kScore), 0u);
}

TEST_F(EditQueueTest, EditsQueuedAfterANewIdFollowTheSongToIt) {
  struct Case {
    const char* what;
    uint32_t record, storedId;
    uint32_t idEditIdentity, newId;  // the ID edit, queued first
    uint32_t scoreIdentity;          // the Score edit queued after it
    uint32_t idAfter, scoreAfter;
  };
  const Case cases[] = {
      {"a song's first ID, then its Score", 3, 0, 0, 777, 0, 777, 9},
      {"a changed file's new ID, then its Score", 4, kIdBase + 4, kIdBase + 4, 888, kIdBase + 4, 888, 9},
      {"an ID edit for another song is dropped, and so is the Score", 5, kIdBase + 5, 0, 999, 0, kIdBase + 5, 0},
  };
  for (const Case& c : cases) {
    setNumber(c.record, db::ID, c.storedId);
    enqueueEdit(*app, c.record, db::ID, c.newId, c.idEditIdentity, c.idEditIdentity);
    enqueueEdit(*app, c.record, kScore, 9, 0, c.scoreIdentity);
  }
  // Another record's edit made for the song's old identity stays its own.
  setNumber(6, db::ID, 0);
  enqueueEdit(*app, 6, kScore, 4, 0, 0);

  startHeartbeat(*app);
  library::runCacheWriter(*app);

  for (const Case& c : cases) {
    EXPECT_EQ(number(c.record, db::ID), c.idAfter) << c.what;
    EXPECT_EQ(number(c.record, kScore), c.scoreAfter) << c.what;
  }
  EXPECT_EQ(number(6, db::ID), 0u);
  EXPECT_EQ(number(6, kScore), 4u);
}

TEST_F(EditQueueTest, EditsQueuedWhileTheWriterWorksAreNeitherLostNorMixedUp) {
  startHeartbeat(*app);
  constexpr uint32_t kPerProducer = 90;
  auto producer = [&](uint32_t user) {
    for (uint32_t r = 1; r <= kPerProducer; ++r)
      enqueueEdit(*app, r, db::scoreField(user), 100 * user + r, 0, kIdBase + r);
  };
  std::thread first(producer, 1);
  std::thread second(producer, 2);
  // Writer runs meanwhile, as the background worker would make them.
  std::thread writer([&] {
    for (int i = 0; i < 20; ++i)
      library::runCacheWriter(*app);
  });
  first.join();
  second.join();
  writer.join();
  ASSERT_TRUE(waitUntil([&] { return app->editQueue.writerRunning.load() == 0; }));
  while (waiting() > 0)
    library::runCacheWriter(*app);

  EXPECT_EQ(waiting(), -1);
  for (uint32_t user = 1; user <= 2; ++user)
    for (uint32_t r = 1; r <= kPerProducer; ++r)
      ASSERT_EQ(number(r, db::scoreField(user)), 100 * user + r) << "user " << user << " record " << r;
}

// The kept-edits file stays until its edits are written, and then goes: a
// crash before the write loses none of them, and a crash after it never
// writes one again over a Score given since.
TEST_F(EditQueueTest, KeptEditsStayUntilWrittenAndNeverComeBackOverANewerScore) {
  TempDir data;
  auto startAgain = [&](App& next) {
    next.clock.speed = 1000;
    next.folders.data = data.path();
    text::copy(next.settings.databasePath, table.c_str());
  };
  app->folders.data = data.path();
  rate(1, 5);
  rate(2, 6);
  ASSERT_TRUE(library::keepEditsForNextRun(*app));
  {
    App crashedAfterTheRestore;
    startAgain(crashedAfterTheRestore);
    EXPECT_EQ(library::restoreKeptEdits(crashedAfterTheRestore), 2);
  }
  {
    App next;
    startAgain(next);
    EXPECT_EQ(library::restoreKeptEdits(next), 2) << "nothing lost to the crash";
    next.run.commandSlot = kLeavingCode;  // writes without asking for exclusive access
    library::runCacheWriter(next);
    EXPECT_EQ(number(1, kScore), 5u);
    EXPECT_EQ(number(2, kScore), 6u);
    EXPECT_FALSE(platform::fileExists(data.file(library::kKeptEditsFileName))) << "gone once written";
  }
  setNumber(1, kScore, 8);  // the user's newer Score; then the program is killed
  App afterTheCrash;
  startAgain(afterTheCrash);
  EXPECT_EQ(library::restoreKeptEdits(afterTheCrash), 0);
  EXPECT_EQ(number(1, kScore), 8u);
}

// Edits written into a local copy whose push did not go through (here the
// share's stamp cannot be written) are not taken for written: they wait, and
// at the end of the run they are kept for the next start.
TEST_F(SharedTableEditQueueTest, EditsWhosePushFailedAreKeptNotDropped) {
  const std::string stamp = table + db::kStampSuffix;
  ASSERT_EQ(mkdir(stamp.c_str(), 0755), 0);
  rate(1, 5);
  rate(2, 6);
  app->run.commandSlot = kLeavingCode;
  finishRun(*app);
  EXPECT_EQ(app->run.commandSlot.load(), kEndedCode) << "the run still ends";
  EXPECT_EQ(waiting(), 2);

  ASSERT_EQ(rmdir(stamp.c_str()), 0);
  App next;
  next.clock.speed = 1000;
  next.folders.data = data.path();
  next.settings.networkMode = 1;
  text::copy(next.settings.databasePath, table.c_str());
  db::prepareCopies(next);
  EXPECT_EQ(library::restoreKeptEdits(next), 2);
  library::installEditQueue(next);
  next.run.commandSlot = kLeavingCode;
  finishRun(next);
  EXPECT_EQ(next.editQueue.count.load(), -1);
  EXPECT_EQ(number(1, kScore), 5u);
  EXPECT_EQ(number(2, kScore), 6u);
  EXPECT_FALSE(platform::fileExists(data.file(library::kKeptEditsFileName)));
}

}  // namespace
}  // namespace plinka::test
