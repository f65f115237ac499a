#include "platform/folder_sync.h"

#include "platform/random_bytes.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace plinka::platform {

bool syncFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return false;
  int rc;
  do {
    rc = fsync(fd);
  } while (rc != 0 && errno == EINTR);
  ::close(fd);
  return rc == 0;
}

std::string uniqueNameBeside(const std::string& path, const char* suffix) {
  // Process-wide counter: two threads of one process never draw one name
  // even when the random part cannot be had.
  static std::atomic<uint64_t> made{0};
  uint64_t random = 0;
  if (!randomBytes(&random, sizeof random))
    random = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  random ^= made.fetch_add(1) * 0x9e3779b97f4a7c15ull;
  char part[40];
  std::snprintf(part, sizeof part, ".%ld.%016llx", static_cast<long>(getpid()),
                static_cast<unsigned long long>(random));
  return path + part + suffix;
}

}  // namespace plinka::platform
