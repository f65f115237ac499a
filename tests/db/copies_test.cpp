// The song table's local and network copies: when a read refreshes the local
// copy, how writes lock the network file and push the change back, what the
// size checks ask, and going offline. One temp folder plays the data folder,
// another the share.
#include "db/copies.h"

#include "app/app.h"
#include "db/table.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "support/fake_ui.h"
#include "support/temp_dir.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace plinka::test {
namespace {

using db::CopyDirection;
using platform::FileLock;
using platform::LockKind;
using platform::LockResult;

// Adds a song with the given ID to the table at path; the file grows.
void addSong(const std::string& path, uint32_t id) {
  db::TableHandle table;
  text::copy(table.path, path.c_str());
  table.writable = 1;
  ASSERT_TRUE(db::openMapped(table));
  const int32_t slot = db::allocate(table);
  ASSERT_GE(slot, 0);
  table.value = id;
  db::writeField(table, static_cast<uint32_t>(slot), db::ID);
  db::closeTable(table);
}

void makeSongTable(const std::string& path, const std::vector<uint32_t>& ids) {
  ASSERT_TRUE(db::createSongTable(path.c_str()));
  for (uint32_t id : ids)
    addSong(path, id);
}

bool exists(const std::string& path) { return std::filesystem::exists(path); }

class CopiesTest : public ::testing::Test {
protected:
  CopiesTest() {
    app->ui = &ui;
    app->folders.data = data.path();
    app->settings.networkMode = 1;
    app->settings.localDbFlag = 1;
    text::copy(app->settings.databasePath, network.c_str());
    db::prepareCopies(*app);
  }

  bool readOpen() {
    const bool opened = db::openSongTableForReading(*app);
    openedPath = app->songTable.path;
    db::closeTable(app->songTable);
    return opened;
  }

  // Whether some other instance could take the network file for writing now.
  bool networkFree() {
    FileLock other;
    return other.acquire(network, LockKind::Exclusive) == LockResult::Taken;
  }

  size_t promptsWith(const std::string& message) {
    size_t n = 0;
    for (const PromptRequest& p : ui.prompts)
      n += p.message == message ? 1 : 0;
    return n;
  }

  TempDir data;
  TempDir share;
  FakeUi ui;
  std::unique_ptr<App> app = std::make_unique<App>();
  const std::string network = share.file("Plinka.cvf");
  const std::string local = data.file("Local.cvf");
  const std::string backup = data.file("Local.cvf.bak");
  std::string openedPath;
};

TEST_F(CopiesTest, ReadsRefreshTheLocalCopyFirstThenAfterEveryFiftyOneOpens) {
  app->settings.localDbFlag = 0;
  makeSongTable(network, {101});
  makeSongTable(local, {});
  const std::string oldLocal = readFile(local);
  const std::string first = readFile(network);

  ASSERT_TRUE(readOpen());
  EXPECT_EQ(openedPath, local);
  EXPECT_EQ(readFile(local), first);
  EXPECT_EQ(readFile(backup), oldLocal) << "the copy it replaced is kept";
  EXPECT_EQ(app->copies.localCopyRefreshCounter.load(), 0u);

  addSong(network, 102);
  const std::string second = readFile(network);
  ASSERT_NE(second, first);
  for (uint32_t i = 1; i <= 51; ++i) {
    ASSERT_TRUE(readOpen());
    ASSERT_EQ(readFile(local), first) << "read-open " << i << " refreshed";
  }
  EXPECT_EQ(app->copies.localCopyRefreshCounter.load(), 51u);

  ASSERT_TRUE(readOpen());
  EXPECT_EQ(readFile(local), second);
  EXPECT_EQ(readFile(backup), first);
  EXPECT_EQ(app->copies.localCopyRefreshCounter.load(), 0u);
  EXPECT_EQ(app->run.buildState.load(), 0u);
  EXPECT_TRUE(ui.prompts.empty());
}

TEST_F(CopiesTest, FirstRefreshMakesAMissingLocalCopyWithoutAskingAboutSizes) {
  makeSongTable(network, {101});
  ASSERT_TRUE(readOpen());
  EXPECT_EQ(readFile(local), readFile(network));
  EXPECT_FALSE(exists(backup)) << "there was nothing to keep";
  EXPECT_TRUE(ui.prompts.empty());
}

TEST_F(CopiesTest, ReadOpenWithoutAUsableNetworkFileGoesOfflineAndReadsWhatItCan) {
  enum class Share { Sound, Missing, Empty, HeldElsewhere, Changed };
  struct Case {
    const char* name;
    Share share;
    bool localThere;
    uint32_t buildBefore;
    bool opened;
    bool fromLocal;
    uint32_t buildAfter;
    uint32_t counterAfter;
  };
  const Case cases[] = {
      {"share gone: offline, local copy read", Share::Missing, true, 0, true, true, 1000, 200},
      {"network file empty: offline without a word", Share::Empty, true, 0, true, true, 1000, 200},
      {"network file being written elsewhere: offline", Share::HeldElsewhere, true, 0, true, true, 1000, 200},
      {"a build in progress goes offline too", Share::Missing, true, 10, true, true, 1000, 200},
      {"offline locked: no refresh", Share::Changed, true, 1999, true, true, 1999, 201},
      {"offline counting: no refresh", Share::Changed, true, 1200, true, true, 1200, 201},
      {"offline without a local copy: the network file is read", Share::Sound, false, 1999, true, false, 1999, 201},
      {"nothing to read anywhere", Share::Missing, false, 0, false, false, 1000, 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dataDir;
    TempDir shareDir;
    FakeUi front;
    App fresh;
    fresh.ui = &front;
    fresh.folders.data = dataDir.path();
    fresh.settings.networkMode = 1;
    fresh.settings.localDbFlag = 1;
    const std::string net = shareDir.file("Plinka.cvf");
    text::copy(fresh.settings.databasePath, net.c_str());
    db::prepareCopies(fresh);
    fresh.run.buildState = c.buildBefore;

    const std::string loc = dataDir.file("Local.cvf");
    if (c.localThere)
      makeSongTable(loc, {7});
    const std::string localBefore = c.localThere ? readFile(loc) : "";
    if (c.share == Share::Sound || c.share == Share::Changed || c.share == Share::HeldElsewhere)
      makeSongTable(net, {7, 8});
    if (c.share == Share::Empty)
      writeFile(net, "");
    FileLock elsewhere;
    if (c.share == Share::HeldElsewhere) {
      ASSERT_EQ(elsewhere.acquire(net, LockKind::Exclusive), LockResult::Taken);
    }

    const bool opened = db::openSongTableForReading(fresh);
    const std::string from = fresh.songTable.path;
    db::closeTable(fresh.songTable);

    EXPECT_EQ(opened, c.opened);
    if (c.opened) {
      EXPECT_EQ(from, c.fromLocal ? loc : net);
    }
    EXPECT_EQ(fresh.run.buildState.load(), c.buildAfter);
    EXPECT_EQ(fresh.copies.localCopyRefreshCounter.load(), c.counterAfter);
    if (c.localThere) {
      EXPECT_EQ(readFile(loc), localBefore) << "the local copy was not touched";
    }
    EXPECT_EQ(front.prompts.size(), c.opened ? 0u : 1u);
  }
}

TEST_F(CopiesTest, NothingToReadIsToldWithTheReadMeOffered) {
  struct Case {
    uint32_t answer;
    int helpOpened;
  };
  for (const Case c : {Case{kPromptFirst, 0}, Case{kPromptSecond, 1}}) {
    SCOPED_TRACE(c.answer);
    FakeUi front;
    front.promptAnswers = {c.answer};
    app->ui = &front;
    EXPECT_FALSE(db::openSongTableForReading(*app));
    EXPECT_FALSE(app->songTable.isOpen());
    ASSERT_EQ(front.prompts.size(), 1u);
    EXPECT_EQ(front.prompts[0].message, "The local and remote databases cannot be opened");
    EXPECT_EQ(front.prompts[0].firstCaption, "OK");
    EXPECT_EQ(front.prompts[0].secondCaption, "View ReadMe");
    EXPECT_EQ(front.helpOpened, c.helpOpened);
  }
  app->ui = &ui;
}

TEST_F(CopiesTest, WritingLocksTheNetworkFileAndPushesTheChangeBeforeLettingGo) {
  makeSongTable(network, {101});
  makeSongTable(local, {});
  app->settings.localDbFlag = 0;
  // Every copy made while writing must happen with the network file locked
  // against other instances.
  std::vector<bool> lockedDuringCopy;
  app->copies.copyFile = [&](const std::string& from, const std::string& to) {
    if (from == network || to == network)
      lockedDuringCopy.push_back(!networkFree());
    return platform::copyFile(from, to, true);
  };

  db::openSongTableForWriting(*app);
  ASSERT_TRUE(app->songTable.isOpen());
  EXPECT_TRUE(app->songTable.openForWriting);
  EXPECT_EQ(std::string(app->songTable.path), local);
  EXPECT_EQ(app->copies.localCopyRefreshCounter.load(), 0u) << "the local copy was refreshed first";
  EXPECT_FALSE(networkFree());

  const int32_t slot = db::allocate(app->songTable);
  ASSERT_GE(slot, 0);
  app->songTable.value = 555;
  db::writeField(app->songTable, static_cast<uint32_t>(slot), db::ID);
  db::closeSongTableAfterWriting(*app);

  EXPECT_FALSE(app->songTable.isOpen());
  EXPECT_EQ(readFile(network), readFile(local));
  EXPECT_TRUE(networkFree());
  EXPECT_EQ(lockedDuringCopy, (std::vector<bool>{true, true})) << "the refresh and the push, both under the lock";
  EXPECT_EQ(app->run.buildState.load(), 0u);
}

TEST_F(CopiesTest, WriteOpenThatCannotLockGoesOfflineAndKeepsAnOfflineStateItFinds) {
  makeSongTable(network, {101});
  makeSongTable(local, {});
  struct Case {
    const char* name;
    bool heldElsewhere;
    uint32_t buildBefore;
    uint32_t buildAfter;
  };
  const Case cases[] = {
      {"another instance is writing", true, 0, 1000},
      {"a build in progress", true, 10, 1000},
      {"already offline", false, 1000, 1000},
      {"offline and counting towards its end", false, 1300, 1300},
      {"offline locked by the user", false, 1999, 1999},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app->run.buildState = c.buildBefore;
    const std::string localBefore = readFile(local);
    FileLock elsewhere;
    if (c.heldElsewhere) {
      ASSERT_EQ(elsewhere.acquire(network, LockKind::Exclusive), LockResult::Taken);
    }

    db::openSongTableForWriting(*app);
    EXPECT_FALSE(app->songTable.isOpen());
    EXPECT_EQ(app->run.buildState.load(), c.buildAfter);
    EXPECT_FALSE(app->copies.networkLock.held());
    EXPECT_EQ(readFile(local), localBefore);
    db::closeSongTableAfterWriting(*app);
  }
}

TEST_F(CopiesTest, ALockHeldByAnotherProcessCountsAsHeld) {
  makeSongTable(network, {101});
  makeSongTable(local, {});
  int ready[2];
  int finish[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(finish), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    FileLock held;
    const char ok = held.acquire(network, LockKind::Exclusive) == LockResult::Taken ? 1 : 0;
    (void)!write(ready[1], &ok, 1);
    char done;
    (void)!read(finish[0], &done, 1);
    _exit(0);
  }
  char ok = 0;
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, 1);

  db::openSongTableForWriting(*app);
  const bool openedWhileHeld = app->songTable.isOpen();
  const uint32_t buildWhileHeld = app->run.buildState.load();
  db::closeSongTableAfterWriting(*app);

  (void)!write(finish[1], "x", 1);
  int status = 0;
  waitpid(child, &status, 0);
  for (int fd : {ready[0], ready[1], finish[0], finish[1]})
    close(fd);

  EXPECT_FALSE(openedWhileHeld);
  EXPECT_EQ(buildWhileHeld, 1000u);

  app->run.buildState = 0;
  db::openSongTableForWriting(*app);
  EXPECT_TRUE(app->songTable.isOpen()) << "free again once the other process has gone";
  db::closeSongTableAfterWriting(*app);
}

TEST_F(CopiesTest, PushOfAGrownLocalCopyAsksAboutTheSizesWhenTheFlagIsSet) {
  struct Case {
    const char* name;
    uint32_t flag;
    uint32_t answer;
    bool asked;
    bool pushed;
  };
  const Case cases[] = {
      {"flag off: pushed without a word", 0, kPromptFirst, false, true},
      {"\"Use the Network database\" lets the push go ahead", 1, kPromptFirst, true, true},
      {"\"Use the Local database\" stops it", 1, kPromptSecond, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    makeSongTable(network, {101});
    makeSongTable(local, {});
    app->settings.localDbFlag = c.flag;
    ui.prompts.clear();
    // The refresh before writing meets the sizes of the two fresh tables.
    ui.promptAnswers = {kPromptFirst, c.answer};

    db::openSongTableForWriting(*app);
    ASSERT_TRUE(app->songTable.isOpen());
    const std::string networkBefore = readFile(network);
    // Enough new records to make the table grow.
    for (int i = 0; i < 12; ++i)
      ASSERT_GE(db::allocate(app->songTable), 0);
    db::closeSongTableAfterWriting(*app);
    ASSERT_NE(readFile(local).size(), networkBefore.size()) << "the local copy grew";

    EXPECT_EQ(readFile(network), c.pushed ? readFile(local) : networkBefore);
    const size_t asked = promptsWith("The Local and Network databases are not the same size");
    EXPECT_EQ(asked, c.flag ? 2u : 0u) << "once at the refresh, once at the push";
    if (c.asked) {
      EXPECT_EQ(ui.prompts.back().firstCaption, "Use the Network database");
      EXPECT_EQ(ui.prompts.back().secondCaption, "Use the Local database");
    }
    EXPECT_TRUE(networkFree());
  }
}

TEST_F(CopiesTest, AnEmptyLocalCopyIsNeverPushed) {
  struct Case {
    uint32_t answer;
    bool localRepaired;
  };
  for (const Case c : {Case{kPromptFirst, true}, Case{kPromptSecond, false}}) {
    SCOPED_TRACE(c.answer);
    makeSongTable(network, {101});
    writeFile(local, "");
    const std::string networkBefore = readFile(network);
    ui.prompts.clear();
    ui.promptAnswers = {c.answer};

    EXPECT_EQ(db::copyDatabaseFile(*app, local, network, CopyDirection::Push), 0u);
    ASSERT_EQ(ui.prompts.size(), 1u);
    EXPECT_EQ(ui.prompts[0].message, "The network Database is damaged");
    EXPECT_EQ(ui.prompts[0].firstCaption, "Replace with local");
    EXPECT_EQ(ui.prompts[0].secondCaption, "Don't do anything");
    EXPECT_EQ(readFile(network), networkBefore);
    EXPECT_EQ(readFile(local), c.localRepaired ? networkBefore : "");
  }
}

TEST_F(CopiesTest, AnEmptyNetworkFileIsNotPulledAndTheNextPushMendsIt) {
  makeSongTable(local, {101});
  writeFile(network, "");
  app->settings.localDbFlag = 0;

  db::openSongTableForWriting(*app);
  ASSERT_TRUE(app->songTable.isOpen()) << "the lock is had, the local copy opens";
  EXPECT_EQ(app->copies.localCopyRefreshCounter.load(), 200u) << "the refresh failed";
  db::closeSongTableAfterWriting(*app);

  EXPECT_EQ(readFile(network), readFile(local));
  EXPECT_FALSE(readFile(network).empty());
  EXPECT_TRUE(ui.prompts.empty());
}

TEST_F(CopiesTest, APullThatFailsThreeTimesPutsTheBackupBack) {
  struct Case {
    const char* name;
    bool backupWrites;
    bool restored;
  };
  const Case cases[] = {
      {"the copy it made first comes back", true, true},
      {"an older backup is never put back", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app->settings.localDbFlag = 0;
    makeSongTable(network, {101, 102});
    makeSongTable(local, {101});
    writeFile(backup, "an older backup");
    const std::string localBefore = readFile(local);
    const std::string networkBytes = readFile(network);
    // The share breaks off every copy half-way.
    std::vector<std::string> copies;
    app->copies.copyFile = [&](const std::string& from, const std::string& to) {
      copies.push_back(to);
      if (to == backup && !c.backupWrites)
        return false;
      if (from == network) {
        writeFile(to, networkBytes.substr(0, networkBytes.size() / 2));
        return true;
      }
      return platform::copyFile(from, to, true);
    };

    EXPECT_EQ(db::copyDatabaseFile(*app, network, local, CopyDirection::Pull), 0u);
    std::vector<std::string> expected = {backup, local, local, local};
    if (c.restored)
      expected.push_back(local);
    EXPECT_EQ(copies, expected);
    if (c.restored) {
      EXPECT_EQ(readFile(local), localBefore);
    } else {
      EXPECT_NE(readFile(local), "an older backup");
    }
    app->copies.copyFile = nullptr;
  }
}

TEST_F(CopiesTest, AReadOpenWhosePullFailsGoesOffline) {
  makeSongTable(network, {101});
  makeSongTable(local, {});
  app->settings.localDbFlag = 1;
  ui.promptAnswers = {kPromptSecond};  // "Use the Local database"
  ASSERT_TRUE(readOpen());
  EXPECT_EQ(openedPath, local);
  EXPECT_EQ(app->run.buildState.load(), 1000u);
  EXPECT_EQ(app->copies.localCopyRefreshCounter.load(), 200u);
}

TEST_F(CopiesTest, OutsideNetworkModeTheDatabasePathIsUsedAsItIs) {
  app->settings.networkMode = 0;
  makeSongTable(network, {101});
  ASSERT_TRUE(readOpen());
  EXPECT_EQ(openedPath, network);
  db::openSongTableForWriting(*app);
  ASSERT_TRUE(app->songTable.isOpen());
  EXPECT_TRUE(app->songTable.openForWriting);
  EXPECT_EQ(std::string(app->songTable.path), network);
  db::closeSongTableAfterWriting(*app);
  EXPECT_FALSE(exists(local));
  EXPECT_TRUE(networkFree());
}

}  // namespace
}  // namespace plinka::test

namespace plinka::test {
namespace {

// A write whose refresh of the local copy broke off never pushes that stale
// copy over the share: the lock goes, the database goes offline, and the
// network file keeps what another computer wrote.
TEST_F(CopiesTest, AWriteOpenWhosePullFailsGoesOfflineAndPushesNothing) {
  makeSongTable(network, {101, 102});
  makeSongTable(local, {101});
  app->settings.localDbFlag = 0;
  const std::string networkBytes = readFile(network);
  app->copies.copyFile = [&](const std::string& from, const std::string& to) {
    if (from == network)
      writeFile(to, networkBytes.substr(0, networkBytes.size() / 2));  // the share breaks off
    else
      platform::copyFile(from, to, true);
    return true;
  };

  db::openSongTableForWriting(*app);
  EXPECT_FALSE(app->songTable.isOpen());
  EXPECT_FALSE(app->copies.networkLock.held());
  EXPECT_TRUE(networkFree());
  EXPECT_EQ(app->run.buildState.load(), 1000u);
  db::closeSongTableAfterWriting(*app);
  EXPECT_EQ(readFile(network), networkBytes);
}

// Pulls are skipped while the network file keeps the stamp this instance
// last pulled or pushed; a push elsewhere (a new stamp) is pulled even when
// the file's size is unchanged, and a push keeps the file's permissions.
TEST_F(CopiesTest, AnUnchangedNetworkFileIsNotPulledAgain) {
  makeSongTable(network, {101});
  app->settings.localDbFlag = 0;
  std::vector<std::string> copies;
  app->copies.copyFile = [&](const std::string& from, const std::string& to) {
    copies.push_back(from == network ? "pull" : to == network ? "push" : "backup");
    return platform::copyFile(from, to, true);
  };
  auto pullsAndPushes = [&] {
    std::vector<std::string> seen;
    for (const std::string& c : copies)
      if (c != "backup")
        seen.push_back(c);
    copies.clear();
    return seen;
  };
  auto refreshNow = [&] { app->copies.localCopyRefreshCounter.store(db::kRefreshCounterAtStart); };
  ASSERT_EQ(chmod(network.c_str(), 0664), 0);

  ASSERT_TRUE(readOpen());
  EXPECT_EQ(pullsAndPushes(), (std::vector<std::string>{"pull"})) << "no stamp yet: the first pull copies";

  db::openSongTableForWriting(*app);
  ASSERT_TRUE(app->songTable.isOpen());
  app->songTable.value = 7;
  db::writeField(app->songTable, 1, db::PlayCount);
  db::closeSongTableAfterWriting(*app);
  EXPECT_EQ(pullsAndPushes(), (std::vector<std::string>{"pull", "push"}));
  EXPECT_EQ(std::filesystem::status(network).permissions(), std::filesystem::perms(0664));
  const std::string stamp = readFile(network + db::kStampSuffix);
  EXPECT_EQ(stamp.size(), 32u);

  refreshNow();
  ASSERT_TRUE(readOpen());
  db::openSongTableForWriting(*app);
  db::closeSongTableAfterWriting(*app);
  EXPECT_EQ(pullsAndPushes(), (std::vector<std::string>{"push"})) << "both pulls skipped";
  EXPECT_NE(readFile(network + db::kStampSuffix), stamp) << "every push stamps anew";

  // Another computer edits a record in place: same size, new stamp.
  db::TableHandle other;
  text::copy(other.path, network.c_str());
  other.writable = 1;
  ASSERT_TRUE(db::openMapped(other));
  other.value = 99;
  db::writeField(other, 1, db::PlayCount);
  db::closeTable(other);
  writeFile(network + db::kStampSuffix, std::string(32, 'e'));
  refreshNow();
  ASSERT_TRUE(readOpen());
  EXPECT_EQ(pullsAndPushes(), (std::vector<std::string>{"pull"}));
  EXPECT_EQ(readFile(local), readFile(network));
}

}  // namespace
}  // namespace plinka::test

namespace plinka::test {
namespace {

// A folder whose file system cannot lock: a local song table opens without
// the lock, a share keeps the database offline; the user is told once a run.
TEST_F(CopiesTest, AFolderThatCannotLockIsToldOnceAndAShareStaysOffline) {
  makeSongTable(network, {101});
  makeSongTable(local, {101});
  platform::LockFaults faults;
  faults.noLocking = true;
  platform::setLockFaults(faults);

  db::openSongTableForWriting(*app);
  EXPECT_FALSE(app->songTable.isOpen());
  EXPECT_EQ(app->run.buildState.load(), kOfflineFirst) << "no push without the share's lock";
  EXPECT_NE(app->status.message.find(platform::kNoLockingText), std::string::npos) << app->status.message;

  app->status.message.clear();
  app->copies.noLockingTold.store(0);
  app->run.buildState.store(0);
  app->settings.networkMode = 0;
  text::copy(app->settings.databasePath, local.c_str());
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(readOpen()) << "a local table opens without the lock";
    db::openSongTableForWriting(*app);
    EXPECT_TRUE(app->songTable.isOpen());
    db::closeSongTableAfterWriting(*app);
    const bool told = app->status.message.find(platform::kNoLockingText) != std::string::npos;
    EXPECT_EQ(told, i == 0) << "once a run: " << app->status.message;
    app->status.message.clear();
  }
  platform::setLockFaults({});
}

// Waits until a file made now gets a later change time than path's: a file
// system keeps change times coarsely, and a write in the same tick as the
// pull would not show.
void waitForChangeTimeAfter(const std::string& path, const std::string& scratch) {
  platform::FileIdentity then, now;
  ASSERT_TRUE(platform::fileIdentity(path, then));
  do {
    writeFile(scratch, "tick");
    ASSERT_TRUE(platform::fileIdentity(scratch, now));
  } while (now.changedSeconds == then.changedSeconds && now.changedNanoseconds == then.changedNanoseconds);
}

// A pull is skipped only while the local copy is the very file the last pull
// left: another program's copy over it, or a write into it, is pulled over
// again even though the network file's stamp and size are unchanged.
TEST_F(CopiesTest, ALocalCopyChangedBehindTheStampsBackIsPulledAgain) {
  enum class Change { None, WrittenInPlace, ReplacedByAnotherCopy };
  struct Case {
    const char* name;
    Change change;
    bool pulled;
  };
  const Case cases[] = {
      {"untouched: the pull is skipped", Change::None, false},
      {"a byte written in place", Change::WrittenInPlace, true},
      {"another program's copy renamed over it", Change::ReplacedByAnotherCopy, true},
  };
  makeSongTable(network, {101, 102});
  app->settings.localDbFlag = 0;
  int pulls = 0;
  app->copies.copyFile = [&](const std::string& from, const std::string& to) {
    pulls += from == network ? 1 : 0;
    return platform::copyFile(from, to, true);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    db::openSongTableForWriting(*app);  // a push: the network file gets a stamp
    ASSERT_TRUE(app->songTable.isOpen());
    ASSERT_TRUE(db::closeSongTableAfterWriting(*app));
    pulls = 0;

    if (c.change == Change::WrittenInPlace) {
      waitForChangeTimeAfter(local, data.file("tick"));
      const int fd = open(local.c_str(), O_WRONLY);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(pwrite(fd, "X", 1, 2000), 1);
      close(fd);
    } else if (c.change == Change::ReplacedByAnotherCopy) {
      ASSERT_TRUE(platform::copyFile(local, local)) << "the same bytes under a new inode";
    }
    app->copies.localCopyRefreshCounter.store(db::kRefreshCounterAtStart);
    ASSERT_TRUE(readOpen());
    EXPECT_EQ(pulls, c.pulled ? 1 : 0);
    EXPECT_TRUE(readFile(local) == readFile(network)) << "the local copy matches the share again";
  }
}

// A push stamps the network file before its new content takes the name and
// again after; a push whose last stamp cannot be written is not done, and
// leaves no stamp a reader could keep a stale copy under.
TEST_F(CopiesTest, APushIsStampedAgainAfterTheRenameAndIsNotDoneWithoutAStamp) {
  makeSongTable(network, {101});
  app->settings.localDbFlag = 0;
  std::string stampDuringPush;
  app->copies.copyFile = [&](const std::string& from, const std::string& to) {
    if (to == network)
      stampDuringPush = readFile(network + db::kStampSuffix);
    return platform::copyFile(from, to, true);
  };
  db::openSongTableForWriting(*app);
  ASSERT_TRUE(app->songTable.isOpen());
  EXPECT_TRUE(db::closeSongTableAfterWriting(*app));
  EXPECT_EQ(stampDuringPush.size(), 32u) << "stamped before the rename";
  const std::string stampAfter = readFile(network + db::kStampSuffix);
  EXPECT_EQ(stampAfter.size(), 32u);
  EXPECT_NE(stampAfter, stampDuringPush) << "and again after it";

  // The stamp cannot be written (its name is taken by a folder).
  ASSERT_EQ(unlink((network + db::kStampSuffix).c_str()), 0);
  ASSERT_EQ(mkdir((network + db::kStampSuffix).c_str(), 0755), 0);
  db::openSongTableForWriting(*app);
  ASSERT_TRUE(app->songTable.isOpen());
  app->songTable.value = 9;
  db::writeField(app->songTable, 1, db::PlayCount);
  EXPECT_FALSE(db::closeSongTableAfterWriting(*app)) << "a push without its stamp is not reported as done";
  EXPECT_TRUE(app->copies.pulledStamp.empty()) << "the next pull copies";
}

// Where the network file itself has to be read (offline, no local copy),
// it is read into memory: a share that drops out afterwards (here: the file
// cut to nothing) leaves the open table readable instead of killing the
// process with a fault.
TEST_F(CopiesTest, TheNetworkFileReadDirectlyIsHeldInMemory) {
  makeSongTable(network, {7, 8});
  app->run.buildState = kOfflineLocked;
  ASSERT_TRUE(db::openSongTableForReading(*app));
  EXPECT_EQ(std::string(app->songTable.path), network);
  ASSERT_EQ(truncate(network.c_str(), 0), 0);
  ASSERT_GE(db::readField(app->songTable, 2, db::ID), 0);
  EXPECT_EQ(app->songTable.value, 8u);
  db::closeTable(app->songTable);
  EXPECT_EQ(app->songTable.readIntoMemory, 0u) << "the next open maps again";
}

}  // namespace
}  // namespace plinka::test
