#include "library/buffer_cache.h"

#include "shell/app.h"

namespace plinka::library {

namespace {

constexpr char kMediaFolderName[] = "Media/";
constexpr char kIndexName[] = "LocFiles.cvf";

}  // namespace

std::string cacheMediaFolder(const App& app) {
  return app.folders.cache.empty() ? std::string() : app.folders.cache + kMediaFolderName;
}

std::string bufferIndexPath(const App& app) {
  return app.folders.cache.empty() ? std::string() : app.folders.cache + kIndexName;
}

bool cachePathFor(const App& app, const std::string& source, std::string& out) {
  const std::string media = cacheMediaFolder(app);
  if (media.empty() || source.empty())
    return false;
  // The first component goes: "/" of an absolute path, "//" before a host.
  size_t from = 0;
  while (from < source.size() && source[from] == '/' && from < 2)
    ++from;
  const std::string rest = source.substr(from);
  // Every component must name something below the media folder.
  size_t start = 0;
  for (;;) {
    const size_t slash = rest.find('/', start);
    const std::string part = rest.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (part.empty() || part == "." || part == "..")
      return false;
    if (slash == std::string::npos)
      break;
    start = slash + 1;
  }
  out = media + rest;
  return true;
}

}  // namespace plinka::library
