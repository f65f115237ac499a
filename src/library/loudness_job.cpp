#include "library/loudness_job.h"

#include "core/exclusive_access.h"
#include "db/song_table_open.h"
#include "db/table.h"
#include "library/library_context.h"
#include "library/loudness.h"
#include "library/replay_gain_tags.h"
#include "platform/files.h"
#include "platform/loudness_meter.h"
#include "text/text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace plinka::library {

namespace {

// Upcoming songs looked up by name at each walk (each look-up is a walk of
// its own over the FileNames).
constexpr size_t kListedLookedUp = 10;
// Tries of a batch's write before its results are given up (they are found
// again by a later walk).
constexpr int kWriteTries = 3;

struct Candidate {
  uint32_t slot = 0;
  std::string file;
  uint32_t oldValue = 0;
  uint32_t newValue = 0;
};

// What one walk over the song table found.
struct Walk {
  bool looked = false;  // exclusive use was had and the table opened
  uint32_t songs = 0;
  uint32_t known = 0;
  double medianGain = kUnmeasuredGainDb;
  std::vector<Candidate> picked;
};

bool quitting(const LibraryContext& app) { return isClosingCode(app.run.commandSlot.load()) || isAppEnding(app); }

bool offline(const LibraryContext& app) {
  const uint32_t build = app.run.buildState.load();
  return build >= kOfflineFirst && build <= kOfflineLocked;
}

size_t batchSize(const LibraryContext& app) {
  return app.settings.networkMode != 0 ? kLoudnessNetworkBatch : kLoudnessLocalBatch;
}

ExclusiveAccess takeAccess(LibraryContext& app, const LoudnessRun& run) {
  return run.alone ? ExclusiveAccess::grantNow(app, BusyCode::Loudness)
                   : ExclusiveAccess(app, BusyCode::Loudness, kLoudnessPatience);
}

bool wanted(const LoudnessRun& run, uint32_t field) { return run.all || field == 0; }

// The song in `slot` when it is one the run wants (the FileName, a long
// text, is read only then).
std::optional<Candidate> candidateAt(db::TableHandle& table, const LoudnessRun& run, uint32_t slot) {
  if (db::getStatus(table, slot) != static_cast<int32_t>(db::kStatusInUse) ||
      db::readField(table, slot, db::Loudness) < 0 || !wanted(run, table.value))
    return std::nullopt;
  Candidate c;
  c.slot = slot;
  c.oldValue = table.value;
  if (db::readField(table, slot, db::FileName) < 0 || table.text[0] == '\0')
    return std::nullopt;
  c.file = table.text;
  return c;
}

// Counts the table's songs and known loudness, and picks the next songs to
// measure: the upcoming list's first, then the table's from `cursor` on
// (moved past what was picked), none of them `tried` in this run already (a
// file out of reach stays unmeasured). In a run over every song, only the
// cursor picks, and each song once.
Walk walkTable(LibraryContext& app, const LoudnessRun& run, uint32_t& cursor, const std::set<std::string>& tried) {
  Walk walk;
  const ExclusiveAccess access = takeAccess(app, run);
  if (!access)
    return walk;
  const db::SongTableOpen open(app, db::SongTableOpen::Mode::Reading);
  if (!open)
    return walk;
  walk.looked = true;
  db::TableHandle& table = app.songTable;
  const size_t want = batchSize(app);

  // Only the four-byte words: the walk holds the table, and the player may
  // be waiting for it. The empty record every table starts with (slot 0,
  // without a FileName) is no song.
  const bool emptyFirst = db::getStatus(table, 0) == static_cast<int32_t>(db::kStatusInUse) &&
                          db::readField(table, 0, db::FileName) >= 0 && table.text[0] == '\0';
  std::vector<uint32_t> fields;
  fields.reserve(db::countInUse(table));
  db::forEachInUse(table, [&](uint32_t slot) {
    if ((slot == 0 && emptyFirst) || db::readField(table, slot, db::Loudness) < 0)
      return;
    fields.push_back(table.value);
    if (table.value != 0)
      ++walk.known;
  });
  walk.songs = static_cast<uint32_t>(fields.size());
  walk.medianGain = medianGain(fields);

  auto take = [&](const std::optional<Candidate>& c) {
    if (!c || tried.count(c->file) != 0)
      return;
    for (const Candidate& p : walk.picked)
      if (p.slot == c->slot)
        return;
    walk.picked.push_back(*c);
  };
  if (!run.all && app.listedFiles) {
    const std::vector<std::string> listed = app.listedFiles();
    for (size_t i = 0; i < listed.size() && i < kListedLookedUp && walk.picked.size() < want; ++i) {
      if (text::copy(table.searchText, listed[i].c_str()) >= sizeof table.searchText)
        continue;
      const int32_t slot = db::findFileNamePreferExact(table, table.searchText);
      if (slot >= 0)
        take(candidateAt(table, run, static_cast<uint32_t>(slot)));
    }
  }
  while (walk.picked.size() < want && cursor < table.slotCount) {
    take(candidateAt(table, run, cursor));
    ++cursor;
  }
  return walk;
}

platform::LoudnessResult measureFile(LibraryContext& app, const char* path) {
  return app.loudness.measure ? app.loudness.measure(path, &app.run.appEnding)
                              : platform::measureLoudness(path, &app.run.appEnding);
}

// A song's new Loudness value: from its ReplayGain track tag when it has one,
// else measured. No value for a file that is not there (a share out of
// reach: it is tried again later) or a measuring broken off.
std::optional<uint32_t> findLoudness(LibraryContext& app, const std::string& file, bool& failed) {
  failed = false;
  const ReplayGainTags tags = readReplayGainTags(file.c_str());
  if (!tags.readable && !platform::fileExists(file))
    return std::nullopt;
  if (tags.trackGainDb)
    return encodeLoudness(true, loudnessForGain(*tags.trackGainDb), tags.lengthMs / 1000);
  using Outcome = platform::LoudnessResult::Outcome;
  const platform::LoudnessResult m = measureFile(app, file.c_str());
  switch (m.outcome) {
  case Outcome::Cancelled:
    return std::nullopt;
  case Outcome::Measured:
    return encodeLoudness(false, m.lufs, m.durationMs / 1000);
  case Outcome::Silent:
    return encodeLoudness(false, std::nullopt, m.durationMs / 1000);
  case Outcome::Failed:
    break;
  }
  failed = true;
  return encodeLoudness(false, std::nullopt, tags.lengthMs / 1000);
}

// Writes the batch's values into the records that still hold their songs
// (and, unless every song is measured again, still hold no value: an edit
// made meanwhile is never overwritten). The number written; -1 when the
// table could not be had or the change did not reach its file.
int32_t writeBatch(LibraryContext& app, const LoudnessRun& run, const std::vector<Candidate>& batch) {
  const ExclusiveAccess access = takeAccess(app, run);
  if (!access)
    return -1;
  db::SongTableOpen open(app, db::SongTableOpen::Mode::Writing);
  if (!open)
    return -1;
  db::TableHandle& table = app.songTable;
  // The record is read whatever its value; the value is checked below.
  LoudnessRun anyValue;
  anyValue.all = true;
  int32_t written = 0;
  for (const Candidate& c : batch) {
    const std::optional<Candidate> now = candidateAt(table, anyValue, c.slot);
    if (!now || now->file != c.file || (!run.all && now->oldValue != c.oldValue))
      continue;
    table.value = c.newValue;
    if (db::writeField(table, c.slot, db::Loudness) >= 0)
      ++written;
  }
  return open.close() ? written : -1;
}

bool keepGoing(const LibraryContext& app, const LoudnessRun& run) {
  if (quitting(app) || offline(app))
    return false;
  return run.alone || app.shared.levelling.load() != static_cast<uint32_t>(Levelling::Off);
}

void runWithFlagHeld(LibraryContext& app, const LoudnessRun& run, LoudnessOutcome& outcome) {
  LoudnessJobState& state = app.loudness;
  uint32_t cursor = 0;
  uint32_t done = 0;
  std::set<std::string> tried;
  while (keepGoing(app, run)) {
    Walk walk = walkTable(app, run, cursor, tried);
    if (!walk.looked) {
      if (run.alone) {
        outcome.tableOpened = false;
        return;
      }
      if (!napMs(app, kLoudnessRefusedWaitMs))
        return;
      continue;
    }
    state.songs.store(walk.songs);
    state.known.store(walk.known);
    state.medianGainCenti.store(static_cast<int32_t>(std::lround(walk.medianGain * 100)));
    if (walk.picked.empty()) {
      // Nothing left: the next walk looks for new songs after a long rest.
      state.restUntil.store(app.clock.tickMs() + kLoudnessRestMs);
      return;
    }
    const uint32_t total = run.all ? walk.songs : done + (walk.songs - walk.known);

    std::vector<Candidate> batch;
    for (Candidate& c : walk.picked) {
      if (!keepGoing(app, run))
        break;
      bool failed = false;
      tried.insert(c.file);
      const std::optional<uint32_t> value = findLoudness(app, c.file, failed);
      ++done;
      if (run.progress)
        run.progress(c.file, done, std::max(total, done));
      if (!value)
        continue;
      c.newValue = *value;
      batch.push_back(c);
      if (failed)
        ++outcome.failed;
    }
    if (batch.empty())
      continue;
    int32_t written = -1;
    for (int tries = 0; tries < kWriteTries && written < 0; ++tries) {
      written = writeBatch(app, run, batch);
      if (written < 0 && (run.alone || !napMs(app, kLoudnessRefusedWaitMs)))
        break;
    }
    if (written < 0) {
      outcome.written = false;
      if (run.alone)
        return;
      continue;
    }
    outcome.measured += static_cast<uint32_t>(written);
    if (!run.all)
      state.known.fetch_add(static_cast<uint32_t>(written));
  }
}

}  // namespace

LoudnessOutcome runLoudnessJob(LibraryContext& app, const LoudnessRun& run) {
  LoudnessOutcome outcome;
  LoudnessJobState& state = app.loudness;
  if (state.running.exchange(1) != 0)
    return outcome;
  noticeStatusChanged(app);
  state.restUntil.store(app.clock.tickMs() + kLoudnessRefusedWaitMs);
  runWithFlagHeld(app, run, outcome);
  state.running.store(0);
  noticeStatusChanged(app);
  return outcome;
}

void startLoudnessJob(LibraryContext& app) {
  if (app.loudness.running.load() != 0 || app.shared.levelling.load() == static_cast<uint32_t>(Levelling::Off) ||
      app.run.listCount.load() < kLoudnessShortestList)
    return;
  app.jobThreads.start([&app] { runLoudnessJob(app); });
}

double unmeasuredGain(const LibraryContext& app) { return app.loudness.medianGainCenti.load() / 100.0; }

std::string loudnessProgressText(const LibraryContext& app) {
  // Before the job's first walk nothing has been counted.
  if (app.loudness.songs.load() == 0)
    return app.shared.levelling.load() == static_cast<uint32_t>(Levelling::Off)
               ? "Loudness: not measured while levelling is off"
               : "Loudness: not counted yet";
  return "Loudness: " + text::withThousands(app.loudness.known.load()) + " of " +
         text::withThousands(app.loudness.songs.load()) + " measured";
}

}  // namespace plinka::library
