#include "filler/empty_dir.h"

#include "db/filename_index.h"
#include "db/song_table_open.h"
#include "filler/fill_run.h"
#include "play/play_context.h"
#include "text/text.h"

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

// The folder part of a file's path ("/a/b" for "/a/b/c"); empty when none.
std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

// The names of the regular files directly in the open folder fd.
std::vector<std::string> regularFiles(int fd) {
  std::vector<std::string> files;
  const int listing = ::dup(fd);
  if (listing < 0)
    return files;
  DIR* dir = ::fdopendir(listing);
  if (dir == nullptr) {
    ::close(listing);
    return files;
  }
  while (const dirent* entry = ::readdir(dir)) {
    struct stat st {};
    if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
      files.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  return files;
}

// The first file directly in the folder that the song table names, under
// the folder's path as given or as resolved; empty when none. False when
// the song table cannot be read.
bool songOfTheTableIn(PlayContext& app, const std::string& folder, const std::string& real, std::string& song) {
  const int fd = ::open(real.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return true;  // nothing there to delete
  const std::vector<std::string> files = regularFiles(fd);
  ::close(fd);
  if (files.empty())
    return true;
  // In network mode the filler reads through its own copy of the table,
  // never the player's (as the fill run does).
  if (app.settings.networkMode != 0)
    app.copies.localPath = app.folders.data + kFillTableCopyName;
  const db::SongTableOpen open(app, db::SongTableOpen::Mode::Reading);
  if (!open)
    return false;
  db::FileNameIndex index;
  if (!index.build(app.songTable))
    return false;
  std::vector<std::string> prefixes{real + "/"};
  std::string given = folder;
  while (given.size() > 1 && given.back() == '/')
    given.pop_back();
  if (given != real)
    prefixes.push_back(given + "/");
  for (const std::string& name : files) {
    for (const std::string& prefix : prefixes) {
      if (index.find(app.songTable, (prefix + name).c_str(), db::LetterCase::Folded) >= 0) {
        song = name;
        return true;
      }
    }
  }
  return true;
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
  if (!folder.empty() && folder[0] != '/')
    return true;
  const std::string real = realFolder(folder);
  return real == "/" || (!real.empty() && real == realFolder(home));
}

std::string emptyDirRefusal(PlayContext& app, const std::string& folder, const std::string& home) {
  const std::string quoted = "\"" + folder + "\"";
  if (!folder.empty() && folder[0] != '/')
    return "Empty Dir needs the fill folder's full path, starting with \"/\": " + quoted + " is not one.";
  if (emptyDirRefuses(folder, home))
    return kEmptyDirRefused;
  const std::string real = realFolder(folder);
  if (real.empty())
    return {};
  struct Kept {
    std::string folder;
    const char* why;
  };
  const Kept kept[] = {
      {app.folders.data, " is Plinka's data folder: it holds the settings, the song table and the lists."},
      {folderOf(text::fixedText(app.settings.databasePath, sizeof app.settings.databasePath)),
       " holds the song table."},
      {app.folders.program, " is the folder of the Plinka program."},
  };
  for (const Kept& k : kept) {
    if (!k.folder.empty() && realFolder(k.folder) == real)
      return "Empty Dir does not delete these files: " + quoted + k.why + " Choose the player's own folder.";
  }
  std::string song;
  if (!songOfTheTableIn(app, folder, real, song))
    return "Empty Dir deleted nothing: the song table could not be read to make sure that " + quoted +
           " holds none of your songs.";
  if (!song.empty())
    return "Empty Dir does not delete songs of your library: " + quoted + " holds \"" + song +
           "\", a song of the song table. Choose the player's own folder.";
  return {};
}

EmptyDirResult emptyFillDirectory(PlayContext& app, const std::string& folder, const std::string& home) {
  EmptyDirResult result;
  result.refusal = emptyDirRefusal(app, folder, home);
  if (!result.refusal.empty()) {
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
  // The names first, then the deletions: a folder is not changed while it
  // is being read.
  const std::vector<std::string> files = regularFiles(fd);
  for (const std::string& name : files) {
    struct stat st {};
    if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
      continue;
    if (::unlinkat(fd, name.c_str(), 0) == 0)
      ++result.deleted;
    else
      ++result.failed;
  }
  ::close(fd);
  return result;
}

}  // namespace plinka::filler
