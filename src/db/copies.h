// Opening the song table. Outside network mode this is the song handle on
// databasePath. In network mode the song table lives on a share: reads come
// from a local copy that is refreshed now and then, and changes are made in
// the local copy under an exclusive lock on the network file and pushed back
// when done; when the share cannot be reached the database goes offline.
#pragma once

#include <cstdint>
#include <string>

namespace plinka {
struct App;
}

namespace plinka::db {

// Run-time state of the copies. Used only by the holder of the busy code.
struct CopiesState {
  // Read-opens since the local copy was last refreshed; 200 at start so the
  // first read-open refreshes.
  uint32_t localCopyRefreshCounter = 200;
  // data folder + "Local.cvf"
  std::string localPath;
};

// Opens the song handle read-only; true when it is open.
bool openSongTableForReading(App& app);
// Opens the song handle for writing; the caller tests app.songTable.isOpen().
void openSongTableForWriting(App& app);
// Closes the song handle after writing (and, in network mode, pushes the
// local copy back to the share).
void closeSongTableAfterWriting(App& app);

}  // namespace plinka::db
