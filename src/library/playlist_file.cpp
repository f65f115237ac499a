#include "library/playlist_file.h"

#include "db/search.h"
#include "db/table.h"
#include "library/file_access.h"
#include "library/import.h"
#include "library/tag_reader.h"
#include "platform/files.h"
#include "play/current_state.h"
#include "play/song_details.h"
#include "text/text.h"

#include <cstdint>
#include <cstdio>

namespace plinka::library {

namespace {

// The playlist is read in blocks of this many bytes.
constexpr size_t kReadBlock = 16384;

// A song table of this many slots or fewer is not searched when a list is
// loaded: every line becomes a bare row.
constexpr uint32_t kSmallTableSlots = 10;

// Appends one line to the upcoming list (load mode).
void loadLine(App& app, const char* line) {
  db::TableHandle& table = app.songTable;
  if (table.isOpen() && table.slotCount > kSmallTableSlots) {
    text::copy(table.searchText, line);
    const int32_t slot = db::findByFieldBackwards(table, db::FileName);
    if (slot >= 0) {
      if (db::getStatus(table, static_cast<uint32_t>(slot)) == static_cast<int32_t>(db::kStatusInUse)) {
        play::loadSongDetails(app, static_cast<uint32_t>(slot), play::currentUser(app));
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
  const uint64_t stateNumber = uint64_t{play::currentStateIndex(app)} + 1;
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

int32_t readPlaylistLines(App& app, const char* path, const std::function<bool(const char* line)>& onLine) {
  const int fd = openForReading(path);
  if (fd < 0)
    return -1;
  FileCloser closer(fd);

  char line[kPlaylistLineMax + 1];
  size_t length = 0;
  bool tooLong = false, hasHash = false, hasZero = false;
  int32_t refused = 0;
  char block[kReadBlock];
  uint64_t offset = 0;
  while (app.run.stopRequest.load() == 0) {
    const size_t got = readAt(fd, block, sizeof block, offset);
    if (got == 0)
      break;
    offset += got;
    for (size_t i = 0; i < got; ++i) {
      const char c = block[i];
      if (c == '\n')
        continue;
      if (c != '\r') {
        hasHash = hasHash || c == '#';
        hasZero = hasZero || c == '\0';
        if (length < kPlaylistLineMax)
          line[length++] = c;
        else
          tooLong = true;
        continue;
      }
      // A CR ends the line.
      if (!hasHash && (tooLong || (hasZero && length >= 3))) {
        ++refused;
      } else if (!hasHash && length >= 3) {
        line[length] = 0;
        if (app.run.stopRequest.load() != 0 || !onLine(line))
          return refused;
      }
      length = 0;
      tooLong = hasHash = hasZero = false;
    }
  }
  return refused;
}

void readPlaylist(App& app, const char* path, int mode) {
  const int32_t opened = readPlaylistLines(app, path, [&](const char* line) {
    if (mode == kPlaylistImport)
      addOneFile(app, line);
    else if (mode == kPlaylistLoad)
      loadLine(app, line);
    return true;
  });
  if (opened < 0)
    app.status.messagePending.store(1);
}

}  // namespace plinka::library
