// Playlist files: plain 8-bit text, one media file path per line, each line
// ended by CR LF. Each State keeps its upcoming list in "PL<n>.m3u" in the
// data folder.
#pragma once

#include "play/upcoming_list.h"
#include "shell/app.h"

#include <cstddef>
#include <string>

namespace plinka::library {

// The longest path a playlist line holds.
constexpr size_t kPlaylistLineMax = 599;

// The current State's list file: data folder + "PL" + (currentState + 1) + ".m3u".
std::string stateListFileName(const App& app);

// Writes the list's FileName texts, in list order, to a file made anew at
// path. A path longer than a playlist line holds is left out rather than cut
// (a cut path would name another file), and so is one holding a line break
// (it would read back as other paths). False when the file cannot be made or
// written.
bool writeList(const play::UpcomingList& list, const std::string& path);

}  // namespace plinka::library
