// The hooks through which the scheduler threads start the background jobs,
// and the list commands' handler type. Each job keeps its own flags and
// values in its owner's state (the cover's, the quick links', the buffer
// cache's...). An empty hook does nothing.
#pragma once

#include <cstdint>
#include <functional>

namespace plinka {

// Hooks the later areas fill before the scheduler starts.
struct JobHooks {
  // Started by the heartbeat while the player runs and no job is busy, at
  // most one per tick, called on the heartbeat thread. Each must return
  // quickly: set its job's running flag at once and start the job through
  // app.jobThreads.
  std::function<void()> startCoverLoader;
  std::function<void()> startQuickLinkBuilder;
  std::function<void()> startDetailsLoader;

  // Run on the background worker thread: a list build (buildState 1 or 10),
  // a buffering run, a run of the cache writer. They watch stopRequest and
  // app.run.appEnding and give way early.
  std::function<void()> buildList;
  std::function<void()> bufferingRun;
  std::function<void()> cacheWriter;
  // Starts the ID worker (on a thread of its own, through app.jobThreads).
  std::function<void()> startIdWorker;

  // The cached edits still waiting when the run ends: called on the heartbeat
  // thread after its loop, with the slot at the leaving code. The end of the
  // run (the ended code and WindowCommand::EndRun) follows it; the hook must
  // not do that itself.
  std::function<void()> writeCachedEditsAtExit;

  // Starts the shutdown timer (when the machine is set to switch off after a
  // build); called by the buffer cache once a list is built and copied.
  std::function<void()> startShutdownTimer;

  // Saves the settings file (its record and the State's list file); called
  // when a database switch has changed which table is in use.
  std::function<void()> saveSettings;
};

// Runs a hook when one is set.
inline void callHook(const std::function<void()>& hook) {
  if (hook)
    hook();
}

// A list command (1-19): runs on the processor thread with the busy code set
// to the command's code, and calls releaseExclusive as soon as it no longer
// needs the list or the song table.
using CommandHandler = std::function<void(uint32_t argument)>;

}  // namespace plinka
