#include "platform/file_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plinka::platform {

namespace {

// A lock that lost a race with a rename is tried again this often.
constexpr int kReplacedTries = 3;

int openForLock(const std::string& path, LockKind kind) {
  // Some network file systems only grant an exclusive lock on a file open
  // for writing; a file we may only read can still be locked shared.
  if (kind == LockKind::Exclusive) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0 || (errno != EACCES && errno != EROFS))
      return fd;
  }
  return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

bool sameFile(int fd, const std::string& path) {
  struct stat held {};
  struct stat named {};
  return fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

}  // namespace

LockResult FileLock::acquire(const std::string& path, LockKind kind) {
  release();
  for (int attempt = 0; attempt < kReplacedTries; ++attempt) {
    const int fd = openForLock(path, kind);
    if (fd < 0)
      return LockResult::CannotOpen;
    const int how = (kind == LockKind::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    int rc;
    do {
      rc = flock(fd, how);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
      const bool busy = errno == EWOULDBLOCK;
      ::close(fd);
      return busy ? LockResult::HeldElsewhere : LockResult::CannotOpen;
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
