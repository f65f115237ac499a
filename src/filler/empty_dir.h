// "Empty Dir": before a fill, the files in the fill directory are deleted.
// Only files, only in that directory: sub-directories and what they hold are
// left alone, a symbolic link is never followed (nor deleted), and nothing
// but regular files goes. The root folder and the user's home folder are
// refused, since on this system they are never a player's storage; the
// folder where a removable drive is mounted is a folder like any other, and
// every file in it goes.
#pragma once

#include <cstdint>
#include <string>

namespace plinka::filler {

constexpr const char* kEmptyDirRefused =
    "Empty Dir does not delete the files of the root folder or of your home folder. Choose the player's own folder.";

struct EmptyDirResult {
  bool refused = false;  // the folder is "/" or the home folder: nothing deleted
  uint32_t deleted = 0;  // files deleted
  uint32_t failed = 0;   // files that could not be deleted
};

// True when Empty Dir refuses `folder`: it is (or leads to) the root folder
// or the home folder `home`.
bool emptyDirRefuses(const std::string& folder, const std::string& home);

// Deletes every regular file directly in `folder`. `home` is the user's home
// folder (empty when unknown). A folder that does not exist deletes nothing.
EmptyDirResult emptyFillDirectory(const std::string& folder, const std::string& home);

// The user's home folder: $HOME, else the password database's entry.
std::string homeFolder();

}  // namespace plinka::filler
