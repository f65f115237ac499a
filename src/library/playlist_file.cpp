#include "library/playlist_file.h"

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
#include "play/song_details.h"
#include "text/text.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace plinka::library {

namespace {

// The playlist is read in blocks of this many bytes.
constexpr size_t kReadBlock = 16384;

// A song table of this many slots or fewer is not searched when a list is
// loaded: every line becomes a bare row.
constexpr uint32_t kSmallTableSlots = 10;

// Appends one line to the upcoming list (load mode), looking the line up in
// the index of the table's FileNames.
void loadLine(App& app, const char* line, const db::FileNameIndex& index) {
  db::TableHandle& table = app.songTable;
  if (table.isOpen() && table.slotCount > kSmallTableSlots) {
    const int32_t slot = index.built() ? index.findPreferExact(table, line) : -1;
    if (slot >= 0) {
      if (db::getStatus(table, static_cast<uint32_t>(slot)) == static_cast<int32_t>(db::kStatusInUse)) {
        play::loadSongDetails(app, static_cast<uint32_t>(slot), currentUser(app));
        play::putListRow(app, app.list.size(), line, app.details.loaded);
      }
      return;
    }
  }
  if (readTag(app.tagReader, line) != 1)
    return;
  play::SongDetails bare;
  const TagResult& tag = app.tagReader.result;
  text::copy(bare.title, tag.title);
  text::copy(bare.artist, tag.artist);
  text::copy(bare.album, tag.album);
  play::putListRow(app, app.list.size(), line, bare);
}

}  // namespace

std::string stateListFileName(const App& app) {
  const uint64_t stateNumber = uint64_t{currentStateIndex(app)} + 1;
  return app.folders.data + "PL" + std::to_string(stateNumber) + ".m3u";
}

bool appendPlaylistLine(std::string& text, std::string_view path) {
  if (path.size() > kPlaylistLineMax || path.find_first_of("\r\n") != std::string_view::npos)
    return false;
  text += path;
  text += "\r\n";
  return true;
}

bool writeList(const play::UpcomingList& list, const std::string& path) {
  const std::vector<play::ListRow> rows = list.rows();
  std::string text;
  for (const play::ListRow& row : rows)
    appendPlaylistLine(text, row.column[play::FileName]);
  // Written under another name and renamed: a failed write leaves the old
  // list file whole.
  return platform::replaceFile(path, text.data(), text.size());
}

bool saveStateList(App& app) {
  const std::string listFile = stateListFileName(app);
  if (!app.list.empty())
    return writeList(app.list, listFile);
  platform::removeFile(listFile);  // none there is as good
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

int32_t readPlaylistLines(App& app, const char* path, const std::function<bool(const char* line)>& onLine) {
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

void readPlaylist(App& app, const char* path, int mode) {
  // Loading looks every line up: one read pass makes each a hash lookup
  // instead of a walk over the table. The table is held open for reading
  // throughout, so nothing changes under the index.
  db::FileNameIndex index;
  if (mode == kPlaylistLoad && app.songTable.isOpen() && app.songTable.slotCount > kSmallTableSlots)
    index.build(app.songTable);
  const int32_t opened = readPlaylistLines(app, path, [&](const char* line) {
    if (mode == kPlaylistImport) {
      if (mediaType(app.settings, line) != kMediaNone)
        addOneFile(app, line);
    } else if (mode == kPlaylistLoad) {
      loadLine(app, line, index);
    }
    return true;
  });
  if (opened < 0)
    app.status.messagePending.store(1);
}

bool loadStateList(App& app) {
  const db::SongTableOpen open(app, db::SongTableOpen::Mode::Reading);
  if (!open)
    return false;
  app.jobs.songsInUse.store(db::countInUse(app.songTable));
  const std::string listFile = stateListFileName(app);
  readPlaylist(app, listFile.c_str(), kPlaylistLoad);
  return true;
}

}  // namespace plinka::library
