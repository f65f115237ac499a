// Making a rename durable: a file renamed over another reaches its new name
// on disk only once the folder holding that name is synced too.
#pragma once

#include <string>

namespace plinka::platform {

// Syncs the folder that holds `path` (its parent; the working folder for a
// bare name). False when the folder cannot be opened or synced.
bool syncFolderOf(const std::string& path);

// A fresh name beside `path` for a file made to replace it: `path` followed
// by the process id, a random part and `suffix`. Open it with O_EXCL, so two
// makers never share one.
std::string uniqueNameBeside(const std::string& path, const char* suffix);

}  // namespace plinka::platform
