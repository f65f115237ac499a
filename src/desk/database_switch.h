// Pointing the player at another song table file ("ChangeDB") or at a new one
// ("NewDB"), as the Database window asks. Both ask for the file first, with
// nothing held, then take exclusive use of the list and the song table under
// the Database window's busy code for the switch itself, so no job has the
// old table open meanwhile and nothing waits for the user's answer.
//
// Both wait for exclusive use and ask through app.ui: the desktop program
// runs them on a job thread, never on the GUI thread.
#pragma once

#include <cstdint>

namespace plinka {
struct App;
}

namespace plinka::db {

// How long the switch waits for exclusive use.
constexpr uint32_t kDatabaseSwitchPatience = 10;

// "NewDB": the chooser's title, and what the Database window's status line
// says once a file was chosen.
constexpr char kNewDatabaseTitle[] = "New Database (a file that is there already is used as it is)";
constexpr char kNewDatabaseCreated[] = "New database created";
constexpr char kNewDatabaseKept[] = "The file was there already: it is used as it is";
constexpr char kNewDatabaseFailed[] = "The new database could not be created";

enum class SwitchOutcome {
  NotGranted,    // another job kept the song table: nothing happened
  Cancelled,     // the file dialog was cancelled (or named a path too long to keep)
  Switched,      // databasePath names the chosen, existing table
  Created,       // a new, empty song table was made at the chosen path
  CreateFailed,  // nothing could be made there; databasePath names it anyway
};

// "ChangeDB": the open-file dialog with the database filter, starting at
// databasePath. A chosen file becomes databasePath, shown in the Database
// window's detail line; the list is no longer wanted (buildState 0) and the
// local copy is refreshed at the next open. Unless access was refused, the
// settings are saved, the main window repainted and the status refreshed.
SwitchOutcome changeDatabase(App& app);

// "NewDB": a save-style chooser with the database filter that never offers
// to replace a file. Where no file is at the chosen path a new, empty song
// table is made there; a file already there is used as it is, never
// replaced; the window's status line says which. Otherwise as
// changeDatabase.
SwitchOutcome newDatabase(App& app);

}  // namespace plinka::db
