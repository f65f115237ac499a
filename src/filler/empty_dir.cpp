#include "filler/empty_dir.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace plinka::filler {

namespace {

// The folder's real path (links and "..", "." resolved); empty when it
// cannot be resolved.
std::string realFolder(const std::string& path) {
  if (path.empty())
    return {};
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr)
    return {};
  return resolved;
}

}  // namespace

std::string homeFolder() {
  if (const char* home = std::getenv("HOME"); home && home[0] != 0)
    return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
    return entry->pw_dir;
  return {};
}

bool emptyDirRefuses(const std::string& folder, const std::string& home) {
  const std::string real = realFolder(folder);
  return real == "/" || (!real.empty() && real == realFolder(home));
}

EmptyDirResult emptyFillDirectory(const std::string& folder, const std::string& home) {
  EmptyDirResult result;
  if (emptyDirRefuses(folder, home)) {
    result.refused = true;
    return result;
  }
  const std::string real = realFolder(folder);
  if (real.empty())
    return result;
  // Every entry is judged and deleted relative to the folder opened once, so
  // a name swapped for a link meanwhile still cannot lead elsewhere.
  const int fd = ::open(real.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return result;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return result;
  }
  // The names first, then the deletions: a folder is not changed while it
  // is being read.
  std::vector<std::string> files;
  while (const dirent* entry = ::readdir(dir)) {
    struct stat st {};
    if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
      files.emplace_back(entry->d_name);
  }
  for (const std::string& name : files) {
    struct stat st {};
    if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
      continue;
    if (::unlinkat(fd, name.c_str(), 0) == 0)
      ++result.deleted;
    else
      ++result.failed;
  }
  ::closedir(dir);
  return result;
}

}  // namespace plinka::filler
