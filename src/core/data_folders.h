// Where the program and its data live. Data stays beside the program unless
// the marker file "DefSet.txt" lies there on a fixed drive; then it goes to the
// per-user data folder, under "Quillmar/Plinka/".
#pragma once

#include "core/core_context.h"

#include <string>

namespace plinka {

// Settles both folders (each ending in '/'). `userDataHome` is the per-user
// data folder; it and the two levels under it are made when data goes there.
// Folders that cannot be made are no error here: later file operations in
// them fail on their own.
Folders settleFolders(const std::string& programFolder, bool removable, const std::string& userDataHome);

// The same for the running process: its own program folder, the drive it
// lies on and the user's data folder.
Folders settleFoldersForThisProcess();

}  // namespace plinka
