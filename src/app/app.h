// The App context: all long-lived state of one player, gathered in one place.
// main() creates one; each test creates a fresh one, so two engines can run in
// one process. Areas add their runtime state here as plain members.
#pragma once

#include "app/scheduler.h"
#include "core/front_end.h"
#include "core/jobs.h"
#include "core/prompt.h"
#include "core/random_source.h"
#include "core/run_state.h"
#include "core/settings_record.h"
#include "core/settings_shared.h"
#include "core/window_state.h"
#include "db/copies.h"
#include "db/filename_index.h"
#include "db/table.h"
#include "desk/state_switch.h"
#include "desk/status_texts.h"
#include "library/cover_art.h"
#include "library/edit_queue.h"
#include "library/id_worker.h"
#include "library/tag_reader.h"
#include "platform/clock.h"
#include "platform/power.h"
#include "play/list_builder.h"
#include "play/player.h"
#include "play/quick_links.h"
#include "play/song_details.h"
#include "play/upcoming_list.h"

#include <array>
#include <atomic>
#include <string>

namespace plinka {

struct Folders {
  std::string program;  // folder of the program file, ending in '/'
  std::string data;     // folder of every data file, ending in '/'
  std::string cache;    // the buffer cache's folder (the user's cache folder + "plinka/"), ending in '/'; empty: none
};

struct App {
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

  // The song table and the buffer index table. Used only by the holder of the
  // busy code (see the run state), never by two threads at once.
  db::TableHandle songTable;
  db::TableHandle bufferIndexTable;
  // The song table's FileNames by hash, built by an import when it opens the
  // table and cleared when it closes it; written and read only by the thread
  // holding the import's busy code.
  db::FileNameIndex importIndex;
  // The local and network copies of the song table.
  db::CopiesState copies;

  // The upcoming list (internally locked).
  play::UpcomingList list;

  // The deferred edit queue. Written by its enqueuers (Auto Rate, the ID
  // worker) and the cache writer under the queue's own lock; its count is
  // read by anyone (see EditQueue).
  library::EditQueue editQueue;
  // The ID worker's checksum (set before threads start; read by the worker).
  // Its running flag is jobs.idWorkerRunning, its hash count shared.hashStat.
  library::IdWorkerState idWorker;

  // The tag reader's result buffers and busy flag (taken by exchange).
  library::TagReader tagReader;
  // The cover picture of the current song and what its search found.
  library::CoverState cover;
  // The quick-link lists (guarded by their own mutex, see QuickLinkState).
  play::QuickLinkState quickLinks;

  // Details of the song loaded last, the current song and the next song.
  play::DetailsState details;
  // The list builder's runtime state (each member says who writes and reads it).
  play::BuilderState builder;
  // 1: the State's list file is left as it is when the settings are saved
  // ("Quit but do not save playlist", and the command-line verbs that never
  // loaded the list). Written by those (GUI or main thread); read by the
  // save.
  std::atomic<uint32_t> listFileKept{0};
  // 1: the player plays details.playNowRecord next instead of the top row.
  // Written by "Play Now" and the player; read by the player.
  std::atomic<uint32_t> playNowFlag{0};
  // The player thread's state and its playback service (each member says
  // who writes and reads it).
  play::PlayerState player;

  // The command slot, busy code, locks and the other shared run values.
  RunState run;
  // Flags and values of the background jobs, and the hooks that start them.
  JobFlags jobs;
  JobHooks hooks;
  // List commands 1-19, run by the list command processor. Filled before the
  // scheduler starts.
  std::array<CommandHandler, kCommandHandlerCount> commandHandlers{};
  // The one-shot status message.
  StatusState status;
  // The dialog-open flag and the last prompt result.
  PromptState prompts;
  // The main window's own flags (each member says who writes and reads it).
  MainWindowState mainWindow;
  // The State choice waiting for the switcher (each member says who writes
  // and reads it).
  StateSwitchState stateSwitch;
  // The random source's state (randomState of the settings record while the
  // program runs).
  RandomState random;

  // Powering off: the default only counts requests; main() points `power` at
  // a platform::SystemPowerControl. Set once before any thread starts.
  platform::RecordingPowerControl powerRecorder;
  platform::PowerControl* power = &powerRecorder;

  // Threads; joined when the App ends, while everything above still exists.
  Scheduler scheduler;

  // The run state's listCount follows the upcoming list's length.
  App() { list.mirrorCountInto(&run.listCount); }
  App(const App&) = delete;
  App& operator=(const App&) = delete;
  ~App() { stopScheduler(*this); }
};

}  // namespace plinka
