// The upcoming list's own files: each State keeps its upcoming list in
// "PL<n>.m3u" in the data folder, read and written as playlists are.
#pragma once

#include "play/upcoming_list.h"

#include <string>

namespace plinka {
struct PlayContext;
}

namespace plinka::play {

// The current State's list file: data folder + "PL" + (currentState + 1) + ".m3u".
std::string stateListFileName(const PlayContext& app);

// Writes the list's FileName texts, in list order, to a file made anew at
// path. A path longer than a playlist line holds is left out rather than cut
// (a cut path would name another file), and so is one holding a line break
// (it would read back as other paths). False when the file cannot be made or
// written; the old file then stays whole (the new one is written under
// another name, synced and renamed).
bool writeList(const UpcomingList& list, const std::string& path);

// Saves the upcoming list as the current State's list file: written when
// the list has rows, deleted when it has none (a State without a list keeps
// no file). False when a list with rows could not be written.
bool saveStateList(PlayContext& app);

// Reads the playlist at path and appends its lines to the upcoming list.
// When the song table has more than 10 slots, a line found in its FileName
// field (letter case ignored) is appended with the record's details for the
// current State's user if the record is in use, and skipped if not. A line
// not found there (or any line with a table of 10 slots or fewer) is
// appended as a bare row with the texts of the file's tag when the file can
// be read, and skipped when not. The song table must be open for reading. A
// file that cannot be opened sets the one-shot message's pending flag (no
// text) and changes nothing.
void loadPlaylist(PlayContext& app, const char* path);

// Appends the current State's list file to the upcoming list, with the song
// table opened for reading for it. The songs in use are counted on the way,
// so the status texts show them from the start. False when the song table
// does not open (the list is left as it was).
bool loadStateList(PlayContext& app);

}  // namespace plinka::play
