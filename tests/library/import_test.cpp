#include "library/import.h"

#include "core/busy_code.h"
#include "db/copies.h"
#include "db/table.h"
#include "import_fixture.h"
#include "library/file_checksum.h"
#include "library/tag_bytes.h"
#include "platform/file_lock.h"
#include "platform/files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <dirent.h>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace plinka;
using namespace plinka::test;
using library::ImportOutcome;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAreArray;

namespace {

// Runs an import of source as the Database window would, the access already
// granted so that no processor thread is needed.
library::ImportResult importFrom(ImportFixture& f, const std::string& source) {
  f.app->run.busyCode.store(codeValue(BusyCode::Import));
  return library::runImport(*f.app, source);
}

std::vector<std::string> progressTexts(FakeUi& ui, uint32_t line) {
  std::vector<std::string> texts;
  for (const FakeUi::ProgressLine& p : ui.progressLines)
    if (p.line == line && p.window == WindowKind::Database)
      texts.push_back(p.text);
  return texts;
}

// The media files under folder, depth first, each folder's entries in the
// order the file system lists them.
void listPreOrder(const std::string& folder, std::vector<std::string>& out) {
  DIR* d = opendir(folder.c_str());
  ASSERT_NE(d, nullptr);
  while (const dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..")
      continue;
    if (std::filesystem::is_directory(folder + name))
      listPreOrder(folder + name + "/", out);
    else if (name.ends_with(".mp3"))
      out.push_back(folder + name);
  }
  closedir(d);
}

TEST(Import, TheSourceDecidesWhatIsWalkedOrRead) {
  struct Case {
    const char* source;  // under the music folder
    const char* shown;   // the window's status line at the end
    std::vector<std::string> imported;
  } cases[] = {
      // A folder is itself, with or without its final '/'.
      {"Rock", "Import Complete", {"Rock/a.mp3", "Rock/Live/b.mp3"}},
      {"Rock/", "Import Complete", {"Rock/a.mp3", "Rock/Live/b.mp3"}},
      // Playlists by their last three letters, in any letter case.
      {"list.M3U", "Import Complete", {"Rock/a.mp3"}},
      {"list.Txt", "Import Complete", {"Rock/a.mp3"}},
      // Any other file stands for the folder holding it.
      {"Rock/a.mp3", "Import Complete", {"Rock/a.mp3", "Rock/Live/b.mp3"}},
      {"Rock/list.pls", "Import Complete", {"Rock/a.mp3", "Rock/Live/b.mp3"}},
      // What names nothing is refused, never taken for the folder above.
      {"Pop", "Folder not found", {}},
      {"Pop/", "Folder not found", {}},
      {"Rock/a.mp3/", "Folder not found", {}},
      {"pipe.m3u", "Folder not found", {}},
  };
  for (const Case& c : cases) {
    ImportFixture f;
    put(f.music("top.mp3"), mp3Bytes("Top"));
    put(f.music("Rock/a.mp3"), mp3Bytes("A"));
    put(f.music("Rock/Live/b.mp3"), mp3Bytes("B"));
    for (const char* name : {"list.M3U", "list.Txt", "Rock/list.pls"})
      put(f.music(name), f.music("Rock/a.mp3") + "\r\n");
    ASSERT_EQ(mkfifo(f.music("pipe.m3u").c_str(), 0600), 0);

    // The Database window's import: the worker on the settings' source.
    text::copy(f.app->settings.importSource, f.music(c.source).c_str());
    f.app->run.busyCode.store(codeValue(BusyCode::Import));
    library::importWorker(*f.app);
    std::vector<std::string> expected;
    for (const std::string& name : c.imported)
      expected.push_back(f.music(name));
    EXPECT_THAT(f.fileNames(), UnorderedElementsAreArray(expected)) << c.source;
    EXPECT_EQ(progressTexts(f.ui, 0).back(), c.shown) << c.source;
    EXPECT_EQ(f.app->run.busyCode.load(), 0u) << c.source;
  }
}

TEST(Import, TheFileTypeFilterDecidesWhichFilesOfAFolderAreTaken) {
  struct Case {
    const char* label;
    bool all, mp3, wav;
    std::vector<std::string> imported;
  } cases[] = {
      {"only MP3", false, true, false, {"one.mp3", "TWO.MP3"}},
      {"only WAV", false, false, true, {"three.wav", "four.WAV"}},
      {"All", true, false, false, {"one.mp3", "TWO.MP3", "three.wav", "four.WAV"}},
  };
  for (const Case& c : cases) {
    ImportFixture f;
    put(f.music("one.mp3"), mp3Bytes("One"));
    put(f.music("TWO.MP3"), mp3Bytes("Two"));
    put(f.music("three.wav"), wavBytes());
    put(f.music("four.WAV"), wavBytes());
    put(f.music("notes.txt"), "not music");
    SettingsRecord& s = f.app->settings;
    s.typeAll = c.all;
    s.typeMp3 = c.mp3;
    s.typeWav = c.wav;
    s.typeAvi = s.typeMpeg = s.typeMidi = s.typeWma = s.typeAsf = s.typeWmv = 0;

    importFrom(f, f.music());
    std::vector<std::string> expected;
    for (const std::string& name : c.imported)
      expected.push_back(f.music(name));
    EXPECT_THAT(f.fileNames(), UnorderedElementsAreArray(expected)) << c.label;
  }
}

// A file already in the table is skipped. On a file system that tells
// letter case apart, "One.mp3" beside "one.mp3" is another song: it is
// added, and skipped in turn when imported again.
TEST(Import, AFileAlreadyThereIsSkippedAndOneDifferingInLetterCaseIsAnother) {
  ImportFixture f;
  put(f.music("Band/one.mp3"), mp3Bytes("One"));
  put(f.music("Band/two.mp3"), mp3Bytes("Two"));
  library::ImportResult first = importFrom(f, f.music());
  EXPECT_EQ(first.added, 2u);
  EXPECT_EQ(first.skipped, 0u);

  f.ui.progressLines.clear();
  library::ImportResult again = importFrom(f, f.music());
  EXPECT_EQ(again.added, 0u);
  EXPECT_EQ(again.skipped, 2u);
  // Skipped files are not shown; the detail line ends with the table's path.
  EXPECT_THAT(progressTexts(f.ui, 1), ElementsAre(f.databasePath()));

  put(f.music("Band/One.mp3"), mp3Bytes("Other One"));
  library::ImportResult cased = importFrom(f, f.music());
  EXPECT_EQ(cased.added, 1u);
  EXPECT_EQ(cased.skipped, 2u);
  put(f.music("list.m3u"), f.music("Band/One.mp3") + "\r\n" + f.music("Band/one.mp3") + "\r\n");
  library::ImportResult byPlaylist = importFrom(f, f.music("list.m3u"));
  EXPECT_EQ(byPlaylist.added, 0u);
  EXPECT_EQ(byPlaylist.skipped, 2u);
  EXPECT_THAT(f.fileNames(),
              UnorderedElementsAreArray({f.music("Band/one.mp3"), f.music("Band/two.mp3"), f.music("Band/One.mp3")}));
}

TEST(Import, ASubFolderIsImportedWholeBeforeTheEntriesThatFollowIt) {
  ImportFixture f;
  for (const char* name : {"a1.mp3", "a2.mp3", "a3.mp3", "sub1/s1.mp3", "sub1/deeper/d1.mp3", "sub1/deeper/d2.mp3",
                           "sub1/s2.mp3", "sub2/t1.mp3", "sub3/empty/.keep", "z.mp3"})
    put(f.music(name), mp3Bytes(name));
  std::vector<std::string> expected;
  listPreOrder(f.music(), expected);

  importFrom(f, f.music());
  // A fresh table hands out slots in order, so slot order is import order.
  EXPECT_EQ(f.fileNames(), expected);
  // The status line names each folder as the walk enters it.
  const std::vector<std::string> folders = progressTexts(f.ui, 0);
  for (const char* folder : {"", "sub1/", "sub1/deeper/", "sub2/", "sub3/", "sub3/empty/"})
    EXPECT_NE(std::find(folders.begin(), folders.end(), f.music(folder)), folders.end()) << folder;
}

TEST(Import, ANewRecordGetsItsStartingValues) {
  ImportFixture f;
  SettingsRecord& s = f.app->settings;
  s.defaultImportValue = 23;
  s.targetValue = 777;
  s.lameCheck = 1;
  std::string lameBody(300, '\x11');
  lameBody.replace(100, 4, "LAME");
  const std::string untagged = f.music("Some Band/First Album/01 Opening.mp3");
  put(untagged, std::string(64, '\x22') + lameBody);
  const std::string tagged = f.music("Folder Artist/Folder Album/tagged.mp3");
  put(tagged, mp3Bytes("Real Title", "Real Artist", "Real Album"));
  // 40 two-byte characters: 63 bytes would end inside the 32nd.
  std::string accents;
  for (int i = 0; i < 40; ++i)
    accents += "\xC3\xA9";
  const std::string longTitle = f.music("x/y/long.mp3");
  put(longTitle, tags::tag(3, tags::frame(3, "TIT2", tags::utf8(accents))));

  importFrom(f, f.music());
  const std::vector<Record> records = f.records();
  ASSERT_EQ(records.size(), 3u);
  for (const Record& r : records) {
    EXPECT_EQ(r.scores, std::vector<uint32_t>(10, 23)) << r.fileName;
    EXPECT_EQ(r.targets, std::vector<uint32_t>(10, 777)) << r.fileName;
    EXPECT_EQ(r.flags + r.endPoint + r.playCount + r.field10, 0u) << r.fileName;
    EXPECT_EQ(r.id, library::fileChecksum(r.fileName.c_str())) << r.fileName;
    EXPECT_NE(r.id, 0u) << r.fileName;
  }
  auto byName = [&](const std::string& path) {
    return *std::find_if(records.begin(), records.end(), [&](const Record& r) { return r.fileName == path; });
  };
  const Record plain = byName(untagged);
  EXPECT_EQ(plain.name, "01 Opening");
  EXPECT_EQ(plain.artist, "Some Band");
  EXPECT_EQ(plain.album, "First Album");
  EXPECT_EQ(plain.comment, "No Data");
  EXPECT_EQ(plain.startPoint, 540u);
  const Record real = byName(tagged);
  EXPECT_EQ(real.name, "Real Title");
  EXPECT_EQ(real.artist, "Real Artist");
  EXPECT_EQ(real.album, "Real Album");
  EXPECT_EQ(real.startPoint, 0u);
  EXPECT_EQ(byName(longTitle).name, accents.substr(0, 62));
}

TEST(Import, AReusedSlotGetsNothingOfTheDeletedRecord) {
  ImportFixture f;
  f.app->settings.lameCheck = 1;
  put(f.music("old.mp3"), mp3Bytes("Old Title", "Old Artist", "Old Album"));
  importFrom(f, f.music());
  // Delete the record after giving it values of its own.
  f.openTable(true);
  db::TableHandle& t = f.app->songTable;
  const uint32_t slot = f.records().at(0).slot;
  for (auto [field, value] : {std::pair{db::StartPoint, 1200u}, {db::Flags, 3u}, {db::PlayCount, 9u}}) {
    t.value = value;
    db::writeField(t, slot, field);
  }
  db::setStatus(t, slot, db::kStatusFree);
  db::closeTable(t);

  // The new file has a LAME marker; its tag cannot be read just now because
  // another reading holds the tag reader.
  put(f.music("new/new.mp3"), "xxLAMExx" + std::string(100, '\x33'));
  f.app->tagReader.busy.store(1);
  importFrom(f, f.music("new/"));
  f.app->tagReader.busy.store(0);

  const std::vector<Record> records = f.records();
  ASSERT_EQ(records.size(), 1u);
  const Record& r = records[0];
  EXPECT_EQ(r.slot, slot);
  EXPECT_EQ(r.fileName, f.music("new/new.mp3"));
  EXPECT_EQ(r.name + r.artist + r.album + r.comment, "");
  EXPECT_EQ(r.startPoint, 540u);
  EXPECT_EQ(r.flags + r.playCount, 0u);
}

TEST(Import, PathsLongerThanARecordHoldsAreRefusedNotCut) {
  ImportFixture f;
  f.openForImport();
  const std::string fits = "/" + std::string(598, 'a');
  const std::string tooLong = "/" + std::string(599, 'b');
  EXPECT_EQ(library::addOneFile(*f.app, tooLong.c_str()), -1);
  EXPECT_GE(library::addOneFile(*f.app, fits.c_str()), 0);
  EXPECT_EQ(library::addOneFile(*f.app, ""), -1);
  db::closeTable(f.app->songTable);
  EXPECT_THAT(f.fileNames(), ElementsAre(fits));

  // On disk: a file whose full path is too long is passed over by the walk.
  ImportFixture g;
  const std::string deep = g.music(std::string(200, 'x') + "/" + std::string(200, 'y') + "/");
  put(deep + std::string(200, 'z') + ".mp3", mp3Bytes("Deep"));
  put(deep + "short.mp3", mp3Bytes("Short"));
  ASSERT_LE((deep + "short.mp3").size(), 599u);
  const library::ImportResult result = importFrom(g, g.music());
  EXPECT_EQ(result.added, 1u);
  EXPECT_EQ(result.skipped, 1u);
  EXPECT_THAT(g.fileNames(), ElementsAre(deep + "short.mp3"));
}

TEST(Import, LinksToFilesAreTakenLinksToFoldersAreNotFollowed) {
  ImportFixture f;
  put(f.music("real/a.mp3"), mp3Bytes("A"));
  std::filesystem::create_directory_symlink(f.music(), f.music("real/loop"));
  std::filesystem::create_symlink(f.music("real/a.mp3"), f.music("alias.mp3"));
  std::filesystem::create_symlink(f.music("gone.mp3"), f.music("dangling.mp3"));
  importFrom(f, f.music());
  EXPECT_THAT(f.fileNames(), UnorderedElementsAreArray({f.music("real/a.mp3"), f.music("alias.mp3")}));
}

// A front end that takes the import's grip away once the first file is shown.
class InterruptingUi : public FakeUi {
public:
  std::function<void()> onFirstFile;
  void progressLine(WindowKind window, uint32_t line, const std::string& text) override {
    FakeUi::progressLine(window, line, text);
    if (line == 1 && onFirstFile) {
      onFirstFile();
      onFirstFile = nullptr;
    }
  }
};

TEST(Import, AnInterruptedWalkStillClosesTheTableAndReports) {
  struct Case {
    const char* label;
    std::function<void(App&)> interrupt;
    uint32_t busyCodeAfter;  // the import gives back only its own code
  } cases[] = {
      {"stop request", [](App& app) { app.run.stopRequest.store(1); }, 0},
      {"busy code taken by the watchdog", [](App& app) { app.run.busyCode.store(0); }, 0},
      {"busy code now another job's", [](App& app) { app.run.busyCode.store(codeValue(BusyCode::ListBuild)); },
       codeValue(BusyCode::ListBuild)},
  };
  for (const Case& c : cases) {
    ImportFixture f;
    InterruptingUi ui;
    f.app->ui = &ui;
    ui.onFirstFile = [&] { c.interrupt(*f.app); };
    for (const char* name : {"a/1.mp3", "a/2.mp3", "b/3.mp3", "c/4.mp3"})
      put(f.music(name), mp3Bytes(name));

    const library::ImportResult result = importFrom(f, f.music());
    EXPECT_EQ(result.outcome, ImportOutcome::Complete) << c.label;
    EXPECT_EQ(result.added, 1u) << c.label;
    EXPECT_EQ(f.fileNames().size(), 1u) << c.label;
    EXPECT_FALSE(f.app->songTable.isOpen()) << c.label;
    EXPECT_EQ(f.app->run.busyCode.load(), c.busyCodeAfter) << c.label;
    EXPECT_EQ(progressTexts(ui, 0).back(), "Import Complete") << c.label;
  }
}

TEST(Import, TheOutcomeIsShownAndAMissingPlaylistIsAnError) {
  ImportFixture f;
  put(f.music("a.mp3"), mp3Bytes("A"));
  f.app->status.messagePending.store(1);  // left from before: cleared at the start
  library::ImportResult ok = importFrom(f, f.music());
  EXPECT_EQ(ok.outcome, ImportOutcome::Complete);
  EXPECT_EQ(progressTexts(f.ui, 0).back(), "Import Complete");
  EXPECT_EQ(progressTexts(f.ui, 1).back(), f.databasePath());
  EXPECT_EQ(f.app->copies.localCopyRefreshCounter.load(), 100u);
  EXPECT_EQ(f.app->run.busyCode.load(), 0u);

  f.app->copies.localCopyRefreshCounter.store(7);
  f.ui.progressLines.clear();
  library::ImportResult missing = importFrom(f, f.music("missing.m3u"));
  EXPECT_EQ(missing.outcome, ImportOutcome::Error);
  EXPECT_THAT(progressTexts(f.ui, 0), ElementsAre("Error Importing"));
  EXPECT_EQ(f.app->status.messagePending.load(), 0u);
  EXPECT_EQ(f.app->copies.localCopyRefreshCounter.load(), 7u);
  EXPECT_EQ(f.app->run.busyCode.load(), 0u);
}

TEST(Import, OfflineOrRefusedAccessStartsNothingAndABuildIsAskedForAfterwards) {
  struct Case {
    uint32_t buildBefore;
    uint32_t slot;  // command slot
    ImportOutcome outcome;
    uint32_t buildAfter;
  } cases[] = {
      {0, 0, ImportOutcome::Complete, 0},
      {5, 0, ImportOutcome::Complete, 10},
      {10, 0, ImportOutcome::Complete, 10},
      {1000, 0, ImportOutcome::NotStarted, 1000},
      {1999, 0, ImportOutcome::NotStarted, 1999},
      {0, kQuitCode, ImportOutcome::NotStarted, 0},
      {5, kLeavingCode, ImportOutcome::NotStarted, 5},
  };
  for (const Case& c : cases) {
    ImportFixture f;
    put(f.music("a.mp3"), mp3Bytes("A"));
    f.app->run.buildState.store(c.buildBefore);
    f.app->run.commandSlot.store(c.slot);
    // Nothing holds the busy code: the request must come through (or not).
    if (c.slot == 0)
      f.app->run.busyCode.store(codeValue(BusyCode::Import));
    const library::ImportResult result = library::runImport(*f.app, f.music());
    const std::string label = std::to_string(c.buildBefore) + "/" + std::to_string(c.slot);
    EXPECT_EQ(result.outcome, c.outcome) << label;
    EXPECT_EQ(f.app->run.buildState.load(), c.buildAfter) << label;
    EXPECT_EQ(f.fileNames().size(), c.outcome == ImportOutcome::Complete ? 1u : 0u) << label;
    if (c.outcome == ImportOutcome::NotStarted) {
      EXPECT_TRUE(f.ui.progressLines.empty()) << label;
    }
  }
}

TEST(Import, ASongTableThatCannotBeOpenedImportsNothingButCompletes) {
  ImportFixture f;
  put(f.music("a.mp3"), mp3Bytes("A"));
  writeFile(f.databasePath(), "DATA0000 damaged");
  const library::ImportResult result = importFrom(f, f.music());
  EXPECT_EQ(result.outcome, ImportOutcome::Complete);
  EXPECT_FALSE(result.tableOpened);
  EXPECT_EQ(result.added, 0u);
  EXPECT_EQ(progressTexts(f.ui, 0).back(), "Import Complete");
}

TEST(Import, TheDatabaseWindowIsToldTheCountsAsTheImportGoesAndAtItsEnd) {
  ImportFixture f;
  constexpr uint32_t kOld = 4, kNew = 2 * library::kImportProgressEvery + 3;
  for (uint32_t k = 0; k < kOld; ++k)
    put(f.music("old/" + std::to_string(k) + ".mp3"), mp3Bytes("Old"));
  importFrom(f, f.music("old/"));
  for (uint32_t k = 0; k < kNew; ++k)
    put(f.music("new/" + std::to_string(k) + ".mp3"), mp3Bytes("New"));
  f.ui.workReports.clear();

  importFrom(f, f.music());
  const std::vector<FakeUi::WorkReport>& reports = f.ui.workReports;
  ASSERT_EQ(reports.size(), 3u);  // after 16 and 32 files, and at the end
  uint32_t looked = 0;
  for (const FakeUi::WorkReport& r : reports) {
    EXPECT_EQ(r.window, WindowKind::Database);
    EXPECT_EQ(r.progress.looked, r.progress.added + r.progress.skipped);
    EXPECT_GT(r.progress.looked, looked);
    EXPECT_EQ(r.progress.finished, &r == &reports.back());
    looked = r.progress.looked;
  }
  EXPECT_EQ(reports.back().progress.added, kNew);
  EXPECT_EQ(reports.back().progress.skipped, kOld);
}

TEST(Import, TheWorkerImportsTheSettingsSource) {
  ImportFixture f;
  put(f.music("a.mp3"), mp3Bytes("A"));
  text::copy(f.app->settings.importSource, f.music().c_str());
  f.app->run.busyCode.store(codeValue(BusyCode::Import));
  library::importWorker(*f.app);
  EXPECT_THAT(f.fileNames(), ElementsAre(f.music("a.mp3")));
}

}  // namespace

// On a share the import works as every writer does: the local copy,
// refreshed under the network lock, gets the new songs and is pushed back
// before the lock goes. A share another computer holds is told apart (and,
// as for every write-open, takes the database offline).
TEST(Import, OnAShareItImportsIntoTheLocalCopyAndPushesItUnderTheNetworkLock) {
  ImportFixture f;
  f.app->settings.networkMode = 1;
  f.app->settings.localDbFlag = 0;
  db::prepareCopies(*f.app);
  put(f.music("a.mp3"), mp3Bytes("A"));
  const std::string network = f.databasePath();
  const std::string before = readFile(network);
  {
    platform::FileLock otherComputer;
    ASSERT_EQ(otherComputer.acquire(network, platform::LockKind::Exclusive), platform::LockResult::Taken);
    const library::ImportResult result = importFrom(f, f.music());
    EXPECT_FALSE(result.tableOpened);
    EXPECT_TRUE(result.shareBusy);
    EXPECT_EQ(readFile(network), before);
    EXPECT_EQ(f.app->run.buildState.load(), kOfflineFirst);
  }
  f.app->run.buildState.store(kBuildIdle);  // back online, as the heartbeat brings it
  bool lockedAtPush = false;
  f.app->copies.copyFile = [&](const std::string& from, const std::string& to) {
    if (to == network) {
      platform::FileLock other;
      lockedAtPush = other.acquire(network, platform::LockKind::Shared) != platform::LockResult::Taken;
    }
    return platform::copyFile(from, to, true);
  };
  const library::ImportResult result = importFrom(f, f.music());
  EXPECT_TRUE(result.tableOpened);
  EXPECT_FALSE(result.shareBusy);
  EXPECT_TRUE(result.saved);
  EXPECT_EQ(result.added, 1u);
  EXPECT_TRUE(lockedAtPush);
  EXPECT_FALSE(f.app->copies.networkLock.held());
  EXPECT_EQ(readFile(network), readFile(f.dir.file(db::kLocalCopyName)));
  EXPECT_THAT(f.fileNames(), ElementsAre(f.music("a.mp3")));
  EXPECT_EQ(readFile(network + db::kStampSuffix).size(), 32u);
}

// A share that drops out in the middle of an import: the songs go into the
// local copy, so nothing faults; the push back fails and the import says
// "Error Importing" rather than "Import Complete".
TEST(Import, AShareThatDropsOutMidImportIsAnErrorNeverACrash) {
  struct DroppingShare : FakeUi {
    std::function<void()> drop;
    void progressLine(WindowKind window, uint32_t line, const std::string& text) override {
      FakeUi::progressLine(window, line, text);
      if (line == 1 && drop) {
        drop();
        drop = nullptr;
      }
    }
  };
  ImportFixture f;
  DroppingShare ui;
  f.app->ui = &ui;
  const std::string share = f.dir.file("share/");
  const std::string network = share + "Plinka.cvf";
  std::filesystem::create_directories(share);
  ASSERT_TRUE(db::createSongTable(network.c_str()));
  text::copy(f.app->settings.databasePath, network.c_str());
  f.app->settings.networkMode = 1;
  f.app->settings.localDbFlag = 0;
  db::prepareCopies(*f.app);
  for (int i = 0; i < 3; ++i)
    put(f.music(std::to_string(i) + ".mp3"), mp3Bytes("Song " + std::to_string(i)));
  ui.drop = [&] {
    // What a share that is gone looks like to a mapping: the pages behind
    // it no longer there. Then the share itself goes.
    ASSERT_EQ(truncate(network.c_str(), 0), 0);
    std::filesystem::remove_all(share);
  };

  const library::ImportResult result = importFrom(f, f.music());
  EXPECT_TRUE(result.tableOpened);
  EXPECT_FALSE(result.saved);
  EXPECT_EQ(result.outcome, ImportOutcome::Error);
  EXPECT_EQ(progressTexts(ui, 0).back(), "Error Importing");
  EXPECT_FALSE(f.app->copies.networkLock.held());
}
