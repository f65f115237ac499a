#include "platform/folders.h"

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace plinka::platform {

std::string programFolder() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0)
    return "./";
  std::string path(buf, static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

namespace {

bool readFlag(const std::string& path) {
  std::ifstream in(path);
  int value = 0;
  return in && (in >> value) && value != 0;
}

}  // namespace

bool isOnRemovableDrive(const std::string& folder) {
  struct stat st {};
  if (stat(folder.c_str(), &st) != 0)
    return false;
  const std::string dev = "/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
  // A partition reports its disk's flag one level up.
  return readFlag(dev + "/removable") || readFlag(dev + "/../removable");
}

namespace {

std::string envOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::string(value) : fallback;
}

std::string home() { return envOr("HOME", "/tmp"); }

}  // namespace

std::string userDataHome() { return envOr("XDG_DATA_HOME", home() + "/.local/share"); }

std::string userCacheHome() { return envOr("XDG_CACHE_HOME", home() + "/.cache"); }

std::string documentsFolder() {
  const char* home = std::getenv("HOME");
  if (!home || !*home)
    return std::string();
  const std::string documents = std::string(home) + "/Documents/";
  struct stat st {};
  return stat(documents.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? documents : std::string(home) + "/";
}

std::string runtimeFolder() {
  const std::string dir = envOr("XDG_RUNTIME_DIR", "");
  struct stat st {};
  if (!dir.empty() && stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return dir;
  return "/tmp";
}

}  // namespace plinka::platform
