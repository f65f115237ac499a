// The database work of the Song details window. A button only sets the window's
// pending action; the work is done later under exclusive use of the song table
// (BusyCode::SongEdit), off the GUI thread, and its outcome handed back for the
// window to show. Also "play next", which puts a song at the top of the
// upcoming list under BusyCode::SongRating.
#pragma once

#include "desk/details_form.h"

#include <cstdint>
#include <optional>
#include <string>

namespace plinka {
struct App;
}

namespace plinka {

// The window's pending action (app.mainWindow.detailsPendingAction).
enum class DetailsAction : uint32_t {
  Closed = 0,        // the window is not open
  Idle = 3,          // nothing pending
  Load = 4,          // load the record shown in "DB Idx"
  Previous = 5,      // the record in use before it (the last after the first)
  Next = 6,          // the record in use after it (the first after the last)
  SaveAndClose = 7,  // save, then close the window
  LoadId = 8,        // read the file's tag into the record, then load it
  FindMore = 9,      // the next match of the last search text after it
  Find = 10,         // the first match of the search text after slot 0
  Save = 11,         // save and stay
  Delete = 12,       // delete the record, then show a neighbour
};

constexpr uint32_t actionValue(DetailsAction action) { return static_cast<uint32_t>(action); }

// Actions that change the song table.
constexpr bool isWritingAction(DetailsAction action) {
  return action == DetailsAction::SaveAndClose || action == DetailsAction::LoadId || action == DetailsAction::Save ||
         action == DetailsAction::Delete;
}

// Patience of the window's requests for exclusive use.
constexpr uint32_t kDetailsPatience = 10;
// The window retries a request that was not granted this often.
constexpr uint32_t kDetailsRetryMs = 100;
// The longest search text, in bytes.
constexpr size_t kSearchTextMax = 599;

// What the window asks for.
struct DetailsRequest {
  DetailsAction action = DetailsAction::Load;
  // "DB Idx" as shown: the record's slot + 1; 0 when no record is shown.
  uint32_t dbIdx = 0;
  // The form as the user left it (saved by the saving actions).
  DetailsForm form;
  // The FileName the shown record held when it was loaded; a save goes
  // ahead only while the slot still holds that song.
  std::string loadedFileName;
  // The text Find and Find More look for.
  std::string searchText;
};

// What the window must say after an action.
enum class DetailsNotice {
  None,
  Offline,   // "Database is currently Offline."; nothing was written
  NoMatch,   // "No matches found"
  NotSaved,  // the slot no longer holds the song shown; nothing was written
  NoSong,    // the slot shown holds no song (a free slot); nothing was written
};

struct DetailsOutcome {
  // True when `form` and `dbIdx` hold a record read now; otherwise the
  // window keeps what it shows (and any edits in it).
  bool loaded = false;
  uint32_t dbIdx = 0;
  DetailsForm form;
  // Slots of the song table (0 when it did not open).
  uint32_t slotCount = 0;
  DetailsNotice notice = DetailsNotice::None;
  // The window closes: saved with "Close", or a delete left nothing to show.
  bool closeWindow = false;
  // Something was written to the song table.
  bool written = false;
};

// Carries out one action with exclusive use already held under
// BusyCode::SongEdit: opens the song table (for writing for the writing
// actions, unless the database is offline), does the work, reads the record to
// show and closes the table again (pushing it back after writing).
DetailsOutcome runDetailsAction(App& app, const DetailsRequest& request);

// Asks for exclusive use under BusyCode::SongEdit and, when it is granted, runs
// the action and gives the use back. Nothing when it was not granted: the
// window asks again later. Blocks while it waits, so never on the GUI thread.
std::optional<DetailsOutcome> tryDetailsAction(App& app, const DetailsRequest& request);

}  // namespace plinka
