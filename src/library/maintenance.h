// The whole-table maintenance functions of the Database window: each asks for
// what it needs, asks for confirmation, then walks the song table and changes
// it, showing its progress in the window's status lines.
//
// Two ways in: the worker asks its inputs and the confirmation through
// app.ui; runMaintenance takes the inputs as given and asks nothing (the
// command line, where the command itself is the confirmation). Both run the
// same passes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plinka {
struct LibraryContext;
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

// The patience the worker asks for BusyCode::Maintenance with.
constexpr uint32_t kMaintenancePatience = 2;

// The record walks hand their progress to the front end (status lines and
// counts) after this many records, and once more at the end. Walks that open
// a file per record (Remove Missing files, Reload Song Data) report more
// often.
constexpr uint32_t kMaintenanceProgressEvery = 256;
constexpr uint32_t kMaintenanceFileProgressEvery = 32;

// The texts of the Database window's status lines the functions leave.
constexpr const char kMaintenanceFinished[] = "Finished";
constexpr const char kMaintenanceTableNotOpened[] = "Database could not be opened";
constexpr const char kMaintenancePlaylistNotWritten[] = "Playlist could not be written";
constexpr const char kMaintenanceTableNotWritten[] = "Database could not be written";
// The confirmation's buttons.
constexpr const char kMaintenanceRunCaption[] = "Yes, please run function";
constexpr const char kMaintenanceAbortCaption[] = "No, abort function";
// ReDefault's question for its start number.
constexpr const char kMaintenanceStartFrom[] = "Start From";

// The function list's entry text ("Save DB as Playlist" ...).
const char* maintenanceEntryText(MaintenanceFunction function);

// What the function does to the records it counts as changed, as the
// Database window's counts line names it ("removed", "restored"...); empty
// for the sorts, which count no record of their own.
const char* maintenanceDoneWord(MaintenanceFunction function);

// What a function needs; the others ignore it.
struct MaintenanceInputs {
  std::string playlistPath;  // Save DB as Playlist: the file to write
  uint32_t sourceUser = 0;   // Copy Ratings: the user copied from; UpScore Songs: the user (1-10)
  uint32_t targetUser = 0;   // Copy Ratings: the user copied to (1-10, not the source)
  uint32_t startNumber = 0;  // ReDefault Songs: the first record in use changed, from 1;
                             // beyond the records in use means the last one
};

// Reads a number typed by the user: decimal digits, spaces around them
// allowed, held at the largest number when it has too many digits. False for
// an empty text or anything but digits.
bool readMaintenanceNumber(std::string_view text, uint32_t& number);

// True when the inputs let the function run: users 1-10 (two different ones
// for Copy Ratings), a start number of at least 1, a playlist path.
bool maintenanceInputsValid(MaintenanceFunction function, const MaintenanceInputs& inputs);

// The text the confirmation asks and status line 1 shows while the function
// runs ("Copy Ratings from 3 to 4" ...).
std::string maintenanceText(MaintenanceFunction function, const MaintenanceInputs& inputs);

enum class MaintenanceOutcome {
  NotStarted,          // offline, or BusyCode::Maintenance not granted: nothing changed or shown
  Cancelled,           // an input or the confirmation was cancelled, or the inputs
                       // were not valid: nothing changed
  TableNotOpened,      // the song table could not be opened for writing
  PlaylistNotWritten,  // Save DB as Playlist: the file could not be written
  TableNotWritten,     // the function ran, but its changes could not be synced to
                       // the disk (a failing or full medium): not "Finished"
  Finished,            // the function ran, to the end or to a stop
};

struct MaintenanceResult {
  MaintenanceOutcome outcome = MaintenanceOutcome::NotStarted;
  uint32_t looked = 0;   // records (Undelete All: slots) looked at
  uint32_t changed = 0;  // records changed (or, for Save, written)
  uint32_t skipped = 0;  // Reload Song Data: records whose file could not be read
  bool stopped = false;  // ended early on stopRequest (or the loss of BusyCode::Maintenance)
  // The texts the two status lines were left with (empty when untouched).
  std::string statusLine;
  std::string detailLine;
};

// Runs a function without asking anything: takes BusyCode::Maintenance
// (patience 2), and, when the inputs are valid, opens the song table for
// writing, runs the function, closes it after writing and leaves "Finished" and
// databasePath in the status lines. A run that started sets
// localCopyRefreshCounter to 100 at its end. Stops early on stopRequest, after
// the record in hand.
MaintenanceResult runMaintenance(LibraryContext& app, MaintenanceFunction function, const MaintenanceInputs& inputs);

// The maintenance worker's thread body: runs the function the settings'
// dbWindowOption names, asking its inputs and confirmation through app.ui.
void maintenanceWorker(LibraryContext& app);

}  // namespace plinka::library
