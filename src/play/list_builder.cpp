#include "play/list_builder.h"

#include "core/current_state.h"
#include "core/exclusive_access.h"
#include "core/random_source.h"
#include "db/copies.h"
#include "db/table.h"
#include "library/media_types.h"
#include "play/list_file.h"
#include "play/play_context.h"
#include "play/shutdown_timer.h"
#include "play/song_details.h"
#include "text/text.h"

#include <cstring>
#include <mutex>

namespace plinka::play {

namespace {

constexpr uint32_t kRecentDraws = 10;
constexpr uint32_t kHistoryLength = 100;
constexpr uint32_t kArtistMemory = 20;
constexpr size_t kArtistEntrySize = 70;
// The naughtiness limit that admits every song, and the Flags bits that hold
// a song's naughtiness.
constexpr uint32_t kPlayUpToAll = 3;
constexpr uint32_t kNaughtinessBits = 3;
// Minimum ratings start to relax after this many passes in a row without a
// choice.
constexpr uint32_t kRetriesBeforeRelaxing = 2;
// A choice moves the balance by its rating less this.
constexpr uint32_t kBalanceMidRating = 5;
constexpr uint32_t kBalanceFloor = 49;
constexpr uint32_t kPatternCharBits = 0x7F;
// builder.busy while a pass that could not open the table ends.
constexpr uint32_t kBusyEndingAfterFailedOpen = 2;
constexpr uint32_t kLastUser = 9;

// What one pass reads from the settings once.
struct PassContext {
  uint32_t state = 0;
  uint32_t user = 0;
  uint32_t playUpTo = 0;
  uint32_t minRating = 0;
  uint32_t scoreField = 0;
  uint32_t targetField = 0;
  uint32_t inUse = 0;
  bool history = false;
  bool noArtistRepeat = false;
};

bool readNumber(db::TableHandle& table, uint32_t slot, uint32_t field, uint32_t& out) {
  if (db::readField(table, slot, field) < 0)
    return false;
  out = table.value;
  return true;
}

bool writeNumber(db::TableHandle& table, uint32_t slot, uint32_t field, uint32_t value) {
  table.value = value;
  return db::writeField(table, slot, field) >= 0;
}

uint32_t draw(PlayContext& app, uint32_t n) {
  const auto& hook = app.builder.drawForTests;
  return hook ? hook(n) : drawRandom(app, n);
}

int32_t recordOfDraw(PlayContext& app, uint32_t r) {
  const auto& hook = app.builder.positionForTests;
  return hook ? hook(app.songTable, r) : db::nthInUse(app.songTable, r);
}

// Artist texts are remembered cut to their memory entry (`artist` is cut
// the same way), so a long name is still recognised.
bool artistRemembered(const SettingsRecord& s, const char* artist) {
  const size_t length = std::strlen(artist);
  for (uint32_t k = 0; k < kArtistMemory; ++k)
    if (strnlen(s.recentArtists[k], kArtistEntrySize) == length && std::memcmp(s.recentArtists[k], artist, length) == 0)
      return true;
  return false;
}

// One draw and its chain of tests; the first test that fails ends the round
// with nothing chosen. True when the song was chosen; its FileName is then
// in `chosen`.
bool drawOnce(PlayContext& app, const PassContext& p, char* chosen, size_t cap) {
  SettingsRecord& s = app.settings;
  db::TableHandle& table = app.songTable;

  const uint32_t r = draw(app, p.inUse);

  // Recent draws. Slot 0 is replaced by the record index below, so later
  // draws are compared with record indexes.
  for (uint32_t k = 0; k < kRecentDraws; ++k)
    if (s.recentSongs[k] == r)
      return false;
  for (uint32_t k = kRecentDraws - 1; k > 0; --k)
    s.recentSongs[k] = s.recentSongs[k - 1];
  s.recentSongs[0] = r;

  const int32_t found = recordOfDraw(app, r);
  if (found < 0)
    return false;
  const uint32_t i = static_cast<uint32_t>(found);
  s.recentSongs[0] = i;

  if (db::readField(table, i, db::FileName) < 0 || library::mediaType(s, table.text) == library::kMediaNone)
    return false;
  if (std::strcmp(table.text, app.builder.lastListedFile) == 0)
    return false;

  if (p.playUpTo != kPlayUpToAll) {
    uint32_t flags = 0;
    if (!readNumber(table, i, db::Flags, flags) || (flags & kNaughtinessBits) > p.playUpTo)
      return false;
  }

  uint32_t score = 0;
  if (!readNumber(table, i, p.scoreField, score))
    return false;
  const uint32_t rating = db::ratingOfScore(s, score);
  if (rating < p.minRating)
    return false;

  uint32_t credit = 0;
  if (!readNumber(table, i, p.targetField, credit))
    return false;
  if (credit == 0)
    credit = 1;
  if (credit <= s.targetValue) {
    writeNumber(table, i, p.targetField, score + credit);
    return false;
  }

  if (p.history && p.inUse >= kHistoryFromSongs)
    for (uint32_t k = 0; k < kHistoryLength; ++k)
      if (s.historySongs[k] == i)
        return false;

  char artist[kArtistEntrySize] = {};
  if (db::readField(table, i, db::Artist) >= 0)
    text::copy(artist, table.text);
  // An empty Artist names nobody, so it never counts as a repeat.
  if (p.noArtistRepeat && p.inUse >= kArtistMemoryFromSongs) {
    text::lowerAscii(artist);
    if (artist[0] != 0 && artistRemembered(s, artist))
      return false;
  }

  const uint32_t balance = rating + app.builder.dbAverage.load() - kBalanceMidRating;
  if (balance <= kBalanceFloor)
    return false;
  app.builder.dbAverage.store(balance);

  // Chosen.
  for (uint32_t k = kHistoryLength - 1; k > 0; --k)
    s.historySongs[k] = s.historySongs[k - 1];
  s.historySongs[0] = i;
  if (p.noArtistRepeat) {
    for (uint32_t k = kArtistMemory - 1; k > 0; --k)
      std::memcpy(s.recentArtists[k], s.recentArtists[k - 1], kArtistEntrySize);
    std::memset(s.recentArtists[0], 0, kArtistEntrySize);
    text::copy(s.recentArtists[0], kArtistEntrySize, artist);
  }
  if (db::readField(table, i, db::FileName) < 0)
    return false;
  text::copy(chosen, cap, table.text);
  uint32_t playCount = 0;
  if (readNumber(table, i, db::PlayCount, playCount))
    writeNumber(table, i, db::PlayCount, playCount + 1);
  writeNumber(table, i, p.targetField, credit - s.targetValue);
  return true;
}

// Appends the chosen song to the list; writes the State's list file and
// ends the build once the list is full.
void appendChosen(PlayContext& app, const PassContext& p) {
  BuilderState& b = app.builder;
  SettingsRecord& s = app.settings;
  if (b.listAddLock.exchange(1) != 0)
    return;
  app.builder.retries.fetch_add(1);
  app.status.messagePending.store(0);

  loadSongDetails(app, s.historySongs[0], p.user);
  putListRow(app, app.list.size(), b.chosenFile, app.details.loaded);
  text::copy(b.lastListedFile, b.chosenFile);

  if (static_cast<int64_t>(app.run.listCount.load()) < static_cast<int64_t>(s.prepareCount)) {
    app.builder.retries.store(0);
    app.run.buildState.store(kBuildingMore);
  } else {
    play::writeList(app.list, play::stateListFileName(app));
    app.run.buildState.store(kBuildIdle);
    if (app.bufferCache.stage.load() != library::BufferStage::Error)
      app.shared.rebufferValue.store(0);
    else
      startShutdownTimer(app);
  }
  if (app.shared.stateAltMode[p.state].load() != 0)
    advancePattern(app);
  b.listAddLock.store(0);
}

// The pass once it holds exclusive access to a table of enough songs.
void runPass(PlayContext& app) {
  RunState& run = app.run;
  SettingsRecord& s = app.settings;
  BuilderState& b = app.builder;

  app.status.messagePending.store(0);
  run.stopRequest.store(0);
  PassContext p;
  p.state = currentStateIndex(app);
  p.user = currentUser(app);
  p.playUpTo = s.statePlayUpTo[p.state];
  p.minRating = s.stateMinRating[p.state];
  p.history = s.stateHistory[p.state] != 0;
  p.noArtistRepeat = s.stateNoArtistRepeat[p.state] != 0;
  const uint32_t retries = app.builder.retries.load();
  if (retries > kRetriesBeforeRelaxing) {
    const uint32_t relax = retries - kRetriesBeforeRelaxing;
    p.minRating = p.minRating > relax ? p.minRating - relax : 0;
  }
  run.buildState.store(kBuildingMore);
  noticeStatusChanged(app);
  p.scoreField = db::scoreField(p.user);
  p.targetField = db::targetField(p.user);

  if (s.databasePath[0] == 0) {
    setOneShotMessage(app, kNoFileSelected);
    run.buildState.store(kBuildWanted);
    noticeStatusChanged(app);
    return;
  }

  db::openSongTableForWriting(app);
  db::TableHandle& table = app.songTable;
  p.inUse = table.isOpen() ? db::countInUse(table) : 0;
  if (table.isOpen())
    app.songsInUse.store(p.inUse);
  if (!table.isOpen() || p.inUse == 0) {
    app.status.messagePending.store(1);
    if (s.networkMode == 0) {
      setOneShotMessage(app, kCannotOpenList);
      run.buildState.store(kBuildWanted);
    } else {
      // Offline; a state already offline (counting, or locked by the user)
      // is kept.
      uint32_t build = run.buildState.load();
      while ((build < kOfflineFirst || build > kOfflineLocked) &&
             !run.buildState.compare_exchange_weak(build, kOfflineFirst)) {
      }
      startShutdownTimer(app);
    }
    app.builder.busy.store(kBusyEndingAfterFailedOpen);
    noticeStatusChanged(app);
    // An empty table was opened all the same; it must not stay open.
    if (table.isOpen())
      db::closeSongTableAfterWriting(app);
    return;
  }

  const uint64_t started = app.clock.tickMs();
  char chosen[sizeof b.chosenFile];
  bool picked = false;
  for (uint32_t attempt = 0;; ++attempt) {
    if (run.commandSlot.load() != 0 || run.stopRequest.load() != 0 || run.buildState.load() == kBuildIdle)
      break;
    bool drawn = false;
    {
      // The draw changes the memory lists, which the save copies.
      const std::lock_guard<std::mutex> hold(app.shared.imageLock);
      drawn = drawOnce(app, p, chosen, sizeof chosen);
    }
    if (drawn) {
      picked = true;
      break;
    }
    if (attempt > s.buildTime) {
      setOneShotMessage(app, kDeepBuilding);
      break;
    }
    if (!napMs(app, 0))
      break;
  }

  if (picked) {
    const uint64_t took = app.clock.tickMs() - started;
    {
      const std::lock_guard<std::mutex> hold(app.shared.imageLock);
      if (took > kSlowPassMs && s.buildTime > kBuildTimeStep)
        s.buildTime -= kBuildTimeStep;
      else if (took < kFastPassMs)
        s.buildTime += kBuildTimeStep;
    }
    text::copy(b.chosenFile, chosen);
    app.builder.retries.store(0);
    if (b.fillerActive.load() != 0)
      run.buildState.store(kBuiltForFiller);
    else
      appendChosen(app, p);
  }

  if (run.stopRequest.load() != 0) {
    run.buildState.store(kBuildIdle);
    noticeStatusChanged(app);
  } else if (run.buildState.load() == kBuildIdle) {
    noticeStatusChanged(app);
  } else if (b.fillerActive.load() == 0) {
    run.buildState.store(kBuildWanted);
    noticeStatusChanged(app);
    app.builder.retries.fetch_add(1);
  }
  db::closeSongTableAfterWriting(app);
}

// Keeps the status bar's word that the table holds too few songs to build
// from, refreshed when it changes.
void noteTooFewSongs(PlayContext& app, bool tooFew) {
  if (app.builder.tooFewSongs.exchange(tooFew ? 1 : 0) != (tooFew ? 1u : 0u))
    noticeStatusChanged(app);
}

// Under exclusive access: whether the table holds enough songs to build
// from. The count of the last open serves while the file is unchanged;
// otherwise the table is counted afresh. A table that cannot be opened
// counts as enough, so that the pass reports it.
bool enoughSongs(PlayContext& app) {
  uint32_t inUse = 0;
  if (db::lastSongCount(app, inUse))
    return inUse >= kFewestSongsToBuild;
  if (!db::openSongTableForReading(app))
    return true;
  inUse = app.songTable.inUseCount;
  db::closeTable(app.songTable);
  return inUse >= kFewestSongsToBuild;
}

}  // namespace

void buildPass(PlayContext& app) {
  // Too few songs, as the table's last open found them, and the file has not
  // changed since: nothing to ask exclusive access for, so the pass leaves
  // the command slot to the user's requests.
  uint32_t inUse = 0;
  if (db::lastSongCount(app, inUse) && inUse < kFewestSongsToBuild) {
    noteTooFewSongs(app, true);
    return;
  }
  if (app.builder.busy.exchange(1) != 0)
    return;
  bool counted = false;
  bool tooFew = false;
  {
    const ExclusiveAccess access(app, BusyCode::ListBuild, kBuildPatience);
    if (access.held()) {
      counted = true;
      tooFew = !enoughSongs(app);
      if (!tooFew)
        runPass(app);
    }
  }
  app.builder.busy.store(0);
  // Told once the pass is over, so that the status shows it rather than
  // "Building".
  if (counted)
    noteTooFewSongs(app, tooFew);
}

void advancePattern(PlayContext& app) {
  const SettingsRecord& s = app.settings;
  const uint32_t state = currentStateIndex(app);
  const uint32_t mode = app.shared.stateAltMode[state].load();
  // Single-user mode has no pattern to follow.
  if (mode == 0)
    return;
  // Slot k - 1 holds the pattern of alt mode k; a mode above the last
  // pattern uses the last one.
  const uint32_t last = kAltModeCount;
  const uint32_t slot = (mode < last ? mode : last) - 1;
  const char* pattern = s.altModePattern[slot];
  uint32_t pos = app.builder.patternPos.fetch_add(1) + 1;
  const size_t length = strnlen(pattern, kNameSize);
  if (length == 0) {
    setStateUser(app, state, 0);
    return;
  }
  if (pos >= length) {
    pos = 0;
    app.builder.patternPos.store(0);
  }
  const uint32_t ch = static_cast<uint8_t>(pattern[pos]) & kPatternCharBits;
  uint32_t user = 0;
  if (ch < '1')
    user = kLastUser;
  else if (ch <= ':')
    user = ch - '1';
  setStateUser(app, state, user);
}

}  // namespace plinka::play
