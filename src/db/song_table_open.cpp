#include "db/song_table_open.h"

#include "db/copies.h"
#include "db/db_context.h"
#include "db/table_file.h"

namespace plinka::db {

SongTableOpen::SongTableOpen(DbContext& app, Mode mode) : app_(app), mode_(mode) {
  if (mode == Mode::Reading) {
    open_ = openSongTableForReading(app);
  } else {
    openSongTableForWriting(app);
    open_ = app.songTable.isOpen();
  }
}

bool SongTableOpen::close() {
  if (!open_)
    return true;
  open_ = false;
  if (mode_ == Mode::Writing)
    return closeSongTableAfterWriting(app_);
  closeTable(app_.songTable);
  return true;
}

}  // namespace plinka::db
