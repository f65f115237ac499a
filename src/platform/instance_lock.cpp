#include "platform/instance_lock.h"

#include "platform/folders.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace plinka::platform {

bool InstanceLock::acquire(const std::string& path) {
  release();
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0)
    return false;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

void InstanceLock::release() {
  if (fd_ >= 0) {
    flock(fd_, LOCK_UN);
    ::close(fd_);
  }
  fd_ = -1;
}

bool lockHeldElsewhere(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  const bool held = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

std::string instanceLockPath() {
  const std::string dir = runtimeFolder();
  if (dir == "/tmp")
    return "/tmp/Plinka.exe." + std::to_string(getuid()) + ".lock";
  return dir + "/Plinka.exe.lock";
}

}  // namespace plinka::platform
