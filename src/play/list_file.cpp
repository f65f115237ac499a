#include "play/list_file.h"

#include "core/current_state.h"
#include "db/filename_index.h"
#include "db/search.h"
#include "db/song_table_open.h"
#include "db/table.h"
#include "library/playlist_file.h"
#include "library/tag_reader.h"
#include "platform/files.h"
#include "play/play_context.h"
#include "play/song_details.h"
#include "text/text.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plinka::play {

namespace {

// A song table of this many slots or fewer is not searched when a list is
// loaded: every line becomes a bare row.
constexpr uint32_t kSmallTableSlots = 10;

// Appends one line to the upcoming list (load mode), looking the line up in
// the index of the table's FileNames.
void loadLine(PlayContext& app, const char* line, const db::FileNameIndex& index) {
  db::TableHandle& table = app.songTable;
  if (table.isOpen() && table.slotCount > kSmallTableSlots) {
    const int32_t slot = index.built() ? index.findPreferExact(table, line) : -1;
    if (slot >= 0) {
      if (db::getStatus(table, static_cast<uint32_t>(slot)) == static_cast<int32_t>(db::kStatusInUse)) {
        loadSongDetails(app, static_cast<uint32_t>(slot), currentUser(app));
        putListRow(app, app.list.size(), line, app.details.loaded);
      }
      return;
    }
  }
  if (library::readTag(app.tagReader, line) != 1)
    return;
  SongDetails bare;
  const library::TagResult& tag = app.tagReader.result;
  text::copy(bare.title, tag.title);
  text::copy(bare.artist, tag.artist);
  text::copy(bare.album, tag.album);
  putListRow(app, app.list.size(), line, bare);
}

}  // namespace

std::string stateListFileName(const PlayContext& app) {
  const uint64_t stateNumber = uint64_t{currentStateIndex(app)} + 1;
  return app.folders.data + "PL" + std::to_string(stateNumber) + ".m3u";
}

bool writeList(const UpcomingList& list, const std::string& path) {
  const std::vector<ListRow> rows = list.rows();
  std::string text;
  for (const ListRow& row : rows)
    library::appendPlaylistLine(text, row.column[FileName]);
  // Written under another name and renamed: a failed write leaves the old
  // list file whole.
  return platform::replaceFile(path, text.data(), text.size());
}

bool saveStateList(PlayContext& app) {
  const std::string listFile = stateListFileName(app);
  if (!app.list.empty())
    return writeList(app.list, listFile);
  platform::removeFile(listFile);  // none there is as good
  return true;
}

void loadPlaylist(PlayContext& app, const char* path) {
  // Every line is looked up: one read pass makes each a hash lookup instead
  // of a walk over the table. The table is held open for reading
  // throughout, so nothing changes under the index.
  db::FileNameIndex index;
  if (app.songTable.isOpen() && app.songTable.slotCount > kSmallTableSlots)
    index.build(app.songTable);
  const int32_t opened = library::readPlaylistLines(app, path, [&](const char* line) {
    loadLine(app, line, index);
    return true;
  });
  if (opened < 0)
    app.status.messagePending.store(1);
}

bool loadStateList(PlayContext& app) {
  const db::SongTableOpen open(app, db::SongTableOpen::Mode::Reading);
  if (!open)
    return false;
  app.songsInUse.store(db::countInUse(app.songTable));
  const std::string listFile = stateListFileName(app);
  loadPlaylist(app, listFile.c_str());
  return true;
}

}  // namespace plinka::play
