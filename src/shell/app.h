// The App context: all long-lived state of one player, gathered in one place.
// main() creates one; each test creates a fresh one, so two engines can run in
// one process. Areas add their runtime state here as plain members.
#pragma once

#include "db/table.h"
#include "platform/clock.h"
#include "play/upcoming_list.h"
#include "shell/settings_record.h"
#include "shell/ui.h"

#include <string>

namespace plinka {

struct Folders {
  std::string program;  // folder of the program file, ending in '/'
  std::string data;     // folder of every data file, ending in '/'
};

struct App {
  // Written by start-up and the option windows (GUI thread); read by all.
  SettingsRecord settings{};
  // Set once at start-up, read by all.
  Folders folders;
  // The front end; set once before any thread starts.
  Ui* ui = nullptr;
  platform::Clock clock;

  // The song table and the buffer index table. Used only by the holder of the
  // busy code (see the run state), never by two threads at once.
  db::TableHandle songTable;
  db::TableHandle bufferIndexTable;

  // The upcoming list (internally locked).
  play::UpcomingList list;

  // Set by "Quit but do not save playlist": the list file is left as it is.
  // Written by the GUI thread, read when settings are saved.
  bool listDoNotSave = false;
};

} // namespace plinka
