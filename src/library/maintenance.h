// The whole-table maintenance functions of the Database window: each asks for
// what it needs, asks for confirmation, then walks the song table and changes
// it, showing its progress in the window's status lines.
#pragma once

#include <cstdint>

namespace plinka {
struct App;
}

namespace plinka::library {

// The functions, numbered as the window's function list (dbWindowOption).
enum class MaintenanceFunction : uint32_t {
  SaveAsPlaylist = 0,
  RemoveDuplicates = 1,
  CopyRatings = 2,
  UpScore = 3,
  RemoveMissing = 4,
  ReloadSongData = 5,
  ReDefault = 6,
  UndeleteAll = 7,
  ResetStartPoints = 8,
  SortByName = 9,
  SortByArtist = 10,
};
constexpr uint32_t kMaintenanceFunctionCount = 11;

// The function list's entry text ("Save DB as Playlist" ...).
const char* maintenanceEntryText(MaintenanceFunction function);

// The maintenance worker's thread body: runs the function the settings'
// dbWindowOption names, asking its inputs and confirmation through app.ui.
void maintenanceWorker(App& app);

}  // namespace plinka::library
