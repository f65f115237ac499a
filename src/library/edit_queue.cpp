#include "library/edit_queue.h"

#include "core/exclusive_access.h"
#include "db/copies.h"
#include "db/song_table_open.h"
#include "db/table.h"
#include "library/library_context.h"
#include "platform/files.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace plinka::library {

namespace {

// Sleeps of the queue's two sides.
constexpr uint32_t kEnqueueWaitMs = 1000;
constexpr uint32_t kWriterBackOffMs = 10000;
constexpr uint32_t kRefusedWaitMs = 30000;
constexpr uint32_t kLockRetryMs = 1;
constexpr uint32_t kExitWaitMs = 100;

// Steps of a writer run, shown in diagnostics.
constexpr uint32_t kStepStarted = 10;
constexpr uint32_t kStepBackingOff = 21;
constexpr uint32_t kStepRequesting = 22;
constexpr uint32_t kStepWriting = 23;
constexpr uint32_t kStepReleasing = 24;
constexpr uint32_t kStepFreeing = 30;
constexpr uint32_t kStepDone = 40;

// The kept-edits file: this magic, then each entry as five little-endian
// words in the order of QueuedEdit, the oldest first.
constexpr char kKeptEditsMagic[] = "PLEDITS1";
constexpr size_t kKeptEditsMagicSize = 8;
constexpr size_t kKeptEntrySize = 5 * sizeof(uint32_t);

std::string keptEditsPath(const LibraryContext& app) {
  if (app.folders.data.empty())
    return {};
  return app.folders.data + kKeptEditsFileName;
}

void putWord(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

uint32_t wordAt(const std::string& in, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = (v << 8) | static_cast<uint8_t>(in[at + static_cast<size_t>(i)]);
  return v;
}

bool isOffline(uint32_t build) { return build >= kOfflineFirst && build <= kOfflineLocked; }

// An enqueuer that finds the lock taken says so through the waiter flag and
// sleeps until the writer has noticed (it clears the flag) or the lock is
// free again (its holder was another enqueuer). False when the App ends
// meanwhile.
bool lockAsEnqueuer(LibraryContext& app) {
  EditQueue& queue = app.editQueue;
  while (queue.lock.exchange(1) != 0) {
    queue.waiter.store(1);
    while (queue.waiter.load() != 0 && queue.lock.load() != 0) {
      if (!napMs(app, kEnqueueWaitMs))
        return false;
    }
  }
  return true;
}

// The writer's side holds the lock only for moments (an enqueuer shifts at
// most 200 entries), so it just tries again.
bool lockAsWriter(LibraryContext& app) {
  while (app.editQueue.lock.exchange(1) != 0) {
    if (!napMs(app, kLockRetryMs))
      return false;
  }
  return true;
}

void unlock(LibraryContext& app) { app.editQueue.lock.store(0); }

bool quitting(const LibraryContext& app) { return isClosingCode(app.run.commandSlot.load()); }

// A written ID edit leaves the record's song the same but changes the
// identity it answers to: the edits queued for it after that one still carry
// the identity the song had, and would otherwise be taken for edits of
// another song and dropped (a new Score queued before the song's first ID
// was written). They follow the song to its new identity. `applied` is the
// written entry's place; the newer entries lie in front of it.
void followNewIdentity(EditQueue& queue, int32_t applied, const QueuedEdit& edit) {
  for (int32_t i = 0; i < applied; ++i) {
    QueuedEdit& newer = queue.entries[static_cast<size_t>(i)];
    if (newer.record == edit.record && newer.identity == edit.identity)
      newer.identity = edit.newValue;
  }
}

// Applies queued edits from the oldest, under the queue lock. An edit is
// written only while its record still holds the song it was made for. Every
// entry taken out of the queue goes into `taken`, oldest first.
void applyEdits(LibraryContext& app, bool leaving, std::vector<QueuedEdit>& taken) {
  if (!lockAsWriter(app))
    return;
  EditQueue& queue = app.editQueue;
  db::TableHandle& table = app.songTable;
  for (;;) {
    const int32_t count = queue.count.load();
    if (count <= 0 || queue.waiter.load() != 0 || app.run.stopRequest.load() != 0 || (!leaving && quitting(app)))
      break;
    const QueuedEdit edit = queue.entries[static_cast<size_t>(count - 1)];
    const bool numberField =
        edit.field >= 1 && edit.field <= table.fieldCount && db::isNumberType(table.fields[edit.field - 1].type);
    if (numberField && db::readField(table, edit.record, db::ID) >= 0 && table.value == edit.identity) {
      table.value = edit.newValue;
      db::writeField(table, edit.record, edit.field);
      if (edit.field == db::ID && edit.newValue != edit.identity)
        followNewIdentity(queue, count - 1, edit);
    }
    taken.push_back(edit);
    queue.count.store(count - 1);
  }
  unlock(app);
}

// Puts the entries a writer pass took back at the old end of the queue, in
// their order: the pass's changes never reached the song table's own file
// (the push to the share failed), and the next refresh of the local copy
// drops them. Entries the queue has no more room for are dropped, as a full
// queue drops new edits.
void putBack(LibraryContext& app, const std::vector<QueuedEdit>& taken) {
  if (taken.empty() || !lockAsWriter(app))
    return;
  EditQueue& queue = app.editQueue;
  if (!queue.entries) {
    queue.entries = std::make_unique<QueuedEdit[]>(kEditQueueRoom);
    queue.count.store(0);
  }
  int32_t count = queue.count.load();
  // The newest of them goes in first, just behind the entries queued since.
  for (auto edit = taken.rbegin(); edit != taken.rend() && count < kEditQueueRoom; ++edit)
    queue.entries[static_cast<size_t>(count++)] = *edit;
  queue.count.store(count);
  unlock(app);
}

// After a pass reached the song table: the kept-edits file, while it follows
// the queue, is brought down to what is still unwritten.
void followKeptFile(LibraryContext& app) {
  EditQueue& queue = app.editQueue;
  if (queue.keptFileFollows.load() == 0)
    return;
  if (keepEditsForNextRun(app) && queue.count.load() <= 0)
    queue.keptFileFollows.store(0);
}

// An emptied queue gives its array back, unless an enqueuer is about to add
// to it.
void freeIfEmpty(LibraryContext& app) {
  if (!lockAsWriter(app))
    return;
  EditQueue& queue = app.editQueue;
  if (queue.count.load() == 0 && queue.waiter.load() == 0) {
    queue.entries.reset();
    queue.count.store(-1);
  }
  unlock(app);
}

}  // namespace

void enqueueEdit(LibraryContext& app, uint32_t record, uint32_t field, uint32_t newValue, uint32_t oldValue,
                 uint32_t id) {
  EditQueue& queue = app.editQueue;
  if (!lockAsEnqueuer(app))
    return;
  if (!queue.entries) {
    queue.entries = std::make_unique<QueuedEdit[]>(kEditQueueRoom);
    queue.count.store(0);
  }
  const int32_t count = queue.count.load();
  bool startWriter = false;
  if (count < kEditQueueRoom) {
    std::memmove(&queue.entries[1], &queue.entries[0], static_cast<size_t>(count) * sizeof(QueuedEdit));
    queue.entries[0] = QueuedEdit{id, record, field, newValue, oldValue};
    queue.count.store(count + 1);
    startWriter = count + 1 >= kEditsStartingWriter && app.editQueue.writerRunning.load() == 0 &&
                  app.run.buildState.load() == kBuildIdle;
  }
  unlock(app);
  if (startWriter)
    startCacheWriter(app);
}

int32_t editsWaiting(const LibraryContext& app) { return app.editQueue.count.load(); }

void startCacheWriter(LibraryContext& app) {
  if (app.editQueue.writerRunning.load() != 0)
    return;
  app.jobThreads.start([&app] { runCacheWriter(app); });
}

void runCacheWriter(LibraryContext& app) {
  RunState& run = app.run;
  EditQueue& queue = app.editQueue;
  if (app.editQueue.writerRunning.exchange(1) != 0)
    return;
  app.editQueue.writerStep.store(kStepStarted);
  noticeStatusChanged(app);
  // At the end of the run no other job is left and exclusive access is no
  // longer granted: the writer then writes without it.
  const bool leaving = run.commandSlot.load() == kLeavingCode;

  for (;;) {
    app.editQueue.writerStep.store(kStepBackingOff);
    bool ending = false;
    while (queue.lock.load() != 0 || queue.waiter.load() != 0) {
      queue.waiter.store(0);
      if (!napMs(app, kWriterBackOffMs)) {
        ending = true;
        break;
      }
    }
    if (ending)
      break;

    app.editQueue.writerStep.store(kStepRequesting);
    std::optional<ExclusiveAccess> access(std::in_place, app, BusyCode::CacheWriter, kCacheWriterPatience);
    const bool granted = access->held();
    bool wait = false;
    bool giveUp = false;
    if (!granted && !leaving) {
      // Once the run is closing, the end of the run writes what is left.
      giveUp = quitting(app);
      wait = true;
    } else {
      app.editQueue.writerStep.store(kStepWriting);
      if (db::SongTableOpen open(app, db::SongTableOpen::Mode::Writing); open) {
        std::vector<QueuedEdit> taken;
        applyEdits(app, leaving, taken);
        if (open.close()) {
          followKeptFile(app);
        } else {
          // Written into a local copy that never reached the share: the
          // edits wait for another pass (at the end of the run, for the
          // next start).
          putBack(app, taken);
          giveUp = leaving;
          wait = true;
        }
      } else if (leaving) {
        // Nothing can be written, and the run must still end.
        giveUp = true;
      } else {
        // Not offline (that ends the run below), but the table does not
        // open: try again after a while rather than at once.
        wait = true;
      }
    }
    app.editQueue.writerStep.store(kStepReleasing);
    access.reset();

    if (giveUp || queue.count.load() <= 0 || run.stopRequest.load() != 0 || isOffline(run.buildState.load()) ||
        (!leaving && quitting(app)))
      break;
    if (wait && !napMs(app, kRefusedWaitMs))
      break;
  }

  app.editQueue.writerStep.store(kStepFreeing);
  freeIfEmpty(app);
  app.editQueue.writerStep.store(kStepDone);
  app.editQueue.writerRunning.store(0);
  noticeStatusChanged(app);
}

void writeCachedEditsAtExit(LibraryContext& app) {
  // A writer that is still running gives way soon, as the run is closing.
  while (app.editQueue.writerRunning.load() != 0) {
    if (!napMs(app, kExitWaitMs))
      break;
  }
  if (app.editQueue.writerRunning.load() == 0)
    runCacheWriter(app);
  // What could not be written (offline, or the table would not open) waits
  // in a file for the next start rather than ending with the run.
  keepEditsForNextRun(app);
}

bool keepEditsForNextRun(LibraryContext& app) {
  const std::string path = keptEditsPath(app);
  if (path.empty() || !lockAsWriter(app))
    return false;
  EditQueue& queue = app.editQueue;
  const int32_t count = queue.count.load();
  std::string bytes;
  if (count > 0) {
    bytes.assign(kKeptEditsMagic, kKeptEditsMagicSize);
    for (int32_t i = count - 1; i >= 0; --i) {
      const QueuedEdit& e = queue.entries[static_cast<size_t>(i)];
      for (uint32_t word : {e.identity, e.record, e.field, e.newValue, e.expectedValue})
        putWord(bytes, word);
    }
  }
  unlock(app);
  if (count <= 0)
    return !platform::fileExists(path) || platform::removeFile(path);
  return platform::replaceFile(path, bytes.data(), bytes.size());
}

int32_t restoreKeptEdits(LibraryContext& app) {
  const std::string path = keptEditsPath(app);
  std::string bytes;
  if (app.editQueue.keptFileFollows.load() != 0 || path.empty() || !platform::readWholeFile(path, bytes))
    return 0;
  int32_t restored = 0;
  EditQueue& queue = app.editQueue;
  if (bytes.size() >= kKeptEditsMagicSize && bytes.compare(0, kKeptEditsMagicSize, kKeptEditsMagic) == 0 &&
      lockAsWriter(app)) {
    // Put back in one go under the lock, so no writer sees (and rewrites
    // the file from) a queue that holds only part of the file. The file
    // stays until its edits are written, and follows the queue from now on.
    queue.keptFileFollows.store(1);
    if (!queue.entries) {
      queue.entries = std::make_unique<QueuedEdit[]>(kEditQueueRoom);
      queue.count.store(0);
    }
    int32_t count = queue.count.load();
    // Oldest first, each put in front, so the order of writing is kept; a
    // damaged tail (not a whole entry) is left out.
    for (size_t at = kKeptEditsMagicSize; at + kKeptEntrySize <= bytes.size() && count < kEditQueueRoom;
         at += kKeptEntrySize) {
      std::memmove(&queue.entries[1], &queue.entries[0], static_cast<size_t>(count) * sizeof(QueuedEdit));
      queue.entries[0] = QueuedEdit{wordAt(bytes, at), wordAt(bytes, at + 4), wordAt(bytes, at + 8),
                                    wordAt(bytes, at + 12), wordAt(bytes, at + 16)};
      ++count;
      ++restored;
    }
    queue.count.store(count);
    unlock(app);
  }
  // A file that holds no edits goes.
  if (restored == 0) {
    queue.keptFileFollows.store(0);
    platform::removeFile(path);
  }
  return restored;
}

void installEditQueue(LibraryContext& app) {
  app.hooks.cacheWriter = [&app] { runCacheWriter(app); };
  app.hooks.writeCachedEditsAtExit = [&app] { writeCachedEditsAtExit(app); };
}

}  // namespace plinka::library
