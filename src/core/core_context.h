// What every layer of one player shares: the settings, the folders, the
// front end, the clock, the run state with its command slot and busy code,
// the background jobs' hooks, the prompts and the status message.
// Each higher layer's context adds its own state on top of this one
// (db, library, play), and the App at the top adds the wiring; a function
// takes the lowest context that holds what it uses.
#pragma once

#include "core/job_threads.h"
#include "core/jobs.h"
#include "core/prompt.h"
#include "core/random_source.h"
#include "core/run_state.h"
#include "core/settings_record.h"
#include "core/settings_shared.h"
#include "core/status_message.h"
#include "core/window_state.h"
#include "platform/clock.h"
#include "platform/power.h"

#include <array>
#include <string>

namespace plinka {

class FrontEnd;

struct Folders {
  std::string program;  // folder of the program file, ending in '/'
  std::string data;     // folder of every data file, ending in '/'
  std::string cache;    // the buffer cache's folder (the user's cache folder + "plinka/"), ending in '/'; empty: none
};

struct CoreContext {
  // The settings record: the settings file's image. Which thread writes
  // which word is told in settings_record.h; the words threads share while
  // the program runs have atomic twins in `shared`, which are the values
  // then.
  SettingsRecord settings{};
  SharedSettings shared;
  // Set once at start-up, read by all.
  Folders folders;
  // The front end; set once before any thread starts.
  FrontEnd* ui = nullptr;
  platform::Clock clock;

  // The command slot, busy code, locks and the other shared run values.
  RunState run;
  // The hooks that start the background jobs.
  JobHooks hooks;
  // List commands, run by the list command processor. Filled before the
  // scheduler starts.
  std::array<CommandHandler, kCommandHandlerCount> commandHandlers{};
  // The one-shot status message and the status-changed notice.
  StatusState status;
  // The dialog-open flag and the last prompt result.
  PromptState prompts;
  // The main window's own flags (each member says who writes and reads it).
  MainWindowState mainWindow;
  // The random source's state (randomState of the settings record while the
  // program runs).
  RandomState random;

  // Powering off: the default only counts requests; main() points `power` at
  // a platform::SystemPowerControl. Set once before any thread starts.
  platform::RecordingPowerControl powerRecorder;
  platform::PowerControl* power = &powerRecorder;

  // The short-lived job threads; all are joined before the App ends.
  JobThreads jobThreads;

  CoreContext() = default;
  CoreContext(const CoreContext&) = delete;
  CoreContext& operator=(const CoreContext&) = delete;
};

}  // namespace plinka
