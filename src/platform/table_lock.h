// The lock that coordinates the opens of one table file across processes:
// the player, a filler beside it and plinkactl's verbs may all open the same
// song table. A read-open holds the lock shared and a write-open holds it
// exclusive, from the open to the close, so no process shrinks, compacts or
// grows a table under another one's mapping.
//
// The lock lives on a small hidden file beside the table (".NAME.lock"),
// which outlives the renames that replace the table itself. Inside one
// process every open of the same table shares one lock, counted: two opens
// in one process never wait for each other (the run state's busy codes
// order them), and the file lock is as strong as the strongest open.
//
// A lock held elsewhere is waited for up to a bound, woken by the holder
// letting go (its close of the lock file, or the touch that goes with giving
// up the exclusive part); past the bound the open ends as busy. Where no
// inotify instance can be had the wait looks again every so often instead.
// A file system that cannot lock at all is no holder: that is told apart
// from busy.
#pragma once

#include "platform/file_lock.h"

#include <chrono>
#include <memory>
#include <string>

namespace plinka::platform {

enum class TableLockResult {
  Taken,        // held now (or already held strongly enough)
  Busy,         // another process held a conflicting lock for the whole wait
  Unlockable,   // no lock file can be made or used there (a read-only folder):
                // the open goes ahead without one
  Unsupported,  // the folder's file system cannot lock at all (ENOLCK): the
                // open goes ahead without a lock, and the user is told
};

// How long an open waits for another process's conflicting lock. Set once
// at start by each program (the desktop player waits less than a verb);
// read by every acquire.
void setTableLockWait(std::chrono::milliseconds wait);
std::chrono::milliseconds tableLockWait();

// ".NAME.lock" beside the table at tablePath.
std::string tableLockPath(const std::string& tablePath);

struct TableLockEntry;

class TableLock {
public:
  TableLock() = default;
  TableLock(const TableLock&) = delete;
  TableLock& operator=(const TableLock&) = delete;
  ~TableLock() { release(); }

  // Takes the lock of the table at tablePath. Held already: a shared hold
  // asked for exclusive is raised (a failed raise leaves it shared); anything
  // else is kept as it is.
  TableLockResult acquire(const std::string& tablePath, LockKind kind);
  void release();
  bool held() const { return entry_ != nullptr; }
  LockKind kind() const { return kind_; }

private:
  std::shared_ptr<TableLockEntry> entry_;
  LockKind kind_ = LockKind::Shared;
};

}  // namespace plinka::platform
