// "Empty Dir": before a fill, the files in the fill directory are deleted.
// Only files, only in that directory: sub-directories and what they hold are
// left alone, a symbolic link is never followed (nor deleted), and nothing
// but regular files goes. The folder where a removable drive is mounted is a
// folder like any other, and every file in it goes.
//
// Folders that hold the user's own things are refused, with the reason: the
// root folder and the home folder (never a player's storage here), a path
// that is not a full one (it would depend on the folder the program was
// started in), Plinka's data folder (settings, song table, lists), the
// folder of the song table, the program's folder, and any folder that
// directly holds a song of the song table.
#pragma once

#include <cstdint>
#include <string>

namespace plinka {
struct PlayContext;
}

namespace plinka::filler {

constexpr const char* kEmptyDirRefused =
    "Empty Dir does not delete the files of the root folder or of your home folder. Choose the player's own folder.";

struct EmptyDirResult {
  bool refused = false;  // nothing deleted; `refusal` says why
  std::string refusal;   // the message for the user
  uint32_t deleted = 0;  // files deleted
  uint32_t failed = 0;   // files that could not be deleted
};

// True when Empty Dir refuses `folder` on its path alone: it is not a full
// path, or it is (or leads to) the root folder or the home folder `home`.
bool emptyDirRefuses(const std::string& folder, const std::string& home);

// Why Empty Dir refuses `folder` (the path checks above, then the data,
// song table and program folders and the songs of the song table, each song
// looked up once through an index of the table's FileNames); empty when it
// may empty it. A song table that cannot be read is a refusal too: nothing
// is deleted that might be a song.
std::string emptyDirRefusal(PlayContext& app, const std::string& folder, const std::string& home);

// Deletes every regular file directly in `folder` unless emptyDirRefusal
// refuses it. `home` is the user's home folder (empty when unknown). A
// folder that does not exist deletes nothing.
EmptyDirResult emptyFillDirectory(PlayContext& app, const std::string& folder, const std::string& home);

// The user's home folder: $HOME, else the password database's entry.
std::string homeFolder();

}  // namespace plinka::filler
