#include "platform/file_lock.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plinka::platform {

namespace {

// A lock that lost a race with a rename is tried again this often.
constexpr int kReplacedTries = 3;

// The test seam's settings (see setLockFaults).
std::atomic<bool> faultNoLocking{false};
std::atomic<bool> faultNoInotify{false};

// Opens without waiting (a FIFO would wait for a writer) and keeps only a
// regular file.
int openRegular(const std::string& path, int mode) {
  const int fd = ::open(path.c_str(), mode | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0)
    return fd;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

int openForLock(const std::string& path, LockKind kind) {
  // Some network file systems only grant an exclusive lock on a file open
  // for writing; a file we may only read can still be locked shared.
  if (kind == LockKind::Exclusive) {
    const int fd = openRegular(path, O_RDWR);
    if (fd >= 0 || (errno != EACCES && errno != EROFS))
      return fd;
  }
  return openRegular(path, O_RDONLY);
}

int lockFile(int fd, int how) {
  if (faultNoLocking.load()) {
    errno = ENOLCK;
    return -1;
  }
  int rc;
  do {
    rc = flock(fd, how);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

bool sameFile(int fd, const std::string& path) {
  struct stat held {};
  struct stat named {};
  return fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

}  // namespace

bool lockingUnsupported(int error) { return error == ENOLCK || error == EOPNOTSUPP; }

void setLockFaults(const LockFaults& faults) {
  faultNoLocking.store(faults.noLocking);
  faultNoInotify.store(faults.noInotify);
}

LockFaults lockFaults() {
  LockFaults faults;
  faults.noLocking = faultNoLocking.load();
  faults.noInotify = faultNoInotify.load();
  return faults;
}

LockResult FileLock::acquire(const std::string& path, LockKind kind) {
  release();
  for (int attempt = 0; attempt < kReplacedTries; ++attempt) {
    const int fd = openForLock(path, kind);
    if (fd < 0)
      return LockResult::CannotOpen;
    const int how = (kind == LockKind::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    if (lockFile(fd, how) != 0) {
      const int error = errno;
      ::close(fd);
      if (error == EWOULDBLOCK)
        return LockResult::HeldElsewhere;
      return lockingUnsupported(error) ? LockResult::Unsupported : LockResult::CannotOpen;
    }
    if (sameFile(fd, path)) {
      fd_ = fd;
      return LockResult::Taken;
    }
    ::close(fd);
  }
  return LockResult::HeldElsewhere;
}

void FileLock::release() {
  if (fd_ >= 0) {
    flock(fd_, LOCK_UN);
    ::close(fd_);
  }
  fd_ = -1;
}

}  // namespace plinka::platform
