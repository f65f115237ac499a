#include "library/buffer_cache.h"

#include "db/filename_index.h"
#include "db/records.h"
#include "db/table.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/table_lock.h"
#include "play/shutdown_timer.h"
#include "shell/app.h"
#include "shell/busy_code.h"
#include "shell/status_texts.h"
#include "text/text.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace plinka::library {

namespace {

constexpr char kMediaFolderName[] = "Media/";
constexpr char kIndexName[] = "LocFiles.cvf";

}  // namespace

std::string cacheMediaFolder(const App& app) {
  return app.folders.cache.empty() ? std::string() : app.folders.cache + kMediaFolderName;
}

std::string bufferIndexPath(const App& app) {
  return app.folders.cache.empty() ? std::string() : app.folders.cache + kIndexName;
}

bool cachePathFor(const App& app, const std::string& source, std::string& out) {
  const std::string media = cacheMediaFolder(app);
  if (media.empty() || source.empty())
    return false;
  // The first component goes: "/" of an absolute path, "//" before a host.
  size_t from = 0;
  while (from < source.size() && source[from] == '/' && from < 2)
    ++from;
  const std::string rest = source.substr(from);
  // Every component must name something below the media folder.
  size_t start = 0;
  for (;;) {
    const size_t slash = rest.find('/', start);
    const std::string part = rest.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (part.empty() || part == "." || part == "..")
      return false;
    if (slash == std::string::npos)
      break;
    start = slash + 1;
  }
  out = media + rest;
  return true;
}

namespace {

constexpr uint32_t kPathField = 1;
constexpr uint32_t kStampField = 3;
// The first slot filled in a run is stamped this far ahead of the time's
// high word, the later ones just behind it.
constexpr uint32_t kFirstFillAhead = 500;
// Longest path taken from the list.
constexpr size_t kLongestListPath = 600;

bool bufferOn(const App& app) { return app.settings.bufferMode != 0; }

// The index table held open for writing for a scope; written back when it
// closes.
class IndexOpen {
public:
  explicit IndexOpen(const std::string& path) {
    if (text::copy(h.path, path.c_str()) >= sizeof h.path)
      return;
    h.writable = 1;
    db::openMapped(h);
  }
  ~IndexOpen() { db::closeTable(h); }
  IndexOpen(const IndexOpen&) = delete;
  IndexOpen& operator=(const IndexOpen&) = delete;
  explicit operator bool() const { return h.isMapped(); }

  db::TableHandle h;
};

uint32_t stampOf(db::TableHandle& h, uint32_t slot) { return db::readField(h, slot, kStampField) >= 0 ? h.value : 0; }

void setStamp(db::TableHandle& h, uint32_t slot, uint32_t stamp) {
  h.value = stamp;
  db::writeField(h, slot, kStampField);
}

std::string pathOf(db::TableHandle& h, uint32_t slot) {
  return db::readField(h, slot, kPathField) >= 0 ? std::string(h.text) : std::string();
}

// Deletes the cached copy of the song a slot names, if it has one.
void deleteCachedCopy(const App& app, const std::string& source) {
  std::string cached;
  if (!source.empty() && cachePathFor(app, source, cached))
    platform::removeFile(cached);
}

// Takes the last record out: its cached copy goes and the record is
// deleted. False when no record could be taken out.
bool removeLastSlot(const App& app, db::TableHandle& h) {
  const int32_t last = db::lastInUse(h);
  if (last < 0)
    return false;
  deleteCachedCopy(app, pathOf(h, static_cast<uint32_t>(last)));
  return db::setStatus(h, static_cast<uint32_t>(last), db::kStatusFree);
}

// Adds an empty slot (stamp 0, no path).
void addEmptySlot(db::TableHandle& h) {
  const int32_t slot = db::allocate(h);
  if (slot < 0)
    return;
  h.text[0] = '\0';
  db::writeField(h, static_cast<uint32_t>(slot), kPathField);
  setStamp(h, static_cast<uint32_t>(slot), 0);
}

// The slot with the smallest stamp below bound (the first on a tie); -1
// when every stamp is at or above it.
int32_t leastRecentSlot(db::TableHandle& h, uint32_t bound) {
  int32_t best = -1;
  uint32_t bestStamp = bound;
  db::forEachInUse(h, [&](uint32_t s) {
    const uint32_t stamp = stampOf(h, s);
    if (stamp < bestStamp) {
      best = static_cast<int32_t>(s);
      bestStamp = stamp;
    }
  });
  return best;
}

void lowerHighStamps(db::TableHandle& h) {
  db::forEachInUse(h, [&h](uint32_t s) {
    const uint32_t stamp = stampOf(h, s);
    if (stamp > kStampDropAbove)
      setStamp(h, s, stamp - kStampDrop);
  });
}

// Copies a song into its place in the cache, making the folders on the way;
// the copy is written under a temporary name and renamed, so a broken copy
// never stands under the song's name. (Tests put a stand-in for the share's
// copies in app.copies.copyFile; it serves here too.)
bool copyIntoCache(const App& app, const std::string& source, const std::string& cached) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(cached).parent_path(), ec);
  if (app.copies.copyFile)
    return app.copies.copyFile(source, cached);
  return platform::copyFile(source, cached, true);
}

bool runMustEnd(App& app) {
  const uint32_t command = app.run.commandSlot.load();
  return app.run.appEnding.load() != 0 || isClosingCode(command) || !bufferOn(app) ||
         command == codeValue(BusyCode::StateSwitch);
}

}  // namespace

std::string playablePath(const App& app, const std::string& source) {
  std::string cached;
  if (app.jobs.bufferStage.load() != kBufferError && cachePathFor(app, source, cached) && platform::fileExists(cached))
    return cached;
  return source;
}

void openCache(App& app) {
  const std::string media = cacheMediaFolder(app);
  const std::string index = bufferIndexPath(app);
  if (media.empty()) {
    app.jobs.bufferStage.store(kBufferError);
    refreshStatus(app);
    return;
  }
  bool startRun = false;
  {
    const std::lock_guard<std::mutex> hold(app.jobs.bufferCacheLock);
    SettingsRecord& s = app.settings;
    if (bufferOn(app)) {
      std::error_code ec;
      std::filesystem::create_directories(media, ec);
      // Raised before a table is made, so a new table has the slots too.
      if (s.bufferSize < kFewestCacheSlots)
        s.bufferSize = kFewestCacheSlots;
      IndexOpen table(index);
      if (!table) {
        db::createBufferIndexTable(index.c_str(), s.bufferSize);
      } else {
        db::TableHandle& h = table.h;
        if (h.inUseCount > s.bufferSize) {
          while (h.inUseCount > s.bufferSize - 1 && removeLastSlot(app, h)) {
          }
          addEmptySlot(h);
        }
        for (uint32_t before = 0; h.inUseCount < s.bufferSize && h.inUseCount != before;) {
          before = h.inUseCount;
          addEmptySlot(h);
        }
        s.bufferSize = h.inUseCount;
      }
      startRun = true;
    } else {
      {
        IndexOpen table(index);
        while (table && table.h.inUseCount > 0 && removeLastSlot(app, table.h)) {
        }
      }
      platform::removeFile(index);
      platform::removeFile(platform::tableLockPath(index));
      // Whatever is left below the media folder (folders the copies made).
      std::error_code ec;
      std::filesystem::remove_all(media, ec);
      app.jobs.bufferStage.store(kBufferError);
      refreshStatus(app);
    }
  }
  if (startRun)
    app.scheduler.jobThreads.start([&app] { bufferingRun(app); });
}

void bufferingRun(App& app) {
  JobFlags& jobs = app.jobs;
  if (jobs.bufferRunning.exchange(1) != 0)
    return;
  std::vector<std::string> songs;
  for (const play::ListRow& row : app.list.rows())
    songs.push_back(row.column[play::FileName].substr(0, kLongestListPath));
  const uint32_t slots = app.settings.bufferSize;
  uint32_t failures = 0;
  if (songs.size() <= static_cast<size_t>(kShortestBufferedList)) {
    failures = 2;
  } else {
    const size_t limit = std::min<size_t>(songs.size(), slots);
    app.shared.rebufferValue.store(0);
    jobs.bufferStage.store(kBuffering);
    refreshStatus(app);
    const std::lock_guard<std::mutex> hold(jobs.bufferCacheLock);
    IndexOpen table(bufferIndexPath(app));
    if (table) {
      db::TableHandle& h = table.h;
      uint32_t bound = platform::fileTimeHighWord() + kFirstFillAhead;
      for (size_t at = 0; at < limit && failures <= kMostCopyFailures && !runMustEnd(app);) {
        const std::string& song = songs[at];
        const int32_t found = db::findFileName(h, song.c_str(), db::LetterCase::Folded);
        if (found >= 0) {
          const uint32_t stamp = stampOf(h, static_cast<uint32_t>(found));
          if (stamp < kStampCeiling)
            setStamp(h, static_cast<uint32_t>(found), stamp + kStampGain);
          ++at;
          continue;
        }
        const int32_t slot = leastRecentSlot(h, bound);
        if (slot < 0) {
          lowerHighStamps(h);
          ++failures;
          ++at;
          continue;
        }
        std::string cached;
        if (!cachePathFor(app, song, cached) || !copyIntoCache(app, song, cached)) {
          ++failures;
          ++at;
          continue;
        }
        if (failures > 0)
          --failures;
        const uint32_t freed = static_cast<uint32_t>(slot);
        const std::string old = pathOf(h, freed);
        if (stampOf(h, freed) != 0 && old != song)
          deleteCachedCopy(app, old);
        text::copy(h.text, song.c_str());
        db::writeField(h, freed, kPathField);
        setStamp(h, freed, bound);
        bound = platform::fileTimeHighWord() - 1;
        at = 0;  // the songs that play soonest are copied first
      }
    }
  }

  jobs.bufferRunning.store(0);
  if (!bufferOn(app)) {
    jobs.bufferStage.store(kBufferError);
    openCache(app);  // empties the cache
  } else if (failures <= kMostCopyFailures) {
    jobs.bufferStage.store(songs.size() > slots ? kPartlyBuffered : kBuffered);
    app.shared.rebufferValue.store(100);
  } else {
    jobs.bufferStage.store(kBufferGaveUp);
    app.shared.rebufferValue.store(0);
  }
  refreshStatus(app);
  if (jobs.startUpBuffering.exchange(0) != 0) {
    // The first run after start-up copied the list loaded from its file:
    // the ID worker, held back until now, may start.
    if (app.hooks.startIdWorker)
      app.hooks.startIdWorker(app);
  } else if (bufferOn(app)) {
    // The list is built and copied: a machine set to switch off after a
    // build may do so now (the timer itself checks the switches and the
    // player).
    play::startShutdownTimer(app);
  }
}

void startCache(App& app) {
  if (bufferOn(app) && app.list.size() > static_cast<size_t>(kShortestBufferedList)) {
    // The ID worker starts when this first run ends.
    app.jobs.startUpBuffering.store(1);
    openCache(app);
    return;
  }
  if (bufferOn(app))
    app.jobs.bufferStage.store(kBuffered);
  if (app.hooks.startIdWorker)
    app.hooks.startIdWorker(app);
}

void installBufferCache(App& app) { app.hooks.bufferingRun = bufferingRun; }

}  // namespace plinka::library
