#include "play/song_details.h"

#include "db/table.h"
#include "library/media_types.h"
#include "shell/app.h"
#include "text/text.h"

#include <cstring>

namespace plinka::play {

namespace {

uint32_t readNumber(db::TableHandle& table, uint32_t slot, uint32_t field) {
  return db::readField(table, slot, field) >= 0 ? table.value : 0;
}

void readText(db::TableHandle& table, uint32_t slot, uint32_t field, char* out, size_t cap) {
  if (db::readField(table, slot, field) >= 0)
    text::copy(out, cap, table.text);
}

}  // namespace

void loadSongDetails(App& app, uint32_t slot, uint32_t user) {
  db::TableHandle& table = app.songTable;
  // A caller may be in the middle of using the text buffer: keep it.
  char kept[sizeof table.text];
  std::memcpy(kept, table.text, sizeof kept);

  SongDetails& d = app.details.loaded;
  d.score = readNumber(table, slot, db::scoreField(user));
  d.target = readNumber(table, slot, db::targetField(user));
  readText(table, slot, db::Name, d.title, sizeof d.title);
  readText(table, slot, db::Artist, d.artist, sizeof d.artist);
  readText(table, slot, db::Album, d.album, sizeof d.album);
  readText(table, slot, db::Comment, d.comment, sizeof d.comment);
  d.id = readNumber(table, slot, db::ID);
  d.startPoint = readNumber(table, slot, db::StartPoint);
  d.endPoint = readNumber(table, slot, db::EndPoint);

  std::memcpy(table.text, kept, sizeof kept);
}

void readRowFileName(const App& app, size_t row, char* out, size_t cap) {
  text::copy(out, cap, app.list.text(row, FileName).c_str());
}

void putListRow(App& app, size_t row, const char* fileName, const SongDetails& details) {
  ListRow r;
  r.column[Title] = details.title;
  r.column[Artist] = details.artist;
  r.column[Album] = details.album;
  r.column[FileName] = fileName;
  r.column[Type] = library::isVideo(library::mediaType(app.settings, fileName)) ? "Video" : "Audio";
  app.list.insert(row, r);
}

}  // namespace plinka::play
