// Playlist files: one media file path per line. Each State keeps its
// upcoming list in "PL<n>.m3u" in the data folder, written with CR LF line
// ends.
//
// Reading takes playlists as any player writes them: CR, LF or CR LF end a
// line and the last line counts without an end; a line starting with '#' is
// a comment (the #EXTM3U and #EXTINF lines of extended playlists), while a
// '#' elsewhere is part of the path (".../#1 Hits/..."); a line of fewer
// than 3 characters is passed over. A relative path is taken from the
// playlist's own folder, and a "file://" URI is decoded to its path. ".m3u8"
// playlists are the same, in UTF-8 (a leading byte-order mark is passed
// over); texts are kept as bytes either way.
#pragma once

#include "app/app.h"
#include "play/upcoming_list.h"

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

// Saves the upcoming list as the current State's list file: written when
// the list has rows, deleted when it has none (a State without a list keeps
// no file). False when a list with rows could not be written.
bool saveStateList(App& app);

// True for a source that names a playlist rather than a folder: one ending
// in "txt", "m3u" or "m3u8" (letter case ignored).
bool isPlaylistSource(std::string_view source);

// The file a playlist line names: an absolute path as it stands, a relative
// one below playlistFolder (which ends in '/'), a "file://" URI (host empty
// or "localhost") percent-decoded. False when the line names no local file,
// holds a bad escape or an escaped zero byte, or the path would be longer
// than a playlist line holds.
bool playlistLinePath(std::string_view line, std::string_view playlistFolder, std::string& path);

// Read modes.
constexpr int kPlaylistImport = 1;  // each line becomes a new song record
constexpr int kPlaylistLoad = 2;    // each line is appended to the upcoming list

// Reads the playlist at path and hands each accepted line, as the path it
// names, to onLine, until the end of the file, a stopRequest, or onLine
// returning false. A line longer than kPlaylistLineMax or holding a zero
// byte cannot name a file and is refused whole rather than cut, and so is a
// line that names no local file. Returns the number of
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

// Appends the current State's list file to the upcoming list, with the song
// table opened for reading for it. The songs in use are counted on the way,
// so the status texts show them from the start. False when the song table
// does not open (the list is left as it was).
bool loadStateList(App& app);

}  // namespace plinka::library
