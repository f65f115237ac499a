#include "library/playlist_file.h"

#include "library/library_context.h"

#include "core/current_state.h"
#include "db/filename_index.h"
#include "db/search.h"
#include "db/song_table_open.h"
#include "db/table.h"
#include "library/file_access.h"
#include "library/import.h"
#include "library/media_types.h"
#include "library/tag_reader.h"
#include "platform/files.h"
#include "text/text.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace plinka::library {

namespace {

// The playlist is read in blocks of this many bytes.
constexpr size_t kReadBlock = 16384;

}  // namespace

bool appendPlaylistLine(std::string& text, std::string_view path) {
  if (path.size() > kPlaylistLineMax || path.find_first_of("\r\n") != std::string_view::npos)
    return false;
  text += path;
  text += "\r\n";
  return true;
}

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size())
    return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i])
      return false;
  }
  return true;
}

}  // namespace

bool isPlaylistSource(std::string_view source) {
  auto endsWith = [&](std::string_view ending) {
    return source.size() >= ending.size() && startsWithNoCase(source.substr(source.size() - ending.size()), ending);
  };
  return endsWith("txt") || endsWith("m3u") || endsWith("m3u8");
}

bool playlistLinePath(std::string_view line, std::string_view playlistFolder, std::string& path) {
  path.clear();
  if (startsWithNoCase(line, "file://")) {
    std::string_view rest = line.substr(7);
    // "file://localhost/..." names this computer; any other host is not a
    // local file.
    if (startsWithNoCase(rest, "localhost/"))
      rest.remove_prefix(9);
    if (rest.empty() || rest.front() != '/')
      return false;
    for (size_t i = 0; i < rest.size(); ++i) {
      if (rest[i] == '%' && i + 2 < rest.size()) {
        const int high = hexValue(rest[i + 1]), low = hexValue(rest[i + 2]);
        if (high < 0 || low < 0)
          return false;
        const char c = static_cast<char>(high * 16 + low);
        if (c == '\0')
          return false;
        path += c;
        i += 2;
      } else if (rest[i] == '%') {
        return false;
      } else {
        path += rest[i];
      }
    }
  } else if (!line.empty() && line.front() == '/') {
    path.assign(line);
  } else {
    // A path relative to the playlist's own folder, with its "." and ".."
    // steps taken out so that it reads as the path an import stored.
    std::string joined(playlistFolder);
    joined += line;
    path = std::filesystem::path(joined).lexically_normal().string();
  }
  return path.size() <= kPlaylistLineMax;
}

int32_t readPlaylistLines(LibraryContext& app, const char* path, const std::function<bool(const char* line)>& onLine) {
  const int fd = openForReading(path);
  if (fd < 0)
    return -1;
  FileCloser closer(fd);

  // Relative lines are taken from the playlist's folder.
  const std::string_view playlist(path);
  const size_t slash = playlist.rfind('/');
  const std::string folder(slash == std::string_view::npos ? std::string_view() : playlist.substr(0, slash + 1));

  // The line as read: room for one byte past the limit tells a line that is
  // too long from one that just fits.
  char line[kPlaylistLineMax + 1];
  size_t length = 0;
  bool tooLong = false, hasZero = false;
  bool firstLine = true;
  int32_t refused = 0;
  std::string resolved;
  // Ends the line in hand: false when reading must stop.
  auto endLine = [&]() {
    std::string_view text(line, length);
    // A byte-order mark opens some UTF-8 playlists.
    if (firstLine && text.substr(0, 3) == "\xEF\xBB\xBF")
      text.remove_prefix(3);
    firstLine = false;
    const bool comment = !text.empty() && text.front() == '#';
    bool keepGoing = true;
    if (!comment && !tooLong && text.size() >= 3) {
      if (hasZero || !playlistLinePath(text, folder, resolved)) {
        ++refused;
      } else if (app.run.stopRequest.load() != 0 || !onLine(resolved.c_str())) {
        keepGoing = false;
      }
    } else if (!comment && tooLong) {
      ++refused;
    }
    length = 0;
    tooLong = hasZero = false;
    return keepGoing;
  };

  char block[kReadBlock];
  uint64_t offset = 0;
  while (app.run.stopRequest.load() == 0) {
    const size_t got = readAt(fd, block, sizeof block, offset);
    if (got == 0)
      break;
    offset += got;
    for (size_t i = 0; i < got; ++i) {
      const char c = block[i];
      // CR, LF and CR LF end a line (the empty line between CR and LF is
      // passed over like any line too short to name a file).
      if (c == '\r' || c == '\n') {
        if (!endLine())
          return refused;
        continue;
      }
      hasZero = hasZero || c == '\0';
      if (length < kPlaylistLineMax)
        line[length++] = c;
      else
        tooLong = true;
    }
  }
  // The last line counts without a line end.
  if ((length > 0 || tooLong) && app.run.stopRequest.load() == 0)
    endLine();
  return refused;
}

void importPlaylist(LibraryContext& app, const char* path) {
  const int32_t opened = readPlaylistLines(app, path, [&](const char* line) {
    if (mediaType(app.settings, line) != kMediaNone)
      addOneFile(app, line);
    return true;
  });
  if (opened < 0)
    app.status.messagePending.store(1);
}

}  // namespace plinka::library
