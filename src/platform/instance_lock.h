// The single-instance lock: an exclusive flock on a lock file that lives as
// long as this object. A second player finds it held and ends.
#pragma once

#include <string>

namespace plinka::platform {

class InstanceLock {
public:
  InstanceLock() = default;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  ~InstanceLock() { release(); }

  // True when this process now holds the lock at path; false when another
  // holder has it or the file cannot be made.
  bool acquire(const std::string& path);
  void release();
  bool held() const { return fd_ >= 0; }

private:
  int fd_ = -1;
};

// True when some holder has the lock at path now (the file exists and its
// lock cannot be shared). A look, not a hold: the answer may change at once.
bool lockHeldElsewhere(const std::string& path);

// "Plinka.exe.lock" in the runtime folder, or a per-user name in /tmp.
std::string instanceLockPath();

}  // namespace plinka::platform
