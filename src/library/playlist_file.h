// Playlist files: one media file path per line, written with CR LF line
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

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace plinka {
struct LibraryContext;
}

namespace plinka::library {

// The longest path a playlist line holds.
constexpr size_t kPlaylistLineMax = 599;

// Appends a path and CR LF to a playlist's text. A path longer than a
// playlist line holds is left out rather than cut (a cut path would name
// another file), and so is one holding a line break (it would read back as
// other paths): false, nothing appended.
bool appendPlaylistLine(std::string& text, std::string_view path);

// True for a source that names a playlist rather than a folder: one ending
// in "txt", "m3u" or "m3u8" (letter case ignored).
bool isPlaylistSource(std::string_view source);

// The file a playlist line names: an absolute path as it stands, a relative
// one below playlistFolder (which ends in '/'), a "file://" URI (host empty
// or "localhost") percent-decoded. False when the line names no local file,
// holds a bad escape or an escaped zero byte, or the path would be longer
// than a playlist line holds.
bool playlistLinePath(std::string_view line, std::string_view playlistFolder, std::string& path);

// Reads the playlist at path and hands each accepted line, as the path it
// names, to onLine, until the end of the file, a stopRequest, or onLine
// returning false. A line longer than kPlaylistLineMax or holding a zero
// byte cannot name a file and is refused whole rather than cut, and so is a
// line that names no local file. Returns the number of
// lines refused that way, or -1 when the file cannot be opened (only regular
// files are read).
int32_t readPlaylistLines(LibraryContext& app, const char* path, const std::function<bool(const char* line)>& onLine);

// Reads a playlist and imports each line naming a media file as a new song
// record (through addOneFile); the song table must be open for writing and
// the busy code held. A file that cannot be opened sets the one-shot
// message's pending flag (no text) and changes nothing.
void importPlaylist(LibraryContext& app, const char* path);

}  // namespace plinka::library
