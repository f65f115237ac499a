#include "platform/table_lock.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace plinka::platform {

// One table's lock as this process holds it. Shared by every TableLock of
// the process on that file.
struct TableLockEntry {
  std::mutex lock;  // serialises this process's changes of the fields below
  int fd = -1;      // the open lock file; -1 once retired (guarded by lock)
  std::string path;
  dev_t device = 0;
  ino_t inode = 0;
  uint32_t readers = 0;  // shared holds (guarded by lock)
  uint32_t writers = 0;  // exclusive holds (guarded by lock)
  short held = F_UNLCK;  // the file lock now held: F_UNLCK, F_RDLCK or F_WRLCK (guarded by lock)
};

namespace {

using Clock = std::chrono::steady_clock;
using Key = std::pair<dev_t, ino_t>;

constexpr std::chrono::milliseconds kDefaultWait{10000};

// Written once at start by the program's main thread; read by every acquire.
std::atomic<int64_t> waitMilliseconds{kDefaultWait.count()};

// Every lock file this process holds, by its identity, so that two paths
// naming one file share one entry.
std::mutex registryLock;
std::map<Key, std::shared_ptr<TableLockEntry>>& registry() {
  static auto* entries = new std::map<Key, std::shared_ptr<TableLockEntry>>;
  return *entries;
}

// A child made by fork shares the parent's lock files, and with them the
// parent's locks: it must not count itself as holding them. Its copies of
// the files are closed (the parent's locks stay) and it starts with none.
void lockRegistryForFork() { registryLock.lock(); }
void unlockRegistryAfterFork() { registryLock.unlock(); }
void forgetRegistryInChild() {
  for (auto& [key, entry] : registry()) {
    ::close(entry->fd);
    entry->fd = -1;
    entry->held = F_UNLCK;
  }
  registry().clear();
  registryLock.unlock();
}
const bool forkHandled = pthread_atfork(lockRegistryForFork, unlockRegistryAfterFork, forgetRegistryInChild) == 0;

// Sets the lock over the whole file without waiting; true when it is held.
// A change of an open description's lock is atomic: a refused raise keeps
// the shared lock it had.
bool setLock(int fd, short type) {
  if (lockFaults().noLocking) {
    errno = ENOLCK;
    return false;
  }
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  int rc;
  do {
    rc = fcntl(fd, F_OFD_SETLK, &fl);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

enum class Wait { Taken, Busy, Unsupported };

// What a failed setLock's errno says.
Wait failureOf(int error) {
  if (error == EAGAIN || error == EACCES)
    return Wait::Busy;
  return lockingUnsupported(error) ? Wait::Unsupported : Wait::Busy;
}

// Where no inotify instance can be had (the per-user limit reached), the
// wait tries again after pauses that grow from the first to the last.
constexpr int kFirstPollMs = 5;
constexpr int kLastPollMs = 100;

// An inotify instance watching the lock file for the holder's close and
// touch; -1 when none can be had.
int watchLockFile(const std::string& path) {
  if (lockFaults().noInotify)
    return -1;
  const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (watch < 0)
    return -1;
  if (inotify_add_watch(watch, path.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE | IN_ATTRIB) < 0) {
    ::close(watch);
    return -1;
  }
  return watch;
}

// Waits for the lock until the deadline. The holder's close of the lock
// file (or death, which closes it) and its touch when it gives up the
// exclusive part wake the wait; the watch is set before the next try, so a
// release between the try and the wait is not missed. Without a watch the
// wait tries again now and then instead.
Wait waitForLock(const TableLockEntry& entry, short type) {
  if (setLock(entry.fd, type))
    return Wait::Taken;
  Wait outcome = failureOf(errno);
  if (outcome != Wait::Busy)
    return outcome;
  const Clock::time_point deadline = Clock::now() + tableLockWait();
  const int watch = watchLockFile(entry.path);
  int pause = kFirstPollMs;
  for (;;) {
    if (setLock(entry.fd, type)) {
      outcome = Wait::Taken;
      break;
    }
    outcome = failureOf(errno);
    if (outcome != Wait::Busy)
      break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
      break;
    if (watch >= 0) {
      pollfd p{watch, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left + 1)) > 0) {
        alignas(inotify_event) char events[4096];
        while (read(watch, events, sizeof events) > 0) {
        }
      }
    } else {
      poll(nullptr, 0, static_cast<int>(std::min<int64_t>(left + 1, pause)));
      pause = std::min(pause * 2, kLastPollMs);
    }
  }
  if (watch >= 0)
    ::close(watch);
  return outcome;
}

// Lets go of the entry's file when no hold is left; called with entry.lock
// held.
void retireIfUnused(TableLockEntry& entry) {
  if (entry.readers != 0 || entry.writers != 0 || entry.fd < 0)
    return;
  {
    const std::lock_guard<std::mutex> hold(registryLock);
    registry().erase(Key{entry.device, entry.inode});
  }
  // Closing drops the lock and tells waiters elsewhere.
  ::close(entry.fd);
  entry.fd = -1;
  entry.held = F_UNLCK;
}

// Opens (making it when missing) the lock file and finds or makes its entry.
// Null when there is no lock file to be had.
std::shared_ptr<TableLockEntry> entryFor(const std::string& lockPath) {
  int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0)
    return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    ::close(fd);
    return nullptr;
  }
  const std::lock_guard<std::mutex> hold(registryLock);
  auto& entries = registry();
  const Key key{st.st_dev, st.st_ino};
  if (const auto found = entries.find(key); found != entries.end()) {
    ::close(fd);
    return found->second;
  }
  auto entry = std::make_shared<TableLockEntry>();
  entry->fd = fd;
  entry->path = lockPath;
  entry->device = st.st_dev;
  entry->inode = st.st_ino;
  entries.emplace(key, entry);
  return entry;
}

}  // namespace

void setTableLockWait(std::chrono::milliseconds wait) { waitMilliseconds.store(wait.count()); }

std::chrono::milliseconds tableLockWait() { return std::chrono::milliseconds(waitMilliseconds.load()); }

std::string tableLockPath(const std::string& tablePath) {
  const size_t slash = tablePath.rfind('/');
  const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
  return tablePath.substr(0, nameAt) + "." + tablePath.substr(nameAt) + ".lock";
}

TableLockResult TableLock::acquire(const std::string& tablePath, LockKind kind) {
  if (entry_) {
    if (kind_ == LockKind::Exclusive || kind == LockKind::Shared)
      return TableLockResult::Taken;
    // A shared hold raised to exclusive.
    TableLockEntry& entry = *entry_;
    const std::lock_guard<std::mutex> hold(entry.lock);
    if (entry.held != F_WRLCK) {
      const Wait wait = waitForLock(entry, F_WRLCK);
      if (wait == Wait::Unsupported)
        return TableLockResult::Unsupported;
      if (wait != Wait::Taken)
        return TableLockResult::Busy;
    }
    entry.held = F_WRLCK;
    --entry.readers;
    ++entry.writers;
    kind_ = LockKind::Exclusive;
    return TableLockResult::Taken;
  }

  const std::string lockPath = tableLockPath(tablePath);
  for (;;) {
    std::shared_ptr<TableLockEntry> entry = entryFor(lockPath);
    if (!entry)
      return TableLockResult::Unlockable;
    const std::lock_guard<std::mutex> hold(entry->lock);
    if (entry->fd < 0)
      continue;  // retired by its last holder meanwhile: open afresh
    const short wanted = kind == LockKind::Exclusive ? F_WRLCK : F_RDLCK;
    if (entry->held != F_WRLCK && entry->held != wanted) {
      const Wait wait = waitForLock(*entry, wanted);
      if (wait != Wait::Taken) {
        retireIfUnused(*entry);
        return wait == Wait::Unsupported ? TableLockResult::Unsupported : TableLockResult::Busy;
      }
      entry->held = wanted;
    }
    if (kind == LockKind::Exclusive)
      ++entry->writers;
    else
      ++entry->readers;
    entry_ = std::move(entry);
    kind_ = kind;
    return TableLockResult::Taken;
  }
}

void TableLock::release() {
  if (!entry_)
    return;
  TableLockEntry& entry = *entry_;
  {
    const std::lock_guard<std::mutex> hold(entry.lock);
    if (kind_ == LockKind::Exclusive)
      --entry.writers;
    else
      --entry.readers;
    if (entry.writers == 0 && entry.readers != 0 && entry.held == F_WRLCK && setLock(entry.fd, F_RDLCK)) {
      // Only readers are left here: the exclusive part goes, and a touch
      // wakes whoever waits for it elsewhere.
      entry.held = F_RDLCK;
      futimens(entry.fd, nullptr);
    }
    retireIfUnused(entry);
  }
  entry_.reset();
}

}  // namespace plinka::platform
