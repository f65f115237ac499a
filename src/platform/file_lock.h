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
  CannotOpen,     // the file is missing or cannot be opened
};

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
