// Playlist files: plain 8-bit text, one media file path per line, each line
// ended by CR LF. Each State keeps its upcoming list in "PL<n>.m3u" in the
// data folder.
//
// Reading: a CR ends a line and an LF is ignored wherever it stands, so a file
// of LF-only line ends reads as one long line. A line holding a '#' anywhere
// (the #EXTM3U and #EXTINF lines of extended playlists, but also a path such
// as ".../#1 Hits/...") is ignored, and so is one of fewer than 3 characters
// and whatever follows the last CR.
#pragma once

#include "play/upcoming_list.h"
#include "shell/app.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace plinka::library {

// The longest path a playlist line holds.
constexpr size_t kPlaylistLineMax = 599;

// The current State's list file: data folder + "PL" + (currentState + 1) + ".m3u".
std::string stateListFileName(const App& app);

// Appends a path and CR LF to a playlist's text. A path longer than a
// playlist line holds is left out rather than cut (a cut path would name
// another file), and so is one holding a line break (it would read back as
// other paths): false, nothing appended.
bool appendPlaylistLine(std::string& text, std::string_view path);

// Writes the list's FileName texts, in list order, to a file made anew at
// path. A path longer than a playlist line holds is left out rather than cut
// (a cut path would name another file), and so is one holding a line break
// (it would read back as other paths). False when the file cannot be made or
// written; the old file then stays whole (the new one is written under
// another name, synced and renamed).
bool writeList(const play::UpcomingList& list, const std::string& path);

// Read modes.
constexpr int kPlaylistImport = 1;  // each line becomes a new song record
constexpr int kPlaylistLoad = 2;    // each line is appended to the upcoming list

// Reads the playlist at path and hands each accepted line, as a path, to
// onLine, until the end of the file, a stopRequest, or onLine returning
// false. A line longer than kPlaylistLineMax or holding a zero byte cannot
// name a file and is refused whole rather than cut. Returns the number of
// lines refused that way, or -1 when the file cannot be opened (only regular
// files are read).
int32_t readPlaylistLines(App& app, const char* path, const std::function<bool(const char* line)>& onLine);

// Reads a playlist in one of the modes above. A file that cannot be opened
// sets the one-shot message's pending flag (no text) and changes nothing.
//
// Import: each line goes to addOneFile; the song table must be open for
// writing and the busy code held.
// Load: when the song table has more than 10 slots, a line found in its
// FileName field (letter case ignored) is appended with the record's details
// for the current State's user if the record is in use, and skipped if not.
// A line not found there (or any line with a table of 10 slots or fewer) is
// appended as a bare row with the texts of the file's tag when the file can
// be read, and skipped when not. The song table must be open for reading.
void readPlaylist(App& app, const char* path, int mode);

}  // namespace plinka::library
