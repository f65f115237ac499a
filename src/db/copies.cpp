#include "db/copies.h"

#include "db/table.h"
#include "shell/app.h"
#include "text/text.h"

namespace plinka::db {

namespace {

bool openAt(App& app, const char* path, bool writable) {
  TableHandle& table = app.songTable;
  text::copy(table.path, path);
  table.writable = writable ? 1 : 0;
  return openMapped(table);
}

}  // namespace

bool openSongTableForReading(App& app) { return openAt(app, app.settings.databasePath, false); }

void openSongTableForWriting(App& app) { openAt(app, app.settings.databasePath, true); }

void closeSongTableAfterWriting(App& app) { closeTable(app.songTable); }

}  // namespace plinka::db
