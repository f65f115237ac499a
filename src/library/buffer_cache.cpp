#include "library/buffer_cache.h"

#include "core/busy_code.h"
#include "core/status_message.h"
#include "db/filename_index.h"
#include "db/records.h"
#include "db/table.h"
#include "library/library_context.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/table_lock.h"
#include "text/text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace plinka::library {

namespace {

constexpr char kMediaName[] = "Media";
constexpr char kMediaFolderName[] = "Media/";
constexpr char kIndexName[] = "LocFiles.cvf";

}  // namespace

std::string cacheMediaFolder(const LibraryContext& app) {
  return app.folders.cache.empty() ? std::string() : app.folders.cache + kMediaFolderName;
}

std::string bufferIndexPath(const LibraryContext& app) {
  return app.folders.cache.empty() ? std::string() : app.folders.cache + kIndexName;
}

bool cachePathFor(const LibraryContext& app, const std::string& source, std::string& out) {
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

// The Buffer switch: written by the Options window (GUI thread) under the
// image lock while a run may be reading it.
bool bufferOn(LibraryContext& app) {
  const std::lock_guard<std::mutex> hold(app.shared.imageLock);
  return app.settings.bufferMode != 0;
}

// A file descriptor closed when it goes.
class Fd {
public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0)
        ::close(fd_);
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

private:
  int fd_;
};

// The cache folder itself is the user's (it may well be a link to another
// disk); below it nothing is reached through a link. A "Media" folder, or
// any folder under it, that is a link to somewhere else is never written
// into nor deleted from: the cache deletes files, and a link there would
// turn that on the user's own files.
Fd openCacheFolder(const LibraryContext& app) {
  if (app.folders.cache.empty())
    return Fd();
  return Fd(::open(app.folders.cache.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

// Opens the folder `relative` ("Media/a/b") below the cache folder one level
// at a time, never through a link; with `make`, missing levels are made.
// An invalid Fd when a level is missing (and not made), a link or no folder.
Fd openBelowCache(const LibraryContext& app, const std::string& relative, bool make) {
  Fd at = openCacheFolder(app);
  size_t start = 0;
  while (at && start < relative.size()) {
    size_t slash = relative.find('/', start);
    if (slash == std::string::npos)
      slash = relative.size();
    const std::string part = relative.substr(start, slash - start);
    start = slash + 1;
    if (part.empty())
      continue;
    if (make && ::mkdirat(at.get(), part.c_str(), 0755) != 0 && errno != EEXIST)
      return Fd();
    at = Fd(::openat(at.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  return at;
}

// The cached file's folder below the cache folder and its own name.
bool splitCached(const LibraryContext& app, const std::string& cached, std::string& folder, std::string& name) {
  const std::string& cache = app.folders.cache;
  const size_t slash = cached.rfind('/');
  if (cache.empty() || cached.compare(0, cache.size(), cache) != 0 || slash == std::string::npos ||
      slash < cache.size())
    return false;
  folder = cached.substr(cache.size(), slash - cache.size());
  name = cached.substr(slash + 1);
  return !name.empty();
}

// Deletes one cached file, reached without following a link (a link in its
// place goes as a link).
void removeCachedFile(const LibraryContext& app, const std::string& cached) {
  std::string folder, name;
  if (!splitCached(app, cached, folder, name))
    return;
  const Fd at = openBelowCache(app, folder, false);
  if (at)
    ::unlinkat(at.get(), name.c_str(), 0);
}

// Deletes everything inside the open folder `dir`: files and links go as
// themselves, folders are emptied the same way and removed. No link is
// followed.
void emptyFolder(int dir) {
  std::vector<std::pair<std::string, bool>> entries;  // name, is a folder
  {
    const int listing = ::dup(dir);
    if (listing < 0)
      return;
    DIR* d = ::fdopendir(listing);
    if (d == nullptr) {
      ::close(listing);
      return;
    }
    while (const dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name == "." || name == "..")
        continue;
      struct stat st {};
      if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        entries.emplace_back(name, S_ISDIR(st.st_mode));
    }
    ::closedir(d);
  }
  for (const auto& [name, isFolder] : entries) {
    if (!isFolder) {
      ::unlinkat(dir, name.c_str(), 0);
      continue;
    }
    const Fd inner(::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (inner)
      emptyFolder(inner.get());
    ::unlinkat(dir, name.c_str(), AT_REMOVEDIR);
  }
}

// Buffer off: the media folder and all below it go. A "Media" that is a
// link (or anything but a folder) is removed as itself; what it points at
// is left alone.
void removeMediaFolder(const LibraryContext& app) {
  const Fd cache = openCacheFolder(app);
  if (!cache)
    return;
  struct stat st {};
  if (::fstatat(cache.get(), kMediaName, &st, AT_SYMLINK_NOFOLLOW) != 0)
    return;
  if (!S_ISDIR(st.st_mode)) {
    ::unlinkat(cache.get(), kMediaName, 0);
    return;
  }
  {
    const Fd media(::openat(cache.get(), kMediaName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (media)
      emptyFolder(media.get());
  }
  ::unlinkat(cache.get(), kMediaName, AT_REMOVEDIR);
}

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
void deleteCachedCopy(const LibraryContext& app, const std::string& source) {
  std::string cached;
  if (!source.empty() && cachePathFor(app, source, cached))
    removeCachedFile(app, cached);
}

// Takes the last record out: its cached copy goes and the record is
// deleted. False when no record could be taken out.
bool removeLastSlot(const LibraryContext& app, db::TableHandle& h) {
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

bool runMustEnd(LibraryContext& app) {
  const uint32_t command = app.run.commandSlot.load();
  return app.run.appEnding.load() != 0 || isClosingCode(command) || !bufferOn(app) ||
         command == codeValue(BusyCode::StateSwitch);
}

bool writeAll(int fd, const char* data, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, data, n);
    if (w < 0 && errno == EINTR)
      continue;
    if (w < 0)
      return false;
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// Copies the open source into `name` in the folder `dir` through a
// temporary file, looking for an end of the run between blocks.
bool copyBlocks(LibraryContext& app, int in, int dir, const std::string& name) {
  // A temporary name in the cache file's folder that no other copy uses.
  const std::string temp = platform::uniqueNameBeside("." + name.substr(0, 100), ".part");
  const Fd out(::openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!out)
    return false;
  static thread_local char block[1 << 16];
  bool ok = true;
  for (;;) {
    if (runMustEnd(app)) {
      ok = false;
      break;
    }
    const ssize_t r = ::read(in, block, sizeof block);
    if (r < 0 && errno == EINTR)
      continue;
    if (r <= 0) {
      ok = r == 0;
      break;
    }
    if (!writeAll(out.get(), block, static_cast<size_t>(r))) {
      ok = false;
      break;
    }
  }
  // On disk before the rename: the song's cache name never stands for bytes
  // still only in memory.
  ok = ok && ::fsync(out.get()) == 0 && ::renameat(dir, temp.c_str(), dir, name.c_str()) == 0;
  if (!ok)
    ::unlinkat(dir, temp.c_str(), 0);
  return ok;
}

// Copies a song into its place in the cache, making the folders on the way
// (never through a link). Only a regular file is copied: a pipe or a device
// on the share could hold the run for ever. The copy is written under a
// temporary name and renamed, so a broken copy never stands under the
// song's name, and it breaks off as soon as the run must end. (Tests put a
// stand-in for the share's copies in app.copies.copyFile; it serves here
// too.)
bool copyIntoCache(LibraryContext& app, const std::string& source, const std::string& cached) {
  std::string folder, name;
  if (!splitCached(app, cached, folder, name))
    return false;
  const Fd dir = openBelowCache(app, folder, true);
  if (!dir)
    return false;
  if (app.copies.copyFile)
    return app.copies.copyFile(source, cached);
  const Fd in(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat st {};
  if (!in || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode))
    return false;
  return copyBlocks(app, in.get(), dir.get(), name);
}

// Whether the slot chosen before a copy is still as it was: the cache may
// have been resized while the lock was let go.
bool slotUnchanged(db::TableHandle& h, uint32_t slot, const std::string& path, uint32_t stamp) {
  return slot < h.slotCount && db::getStatus(h, slot) == static_cast<int32_t>(db::kStatusInUse) &&
         stampOf(h, slot) == stamp && pathOf(h, slot) == path;
}

struct RunCounts {
  uint32_t failures = 0;
  uint32_t slots = 0;  // the cache's slots
};

// The run's steps over the index table. The cache's lock is held while the
// table is read and changed, and let go (with the table closed) for each
// copy, so opening or emptying the cache from the Options window never
// waits for a copy.
RunCounts copyUpcomingSongs(LibraryContext& app, const std::vector<std::string>& songs) {
  RunCounts counts;
  std::unique_lock<std::mutex> hold(app.bufferCache.lock);
  counts.slots = app.settings.bufferSize;
  const std::string indexPath = bufferIndexPath(app);
  std::optional<IndexOpen> table;
  table.emplace(indexPath);
  if (!*table)
    return counts;
  counts.slots = table->h.inUseCount;
  uint32_t& failures = counts.failures;
  uint32_t bound = platform::fileTimeHighWord() + kFirstFillAhead;
  for (size_t at = 0;
       at < std::min<size_t>(songs.size(), counts.slots) && failures <= kMostCopyFailures && !runMustEnd(app);) {
    db::TableHandle& h = table->h;
    const std::string& song = songs[at];
    const int32_t found = db::findFileName(h, song.c_str(), db::LetterCase::Folded);
    if (found >= 0) {
      const uint32_t stamp = stampOf(h, static_cast<uint32_t>(found));
      if (stamp < kStampCeiling)
        setStamp(h, static_cast<uint32_t>(found), stamp + kStampGain);
      ++at;
      continue;
    }
    const int32_t chosen = leastRecentSlot(h, bound);
    if (chosen < 0) {
      lowerHighStamps(h);
      ++failures;
      ++at;
      continue;
    }
    std::string cached;
    if (!cachePathFor(app, song, cached)) {
      ++failures;
      ++at;
      continue;
    }
    const uint32_t slot = static_cast<uint32_t>(chosen);
    const std::string old = pathOf(h, slot);
    const uint32_t oldStamp = stampOf(h, slot);

    table.reset();
    hold.unlock();
    const bool copied = copyIntoCache(app, song, cached);
    hold.lock();
    table.emplace(indexPath);
    if (!*table) {
      // The cache was emptied meanwhile (Buffer off): the copy is not kept.
      if (copied)
        removeCachedFile(app, cached);
      break;
    }
    db::TableHandle& now = table->h;
    counts.slots = now.inUseCount;
    if (!copied) {
      ++failures;
      ++at;
      continue;
    }
    if (!slotUnchanged(now, slot, old, oldStamp)) {
      // Resized meanwhile: no slot names the copy, so it goes, and the song
      // is looked at again.
      removeCachedFile(app, cached);
      continue;
    }
    if (failures > 0)
      --failures;
    if (oldStamp != 0 && old != song)
      deleteCachedCopy(app, old);
    text::copy(now.text, song.c_str());
    db::writeField(now, slot, kPathField);
    setStamp(now, slot, bound);
    bound = platform::fileTimeHighWord() - 1;
    at = 0;  // the songs that play soonest are copied first
  }
  return counts;
}

}  // namespace

std::string playablePath(const LibraryContext& app, const std::string& source) {
  std::string cached;
  if (app.bufferCache.stage.load() != BufferStage::Error && cachePathFor(app, source, cached) &&
      platform::fileExists(cached))
    return cached;
  return source;
}

void openCache(LibraryContext& app) {
  const std::string media = cacheMediaFolder(app);
  const std::string index = bufferIndexPath(app);
  if (media.empty()) {
    app.bufferCache.stage.store(BufferStage::Error);
    noticeStatusChanged(app);
    return;
  }
  bool startRun = false;
  {
    const std::lock_guard<std::mutex> hold(app.bufferCache.lock);
    SettingsRecord& s = app.settings;
    if (bufferOn(app)) {
      // The cache folder is the user's (made as it is asked for); the media
      // folder below it is made without following a link.
      std::error_code ec;
      std::filesystem::create_directories(app.folders.cache, ec);
      openBelowCache(app, kMediaName, true);
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
      // Whatever is left below the media folder (folders the copies made,
      // files of slots the table no longer knew).
      removeMediaFolder(app);
      app.bufferCache.stage.store(BufferStage::Error);
      noticeStatusChanged(app);
    }
  }
  if (startRun)
    app.jobThreads.start([&app] { bufferingRun(app); });
}

void bufferingRun(LibraryContext& app) {
  if (app.bufferCache.running.exchange(1) != 0)
    return;
  std::vector<std::string> songs;
  if (app.listedFiles)
    for (const std::string& file : app.listedFiles())
      songs.push_back(file.substr(0, kLongestListPath));
  RunCounts counts;
  if (songs.size() <= static_cast<size_t>(kShortestBufferedList)) {
    counts.failures = 2;
    const std::lock_guard<std::mutex> hold(app.bufferCache.lock);
    counts.slots = app.settings.bufferSize;
  } else {
    app.shared.rebufferValue.store(0);
    app.bufferCache.stage.store(BufferStage::Buffering);
    noticeStatusChanged(app);
    counts = copyUpcomingSongs(app, songs);
  }
  const uint32_t failures = counts.failures;
  const uint32_t slots = counts.slots;

  app.bufferCache.running.store(0);
  if (!bufferOn(app)) {
    app.bufferCache.stage.store(BufferStage::Error);
    openCache(app);  // empties the cache
  } else if (failures <= kMostCopyFailures) {
    app.bufferCache.stage.store(songs.size() > slots ? BufferStage::PartlyBuffered : BufferStage::Buffered);
    app.shared.rebufferValue.store(100);
  } else {
    app.bufferCache.stage.store(BufferStage::GaveUp);
    app.shared.rebufferValue.store(0);
  }
  noticeStatusChanged(app);
  if (app.bufferCache.startUpBuffering.exchange(0) != 0) {
    // The first run after start-up copied the list loaded from its file:
    // the ID worker, held back until now, may start.
    callHook(app.hooks.startIdWorker);
  } else if (bufferOn(app)) {
    // The list is built and copied: a machine set to switch off after a
    // build may do so now (the timer itself checks the switches and the
    // player).
    callHook(app.hooks.startShutdownTimer);
  }
}

void startCache(LibraryContext& app) {
  if (bufferOn(app) && app.run.listCount.load() > kShortestBufferedList) {
    // The ID worker starts when this first run ends.
    app.bufferCache.startUpBuffering.store(1);
    openCache(app);
    return;
  }
  if (bufferOn(app))
    app.bufferCache.stage.store(BufferStage::Buffered);
  callHook(app.hooks.startIdWorker);
}

void installBufferCache(LibraryContext& app) {
  app.hooks.bufferingRun = [&app] { bufferingRun(app); };
}

}  // namespace plinka::library
