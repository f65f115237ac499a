// What the scheduler threads need to know about the background jobs, and the
// hooks through which they start them. Each job owns its flags and values;
// the heartbeat, the background worker and the status texts only read them
// (except where a comment says otherwise). An empty hook does nothing.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace plinka {

// Buffer cache stages.
constexpr uint32_t kBufferError = 0;
constexpr uint32_t kBufferGaveUp = 1;
constexpr uint32_t kBuffered = 10;
constexpr uint32_t kPartlyBuffered = 11;
constexpr uint32_t kUnbuffered = 12;
constexpr uint32_t kBuffering = 50;

// Media type codes from this value on are video.
constexpr uint32_t kFirstVideoType = 16;

struct JobFlags {
  // List builder. buildBusy is 1 while a build pass runs, buildRetries counts
  // its retries. Written by the builder; read by the status texts.
  std::atomic<uint32_t> buildBusy{0};
  std::atomic<uint32_t> buildRetries{0};
  // 1 while the list builder leaves the list alone because the song table
  // holds too few songs to choose from. Written by the build pass; read by
  // the status texts, which say so instead of "Plinka Ready".
  std::atomic<uint32_t> tooFewSongs{0};

  // Buffer cache. The stage (kBufferError ... kBuffering) is written by the
  // buffer cache and by the status texts (a notice shown, a stage settled);
  // read by the background worker and the status texts.
  std::atomic<uint32_t> bufferStage{kBufferError};
  // 1 while a buffering run goes on: taken with an exchange at the start of
  // a run and cleared at its end (by the run's thread, the background worker
  // or a job thread), so two runs never overlap.
  std::atomic<uint32_t> bufferRunning{0};
  // 1 from start-up, when the cache was opened then, until the first
  // buffering run after it ends. Set by the start-up (main thread, before
  // the run's thread starts); taken by exchange by the run that ends. That
  // run starts the ID worker and never the shutdown after a build: the
  // list it copied was loaded, not built.
  std::atomic<uint32_t> startUpBuffering{0};
  // Serialises the buffer cache's uses of its index table: a run, and the
  // opening or emptying of the cache (Options thread, start-up).
  std::mutex bufferCacheLock;
  // 1 while the ID worker runs. Written by the ID worker; read by the
  // heartbeat, the background worker and the status texts.
  std::atomic<uint32_t> idWorkerRunning{0};

  // Cache writer of the deferred edit queue: running flag and the step it is
  // at (diagnostics only). Written by the writer; read by the worker and the
  // status texts.
  std::atomic<uint32_t> cacheWriterRunning{0};
  std::atomic<uint32_t> cacheWriterStep{0};

  // Options window: 3 while it applies a change, else 0. Written by the
  // Options window; read by the status texts.
  std::atomic<uint32_t> optionsSaveStep{0};

  // Songs in use in the song table, kept by whoever opens or changes it (the
  // status texts must not open the table themselves). Read by the status
  // texts.
  std::atomic<uint32_t> songsInUse{0};

  // Cover loader: picture ready, loader running, failures so far. Written by
  // the cover loader and the commands that change the picture; read by the
  // heartbeat.
  std::atomic<uint32_t> coverReady{0};
  std::atomic<uint32_t> coverLoading{0};
  std::atomic<uint32_t> coverFailures{0};

  // Quick-link builder: lists ready, builder running. Written by the builder
  // and the commands that change the lists; read by the heartbeat.
  std::atomic<uint32_t> quickLinksReady{0};
  std::atomic<uint32_t> quickLinkBusy{0};

  // Details loader: next song's details ready, loader running. Written by the
  // loader and the player; read by the heartbeat.
  std::atomic<uint32_t> nextDetailsReady{0};
  std::atomic<uint32_t> detailsLoaderBusy{0};

  // Player: the current play position, the one seen a tick earlier (copied by
  // the heartbeat, so the player can notice a stalled song), and the media
  // type of the current song. Written by the player (previous position: the
  // heartbeat); read by the player and the heartbeat.
  std::atomic<uint32_t> playPosition{0};
  std::atomic<uint32_t> previousPlayPosition{0};
  std::atomic<uint32_t> currentMediaType{0};

  // 1 while the search window is open. Written by the search window; read by
  // the heartbeat's early release.
  std::atomic<uint32_t> searchWindowRunning{0};
  // Song details window's pending action, 0 when the window is closed.
  // Written by that window; read by the heartbeat's early release.
  std::atomic<uint32_t> detailsPendingAction{0};

  // 1 while the shutdown prompt is up. Taken by exchange by the shutdown
  // timer's starter, cleared by the timer thread.
  std::atomic<uint32_t> shutdownTimerRunning{0};
};

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
