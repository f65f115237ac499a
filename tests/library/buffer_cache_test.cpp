// The buffer cache of network mode: a share folder holds the songs, a cache
// folder of the test's own stands in for the user's, and the upcoming list
// names the songs on the share.
#include "library/buffer_cache.h"

#include "app/app.h"
#include "core/settings_defaults.h"
#include "db/records.h"
#include "db/search.h"
#include "db/table.h"
#include "play/shutdown_timer.h"
#include "support/fake_ui.h"
#include "support/temp_dir.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace plinka::test {
namespace {

namespace fs = std::filesystem;

class BufferCacheTest : public ::testing::Test {
protected:
  BufferCacheTest() {
    app->folders = Folders{dir.path(), dir.file("data/"), dir.file("cache/")};
    fs::create_directories(app->folders.data);
    firstRunDefaults(app->settings, app->folders);
    app->settings.networkMode = 1;
    app->settings.bufferMode = 1;
    app->ui = &ui;
  }

  // n songs on the share, each named in the list.
  std::vector<std::string> listSongs(int n) {
    std::vector<std::string> songs;
    for (int i = 0; i < n; ++i) {
      const std::string song =
          dir.file("share/Music/Artist " + std::to_string(i % 7) + "/" + std::to_string(i) + ".mp3");
      fs::create_directories(fs::path(song).parent_path());
      writeFile(song, "song " + std::to_string(i));
      play::ListRow row;
      row.column[play::FileName] = song;
      app->list.append(row);
      songs.push_back(song);
    }
    return songs;
  }

  // Opens (or empties) the cache and waits for the run it starts.
  void openCacheAndWait() {
    library::openCache(*app);
    app->jobThreads.waitAll();
  }

  // The index table's slots: path -> stamp (empty slots under "").
  std::multimap<std::string, uint32_t> slots() {
    std::multimap<std::string, uint32_t> out;
    db::TableHandle h;
    text::copy(h.path, library::bufferIndexPath(*app).c_str());
    EXPECT_TRUE(db::openMapped(h));
    db::forEachInUse(h, [&](uint32_t s) {
      db::readField(h, s, 1);
      const std::string path = h.text;
      db::readField(h, s, 3);
      out.emplace(path, h.value);
    });
    db::closeTable(h);
    return out;
  }

  size_t cachedFiles() {
    size_t n = 0;
    const std::string media = library::cacheMediaFolder(*app);
    if (fs::exists(media))
      for (const auto& entry : fs::recursive_directory_iterator(media))
        n += entry.is_regular_file() ? 1 : 0;
    return n;
  }

  TempDir dir;
  FakeUi ui;
  std::unique_ptr<App> app = std::make_unique<App>();
};

TEST_F(BufferCacheTest, CachePathsMirrorTheSongsPathAndNeverLeadOut) {
  const std::string media = dir.file("cache/Media/");
  struct Case {
    const char* source;
    const char* cached;  // null: refused
  } cases[] = {
      {"/mnt/share/Music/a.mp3", "mnt/share/Music/a.mp3"},
      {"//server/share/a.mp3", "server/share/a.mp3"},
      {"a.mp3", "a.mp3"},
      {"/share/../../etc/passwd", nullptr},
      {"/share/./a.mp3", nullptr},
      {"/share//a.mp3", nullptr},
      {"///a.mp3", nullptr},
      {"/share/a.mp3/..", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    std::string out;
    const bool made = library::cachePathFor(*app, c.source, out);
    EXPECT_EQ(made, c.cached != nullptr) << c.source;
    if (c.cached) {
      EXPECT_EQ(out, media + c.cached) << c.source;
    }
  }
}

TEST_F(BufferCacheTest, ABufferSizeBelowFiftyIsRaisedOnFirstCreationToo) {
  app->settings.bufferSize = 20;
  listSongs(3);  // too short to buffer: only the table is made
  openCacheAndWait();
  EXPECT_EQ(+app->settings.bufferSize, 50u);
  EXPECT_EQ(slots().size(), 50u);
  EXPECT_EQ(cachedFiles(), 0u) << "a list of 5 songs or fewer is never buffered";
  EXPECT_EQ(app->bufferCache.stage.load(), library::BufferStage::Buffered);

  // A table with more slots than asked keeps its newest ones.
  app->settings.bufferSize = 60;
  openCacheAndWait();
  EXPECT_EQ(slots().size(), 60u);
  app->settings.bufferSize = 55;
  openCacheAndWait();
  EXPECT_EQ(slots().size(), 55u);
}

TEST_F(BufferCacheTest, AListLongerThanTheCacheEndsPartiallyBufferedAndStampsGrowToTheCeiling) {
  app->settings.bufferSize = 150;
  const std::vector<std::string> songs = listSongs(300);
  openCacheAndWait();
  // The stage the run ends in, as the status shows it (showing it may let
  // the stage settle to buffered at once, by design).
  ASSERT_FALSE(ui.statuses.empty());
  EXPECT_EQ(ui.statuses.back().part[1], "300 songs prepared (Partially Buffered)");
  EXPECT_EQ(app->shared.rebufferValue.load(), 100u);
  EXPECT_EQ(cachedFiles(), 150u);
  const auto first = slots();
  for (size_t i = 0; i < 150; ++i)
    ASSERT_EQ(first.count(songs[i]), 1u) << "the songs that play soonest are cached: " << songs[i];
  std::string cached;
  ASSERT_TRUE(library::cachePathFor(*app, songs[0], cached));
  EXPECT_EQ(readFile(cached), "song 0");
  EXPECT_EQ(library::playablePath(*app, songs[0]), cached);
  EXPECT_EQ(library::playablePath(*app, songs[200]), songs[200]) << "not cached: played from the share";

  // Met again, a cached song gains 100 a run, and stops at the ceiling.
  {
    db::TableHandle h;
    text::copy(h.path, library::bufferIndexPath(*app).c_str());
    h.writable = 1;
    ASSERT_TRUE(db::openMapped(h));
    text::copy(h.searchText, songs[1].c_str());
    const int32_t slot = db::findByFieldBackwards(h, 1);
    ASSERT_GE(slot, 0);
    h.value = library::kStampCeiling - 50;
    db::writeField(h, static_cast<uint32_t>(slot), 3);
    db::closeTable(h);
  }
  library::bufferingRun(*app);
  auto again = slots();
  EXPECT_EQ(again.find(songs[0])->second, first.find(songs[0])->second + library::kStampGain);
  EXPECT_EQ(again.find(songs[1])->second, library::kStampCeiling + 50);
  library::bufferingRun(*app);
  EXPECT_EQ(slots().find(songs[1])->second, library::kStampCeiling + 50);
}

TEST_F(BufferCacheTest, SongsThatCannotBeCopiedAreFailuresAndNothingIsWrittenOutsideTheCache) {
  app->settings.bufferSize = 50;
  listSongs(8);
  // A list naming a path with ".." and songs the share no longer has.
  for (const std::string& song : {dir.file("share/../outside.mp3"), dir.file("share/gone1.mp3")}) {
    play::ListRow row;
    row.column[play::FileName] = song;
    app->list.insert(0, row);
  }
  writeFile(dir.file("outside.mp3"), "outside");
  openCacheAndWait();
  EXPECT_EQ(cachedFiles(), 8u);
  EXPECT_EQ(app->bufferCache.stage.load(), library::BufferStage::Buffered);
  EXPECT_FALSE(fs::exists(dir.file("cache/outside.mp3")));
  EXPECT_FALSE(fs::exists(dir.file("outside.mp3.part")));

  // A share that fails every copy: the run gives up after ten failures.
  app->list.clear();
  listSongs(40);
  app->copies.copyFile = [](const std::string&, const std::string&) { return false; };
  library::bufferingRun(*app);
  EXPECT_EQ(app->bufferCache.stage.load(), library::BufferStage::GaveUp);
  EXPECT_EQ(app->shared.rebufferValue.load(), 0u);
}

// With Shutdown, Auto Build and Buffer on and nothing playing, starting the
// program never switches the computer off: the first run copies the list
// loaded from its file, whether it ends before or after the window is made.
// The ID worker starts once, when that run ends (or at once, without one).
TEST_F(BufferCacheTest, TheFirstRunAfterStartUpStartsTheIdWorkerOnceAndNoShutdown) {
  struct Case {
    const char* label;
    int songs;
    bool windowBeforeTheRunEnds;
  } cases[] = {
      {"the run ends before the window exists", 8, false},
      {"the run ends after the window exists", 8, true},
      {"no run: a list too short to copy", 3, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir folder;
    FakeUi asked;
    auto fresh = std::make_unique<App>();
    fresh->folders = Folders{folder.path(), folder.file("data/"), folder.file("cache/")};
    fs::create_directories(fresh->folders.data);
    firstRunDefaults(fresh->settings, fresh->folders);
    fresh->settings.networkMode = 1;
    fresh->settings.bufferMode = 1;
    fresh->settings.shutdownAfterBuild = 1;
    fresh->settings.autoBuild = 1;
    fresh->ui = &asked;
    int idWorkerStarts = 0;
    fresh->hooks.startIdWorker = [&idWorkerStarts]() { ++idWorkerStarts; };
    for (int i = 0; i < c.songs; ++i) {
      const std::string song = folder.file("share/" + std::to_string(i) + ".mp3");
      fs::create_directories(fs::path(song).parent_path());
      writeFile(song, "song");
      play::ListRow row;
      row.column[play::FileName] = song;
      fresh->list.append(row);
    }
    if (c.windowBeforeTheRunEnds)
      fresh->mainWindow.creating.store(0);
    library::startCache(*fresh);
    fresh->jobThreads.waitAll();
    fresh->mainWindow.creating.store(0);
    EXPECT_EQ(idWorkerStarts, 1);
    EXPECT_EQ(fresh->shutdownTimerRunning.load(), 0u);
    EXPECT_TRUE(asked.prompts.empty()) << asked.prompts.front().message;

    // A later run copies a list that was built: the switch-off may follow.
    if (c.songs > 5) {
      library::bufferingRun(*fresh);
      fresh->jobThreads.waitAll();
      ASSERT_EQ(asked.prompts.size(), 1u);
      EXPECT_EQ(asked.prompts[0].message, play::kShutdownMessage);
      EXPECT_EQ(idWorkerStarts, 1);
    }
  }
}

TEST_F(BufferCacheTest, BufferOffDeletesTheCachedFilesAndTheTable) {
  app->settings.bufferSize = 50;
  listSongs(12);
  openCacheAndWait();
  ASSERT_EQ(cachedFiles(), 12u);
  app->settings.bufferMode = 0;
  openCacheAndWait();
  EXPECT_EQ(cachedFiles(), 0u);
  EXPECT_FALSE(fs::exists(library::bufferIndexPath(*app)));
  EXPECT_EQ(app->bufferCache.stage.load(), library::BufferStage::Error);
  EXPECT_TRUE(fs::exists(dir.file("share/Music/Artist 0/0.mp3"))) << "the songs themselves stay";
  EXPECT_EQ(library::playablePath(*app, dir.file("share/Music/Artist 0/0.mp3")),
            dir.file("share/Music/Artist 0/0.mp3"));
}

// Buffer off must never delete through a link: neither a "Media" that is a
// link nor a link to another folder below it. The link goes, as a link; what
// it points at, laid out exactly as the cache would be, stays whole.
TEST_F(BufferCacheTest, BufferOffRemovesALinkAsALinkAndLeavesItsTargetWhole) {
  app->settings.bufferSize = 50;
  const std::vector<std::string> songs = listSongs(6);
  openCacheAndWait();
  ASSERT_EQ(cachedFiles(), 6u);
  const std::string media = dir.file("cache/Media");
  // The first folder below Media that the cached songs lie in.
  const std::string top = fs::path(dir.path()).relative_path().begin()->string();
  struct Case {
    const char* what;
    std::string link;  // the folder replaced by a link to a copy of itself
  } cases[] = {{"Media itself", media}, {"a folder below Media", media + "/" + top}};
  for (const Case& c : cases) {
    app->settings.bufferMode = 1;
    openCacheAndWait();
    ASSERT_EQ(cachedFiles(), 6u) << c.what;
    const std::string target = dir.file(std::string("elsewhere ") + c.what);
    fs::copy(c.link, target, fs::copy_options::recursive);
    fs::remove_all(c.link);
    fs::create_symlink(target, c.link);
    size_t before = 0;
    for (const auto& entry : fs::recursive_directory_iterator(target))
      before += entry.is_regular_file() ? 1 : 0;
    ASSERT_EQ(before, 6u);

    app->settings.bufferMode = 0;
    openCacheAndWait();
    size_t after = 0;
    for (const auto& entry : fs::recursive_directory_iterator(target))
      after += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(after, before) << c.what;
    EXPECT_FALSE(fs::exists(fs::symlink_status(media))) << c.what << ": the cache's folder and the link in it go";
    EXPECT_FALSE(fs::exists(library::bufferIndexPath(*app))) << c.what;
  }
}

// A list naming a pipe: only regular files are copied, so the run neither
// hangs on it nor stops the other songs from being cached.
TEST_F(BufferCacheTest, ARunCopiesOnlyRegularFiles) {
  app->settings.bufferSize = 50;
  listSongs(7);
  const std::string pipe = dir.file("share/Music/pipe.mp3");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  play::ListRow row;
  row.column[play::FileName] = pipe;
  app->list.insert(0, row);
  openCacheAndWait();
  EXPECT_EQ(cachedFiles(), 7u);
  std::string cached;
  ASSERT_TRUE(library::cachePathFor(*app, pipe, cached));
  EXPECT_FALSE(fs::exists(fs::symlink_status(cached)));
  EXPECT_EQ(app->bufferCache.stage.load(), library::BufferStage::Buffered);
}

// The window never waits for a copy: with a copy from a share that does not
// answer, switching Buffer off (Options OK, on the GUI thread) empties the
// cache at once; the run sees the switch and ends without keeping its copy.
TEST_F(BufferCacheTest, SwitchingBufferOffDoesNotWaitForACopyInProgress) {
  app->settings.bufferSize = 50;
  listSongs(3);  // too short to buffer: the cache is made, nothing copied
  openCacheAndWait();
  app->list.clear();
  listSongs(8);
  std::mutex m;
  std::condition_variable changed;
  bool copying = false;
  bool answer = false;
  app->copies.copyFile = [&](const std::string& from, const std::string& to) {
    std::unique_lock<std::mutex> lock(m);
    copying = true;
    changed.notify_all();
    changed.wait(lock, [&] { return answer; });
    // The cache may be gone by now: the copy then fails, as a real one would.
    std::error_code ec;
    return fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  };
  std::thread run([this] { library::bufferingRun(*app); });
  {
    std::unique_lock<std::mutex> lock(m);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return copying; }));
  }
  {
    const std::lock_guard<std::mutex> hold(app->shared.imageLock);
    app->settings.bufferMode = 0;
  }
  auto off = std::async(std::launch::async, [this] { library::openCache(*app); });
  const bool returned = off.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  EXPECT_TRUE(returned) << "Buffer off waited for the copy";
  EXPECT_FALSE(fs::exists(library::bufferIndexPath(*app)));
  {
    const std::lock_guard<std::mutex> lock(m);
    answer = true;
  }
  changed.notify_all();
  run.join();
  off.wait();
  app->jobThreads.waitAll();
  EXPECT_EQ(cachedFiles(), 0u);
  EXPECT_FALSE(fs::exists(library::bufferIndexPath(*app)));
  EXPECT_EQ(app->bufferCache.stage.load(), library::BufferStage::Error);
}

}  // namespace
}  // namespace plinka::test
