// Where the program and its data live on this machine.
#pragma once

#include <string>

namespace plinka::platform {

// Folder of the running program file (links resolved), ending in '/'.
std::string programFolder();

// True when the block device holding `folder` reports itself removable
// (an installation carried on a removable drive keeps its data beside it).
bool isOnRemovableDrive(const std::string& folder);

// $XDG_DATA_HOME, else $HOME/.local/share; no trailing '/'.
std::string userDataHome();
// $XDG_CACHE_HOME, else $HOME/.cache; no trailing '/'.
std::string userCacheHome();
// Where a file dialog starts when it has nothing better: $HOME/Documents/
// when it exists, else $HOME/; empty when HOME is not set.
std::string documentsFolder();

// $XDG_RUNTIME_DIR when set and present, else /tmp; no trailing '/'.
std::string runtimeFolder();

}  // namespace plinka::platform
