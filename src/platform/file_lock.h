// Advisory whole-file locks that every instance of the player honours: an
// exclusive lock keeps every other holder out, a shared lock only keeps an
// exclusive holder out. Locks taken through two separate opens conflict even
// inside one process.
#pragma once

#include <string>

namespace plinka::platform {

enum class LockKind { Shared, Exclusive };

enum class LockResult {
  Taken,          // this object now holds the lock
  HeldElsewhere,  // another holder has a conflicting lock
  CannotOpen,     // the file is missing, cannot be opened, or is not a regular file
  Unsupported,    // the file system cannot lock at all (ENOLCK): nobody holds it, nobody can
};

// The words to tell the user when a folder's file system cannot lock.
constexpr char kNoLockingText[] = "this folder does not support locking";

// Whether a failed lock call's errno says the file system has no locks at
// all, rather than that another holder has the lock.
bool lockingUnsupported(int error);

// Test seam over the lock calls of FileLock and TableLock: `noLocking` makes
// every lock call fail as a file system without lock support does (ENOLCK);
// `noInotify` makes every inotify instance fail as at the per-user limit.
// Set by tests only, around the code they look at; read by every lock call.
struct LockFaults {
  bool noLocking = false;
  bool noInotify = false;
};
void setLockFaults(const LockFaults& faults);
LockFaults lockFaults();

class FileLock {
public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() { release(); }

  // Opens the file at path and locks it without waiting. An exclusive lock
  // is only kept when the path still names the file that was locked, so a
  // file replaced by a rename meanwhile is locked afresh.
  LockResult acquire(const std::string& path, LockKind kind);
  void release();
  bool held() const { return fd_ >= 0; }

private:
  int fd_ = -1;
};

}  // namespace plinka::platform
