// The deferred edit queue: record changes (Auto Rate's Scores, new IDs) kept
// in memory and written in one batch later by the cache writer, which holds
// the database exclusively. An edit whose record has meanwhile been given to
// another song (another ID) is dropped.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace plinka {
struct LibraryContext;
}

namespace plinka::library {

// Room in the queue; further edits are dropped.
constexpr int32_t kEditQueueRoom = 200;
// The edit that brings the queue to this many starts the writer (when no list
// is being built).
constexpr int32_t kEditsStartingWriter = 151;
// The background worker runs the writer when more than this many wait.
constexpr int32_t kEditsForWorker = 50;
// The file in the data folder that keeps the edits a run could not write
// for the next start.
constexpr char kKeptEditsFileName[] = "QueuedEdits.dat";
// Busy code and patience of the writer's requests for exclusive access.
constexpr uint32_t kCacheWriterPatience = 20;

// One queued change, in the order the queue keeps its words.
struct QueuedEdit {
  uint32_t identity = 0;       // the song's ID when queued (0: it had none yet)
  uint32_t record = 0;         // slot of the record in the song table
  uint32_t field = 0;          // field to change
  uint32_t newValue = 0;       // number to write
  uint32_t expectedValue = 0;  // what the producer saw; carried, never tested
};

struct EditQueue {
  // The entries, newest first; allocated zero-filled by the first edit and
  // freed by a writer run that empties the queue. Guarded by `lock`.
  std::unique_ptr<QueuedEdit[]> entries;
  // Entries in use, -1 while no array exists. Written under `lock` by
  // enqueuers and the writer; read by anyone (the background worker, the end
  // of the run, the popup menu and the Internals window). The settings
  // file's localBufferCount is taken from it when the settings are saved.
  std::atomic<int32_t> count{-1};
  // Queue lock, taken by exchange. Taken by enqueuers and the writer.
  std::atomic<uint32_t> lock{0};
  // Set by an enqueuer that found the lock taken; cleared by the writer,
  // which stops applying entries as soon as it sees it set. Read by both.
  std::atomic<uint32_t> waiter{0};
  // 1 once this run has taken the kept-edits file's edits into the queue:
  // from then on the file is rewritten with what is still unwritten after
  // every writer pass that reached the song table, and removed once nothing
  // is left, so a crash neither loses a kept edit nor writes one again over
  // a newer value. Set by the start-up's restore; read and cleared by the
  // writer.
  std::atomic<uint32_t> keptFileFollows{0};
  // The cache writer: running flag and the step it is at (diagnostics only).
  // Written by the writer; read by the background worker, the commands and
  // the status texts.
  std::atomic<uint32_t> writerRunning{0};
  std::atomic<uint32_t> writerStep{0};
};

// Queues a change of `field` of record `record` to `newValue`; `id` is the
// song's ID when the change was made. Dropped when the queue is full.
void enqueueEdit(LibraryContext& app, uint32_t record, uint32_t field, uint32_t newValue, uint32_t oldValue,
                 uint32_t id);

// Edits waiting, -1 when no queue exists.
int32_t editsWaiting(const LibraryContext& app);

// Starts the writer on a thread of its own, unless one is running.
void startCacheWriter(LibraryContext& app);

// One writer run on the calling thread: writes the queued edits under busy
// BusyCode::CacheWriter until the queue is empty, offline mode is set or the
// run is asked to stop. Returns at once when a writer is already running.
void runCacheWriter(LibraryContext& app);

// The end of the run: waits for a writer that is still running to give up,
// then writes what is queued without asking for exclusive access (no other
// job runs any more). Edits it cannot write (the database is offline or
// does not open) are kept for the next start. Does not end the run itself.
void writeCachedEditsAtExit(LibraryContext& app);

// Writes the edits still queued to the kept-edits file in the data folder
// (under a temporary name, renamed over the old file), or removes that file
// when none wait. False when they could not be kept.
bool keepEditsForNextRun(LibraryContext& app);

// Puts the edits a previous run kept back into the queue, in their order;
// they are written like any other queued edit. The file stays until they
// are written (see EditQueue::keptFileFollows). Taken once per run: the
// number of edits restored, 0 on a second call.
int32_t restoreKeptEdits(LibraryContext& app);

// Puts the writer into the background worker's and the end of the run's
// hooks.
void installEditQueue(LibraryContext& app);

}  // namespace plinka::library
