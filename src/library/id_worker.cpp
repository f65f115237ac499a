#include "library/id_worker.h"

#include "core/exclusive_access.h"
#include "core/random_source.h"
#include "db/capacity.h"
#include "db/song_table_open.h"
#include "db/table.h"
#include "library/buffer_cache.h"
#include "library/edit_queue.h"
#include "library/file_checksum.h"
#include "library/library_context.h"
#include "text/text.h"

#include <cstdio>
#include <string>
#include <vector>

namespace plinka::library {

namespace {

// After each verification step the worker stops when a draw from 1..5 gives
// this.
constexpr uint32_t kVerifyStopDraws = 5;
constexpr uint32_t kVerifyStopDraw = 3;

bool offline(const LibraryContext& app) {
  const uint32_t build = app.run.buildState.load();
  return build >= kOfflineFirst && build <= kOfflineLocked;
}

bool quitting(const LibraryContext& app) { return isClosingCode(app.run.commandSlot.load()) || isAppEnding(app); }

bool listHolds(const LibraryContext& app, int32_t songs) { return app.run.listCount.load() >= songs; }

bool mayStart(const LibraryContext& app) {
  return app.run.busyCode.load() == 0 && listHolds(app, kIdWorkerShortestList);
}

uint32_t checksumOfFile(LibraryContext& app, const std::string& path) {
  if (path.empty())
    return 0;
  return app.idWorker.checksum ? app.idWorker.checksum(path.c_str()) : fileChecksum(path.c_str());
}

// The checksum of a song: in network mode of its cached copy when there is
// one, else of the file itself. 0 when neither can be read.
uint32_t songChecksum(LibraryContext& app, const std::string& source) {
  if (app.settings.networkMode != 0) {
    std::string cached;
    if (cachePathFor(app, source, cached)) {
      if (const uint32_t sum = checksumOfFile(app, cached); sum != 0)
        return sum;
    }
  }
  return checksumOfFile(app, source);
}

// What one look-up in the song table found.
struct Found {
  bool looked = false;  // exclusive access was granted and the table opened
  int32_t record = -1;  // the record in use that was asked for, -1: none
  uint32_t id = 0;
  std::string fileName;
};

// Under BusyCode::IdWorker and a reading open of the song table, both given
// back before it returns: the record `pick` names (given the open table; -1 for
// none), with its ID and FileName.
template <typename Pick> Found lookUp(LibraryContext& app, Pick pick) {
  Found found;
  const ExclusiveAccess access(app, BusyCode::IdWorker, kIdWorkerPatience);
  if (!access)
    return found;
  const db::SongTableOpen open(app, db::SongTableOpen::Mode::Reading);
  if (!open)
    return found;
  found.looked = true;
  db::TableHandle& table = app.songTable;
  const int32_t record = pick(table);
  if (record <= 0 || static_cast<uint32_t>(record) >= table.slotCount ||
      db::getStatus(table, static_cast<uint32_t>(record)) != static_cast<int32_t>(db::kStatusInUse) ||
      db::readField(table, static_cast<uint32_t>(record), db::ID) < 0)
    return found;
  found.id = table.value;
  if (db::readField(table, static_cast<uint32_t>(record), db::FileName) >= 0)
    found.fileName = table.text;
  found.record = record;
  return found;
}

// Looks a record up and checks its ID: a song without one gets its checksum
// queued as its new ID and lowers the hash count; a song with one raises it.
// The record keeps its slot until the check is done, as its number goes into
// the queue. False when the table could not be had.
template <typename Pick> bool checkId(LibraryContext& app, Pick pick) {
  const db::SlotHold hold(app.songTable);
  const Found found = lookUp(app, pick);
  if (!found.looked)
    return false;
  if (found.record < 0)
    return true;
  if (found.id == 0) {
    lowerHashStat(app, kHashNoIdStep);
    if (const uint32_t sum = songChecksum(app, found.fileName); sum != 0)
      enqueueEdit(app, static_cast<uint32_t>(found.record), db::ID, sum, 0, 0);
  } else {
    app.shared.hashStat.fetch_add(1);
  }
  return true;
}

// The song at a list position, found by its FileName.
void checkListSong(LibraryContext& app, const char* fileName) {
  checkId(app, [fileName](db::TableHandle& table) {
    // A name too long for the search text could only match some other file.
    if (text::copy(table.searchText, fileName) >= sizeof table.searchText)
      return -1;
    return db::findFileNamePreferExact(table, table.searchText);
  });
}

// A record drawn at random (never the empty record 0).
bool checkRandomRecord(LibraryContext& app) {
  return checkId(app, [&app](db::TableHandle& table) {
    if (table.slotCount < 2)
      return -1;
    return static_cast<int32_t>(drawRandom(app, table.slotCount - 1));
  });
}

// Moves the hash count on by one record of the table, starting over at the
// first record after the last. False when the hash count has meanwhile left
// the verification range (a song without ID was met elsewhere).
bool advanceVerifyPosition(LibraryContext& app, uint32_t slotCount, uint32_t& position) {
  std::atomic<uint32_t>& hashStat = app.shared.hashStat;
  uint32_t seen = hashStat.load();
  for (;;) {
    if (seen < kHashVerifyFrom)
      return false;
    uint32_t next = seen + 1;
    if (next - kHashVerifyFrom >= slotCount)
      next = kHashVerifyFrom;
    if (hashStat.compare_exchange_weak(seen, next)) {
      position = next - kHashVerifyFrom;
      return true;
    }
  }
}

// One verification step: the next record's file is read again and, when its
// checksum is no longer the stored ID, the new one is queued. A file that
// cannot be read (a share out of reach) leaves the ID as it is. False when
// the walk must stop.
bool verifyNextRecord(LibraryContext& app) {
  const db::SlotHold hold(app.songTable);
  bool inRange = true;
  const Found found = lookUp(app, [&](db::TableHandle& table) {
    uint32_t position = 0;
    inRange = advanceVerifyPosition(app, table.slotCount, position);
    return inRange ? static_cast<int32_t>(position) : -1;
  });
  if (!inRange)
    return false;
  if (found.record < 0)
    return true;
  const uint32_t sum = songChecksum(app, found.fileName);
  if (sum != 0 && sum != found.id)
    enqueueEdit(app, static_cast<uint32_t>(found.record), db::ID, sum, found.id, found.id);
  return true;
}

void runWithFlagHeld(LibraryContext& app) {
  std::atomic<uint32_t>& hashStat = app.shared.hashStat;
  noticeStatusChanged(app);

  // The upcoming list's songs first: they play soonest.
  if (hashStat.load() < kHashListWalkBelow) {
    char fileName[sizeof app.songTable.text];
    for (size_t position = 0; hashStat.load() < kHashListWalkBelow && !offline(app) && !quitting(app); ++position) {
      if (position >= static_cast<size_t>(app.run.listCount.load()))
        break;
      const std::vector<std::string> listed = app.listedFiles ? app.listedFiles() : std::vector<std::string>{};
      if (position >= listed.size())
        break;
      std::snprintf(fileName, sizeof fileName, "%s", listed[position].c_str());
      if (fileName[0] == '\0')
        break;
      checkListSong(app, fileName);
    }
    // The local copy of a network table is refreshed soon, so that it sees
    // what other computers did meanwhile.
    app.copies.localCopyRefreshCounter.store(kRefreshCounterAfterListWalk);
  }

  if (app.run.commandSlot.load() == 0 && !offline(app) && !quitting(app)) {
    if (hashStat.load() < kHashVerifyFrom) {
      // Records at random; one that could not be looked at still counts, so
      // a busy table ends the checks too.
      do {
        if (!checkRandomRecord(app))
          hashStat.fetch_add(1);
      } while (hashStat.load() >= kHashRandomFrom && hashStat.load() <= kHashRandomTo && !offline(app) &&
               !quitting(app) && listHolds(app, kIdWorkerKeepsOnList));
    } else {
      // Every record in turn, stopping at a random point.
      while (verifyNextRecord(app) && drawRandom(app, kVerifyStopDraws) != kVerifyStopDraw && hashStat.load() != 0 &&
             !offline(app) && !quitting(app) && listHolds(app, kIdWorkerKeepsOnList)) {
      }
    }
  }

  app.idWorker.running.store(0);
  noticeStatusChanged(app);
}

}  // namespace

void startIdWorker(LibraryContext& app) {
  if (!mayStart(app) || app.idWorker.running.exchange(1) != 0)
    return;
  if (!app.jobThreads.start([&app] { runWithFlagHeld(app); }))
    app.idWorker.running.store(0);
}

void runIdWorker(LibraryContext& app) {
  if (!mayStart(app) || app.idWorker.running.exchange(1) != 0)
    return;
  runWithFlagHeld(app);
}

void installIdWorker(LibraryContext& app) {
  app.hooks.startIdWorker = [&app] { startIdWorker(app); };
}

}  // namespace plinka::library
