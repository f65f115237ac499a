#include "play/song_details.h"

#include "db/filename_index.h"

#include "core/current_state.h"
#include "core/exclusive_access.h"
#include "db/copies.h"
#include "db/search.h"
#include "db/song_table_open.h"
#include "db/table.h"
#include "library/edit_queue.h"
#include "library/loudness.h"
#include "library/media_types.h"
#include "play/play_context.h"
#include "text/text.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace plinka::play {

namespace {

// hashStat falls by this much for each loaded song that has no ID yet.
constexpr uint32_t kHashStatStep = 10;

uint32_t readNumber(db::TableHandle& table, uint32_t slot, uint32_t field) {
  return db::readField(table, slot, field) >= 0 ? table.value : 0;
}

void readText(db::TableHandle& table, uint32_t slot, uint32_t field, char* out, size_t cap) {
  if (db::readField(table, slot, field) >= 0)
    text::copy(out, cap, table.text);
}

// The loader's work once details.loaderBusy is held.
LoaderRun loadWithFlagHeld(PlayContext& app) {
  DetailsState& d = app.details;
  const uint32_t user = currentUser(app);
  const bool preload = app.run.busyCode.load() != codeValue(BusyCode::Player);
  char file[sizeof d.currentSongFile];
  // The preload holds its own exclusive use; under the player's it runs
  // inside that.
  std::optional<ExclusiveAccess> access;
  if (preload) {
    readRowFileName(app, 0, d.nextSongFile, sizeof d.nextSongFile);
    access.emplace(app, BusyCode::Preload, kPreloadPatience);
    if (!access->held())
      return LoaderRun::NotRun;
    text::copy(file, d.nextSongFile);
  } else {
    text::copy(file, d.currentSongFile);
  }

  int32_t record = -1;
  for (int attempt = 0; attempt < kLookupTries && record < 0; ++attempt) {
    if (attempt >= kQuickLookupTries && !napMs(app, kLookupPauseMs))
      break;
    record = findAndLoadSong(app, file, user);
  }

  SongDetails found = detailsFound(app, record);
  addAlbumLoudness(app, record, found);
  if (preload) {
    d.next = found;
    d.nextSongRecord = record;
    app.details.nextReady.store(1);
  } else {
    setCurrentDetails(app, found);
    d.currentSongRecord.store(record);
    d.currentSongScore.store(found.score);
  }

  // A song without its checksum: the buffer cache goes back to computing them.
  if (found.id == 0) {
    lowerHashStat(app, kHashStatStep);
  }

  return LoaderRun::Ran;
}

}  // namespace

void loadSongDetails(PlayContext& app, uint32_t slot, uint32_t user) {
  db::TableHandle& table = app.songTable;
  // A caller may be in the middle of using the text buffer: keep it.
  char kept[sizeof table.text];
  std::memcpy(kept, table.text, sizeof kept);

  SongDetails& d = app.details.loaded;
  d.score = readNumber(table, slot, db::scoreField(user));
  d.target = readNumber(table, slot, db::targetField(user));
  readText(table, slot, db::Name, d.title, sizeof d.title);
  readText(table, slot, db::Artist, d.artist, sizeof d.artist);
  readText(table, slot, db::Album, d.album, sizeof d.album);
  readText(table, slot, db::Comment, d.comment, sizeof d.comment);
  d.id = readNumber(table, slot, db::ID);
  d.startPoint = readNumber(table, slot, db::StartPoint);
  d.endPoint = readNumber(table, slot, db::EndPoint);
  d.loudness = readNumber(table, slot, db::Loudness);
  d.albumLoudness = 0;

  std::memcpy(table.text, kept, sizeof kept);
}

void addAlbumLoudness(PlayContext& app, int32_t record, SongDetails& details) {
  // A walk over the table: only for the song playing or next, never for
  // every list row.
  if (record < 0 || app.shared.levelling.load() != static_cast<uint32_t>(Levelling::ByAlbum))
    return;
  if (const db::SongTableOpen open(app, db::SongTableOpen::Mode::Reading); open)
    details.albumLoudness = library::albumLoudness(app.songTable, static_cast<uint32_t>(record));
}

SongDetails detailsFound(const PlayContext& app, int32_t record) {
  return record >= 0 ? app.details.loaded : SongDetails{};
}

void setCurrentSongFile(PlayContext& app, const char* fileName) {
  DetailsState& d = app.details;
  std::lock_guard lock(d.currentMutex);
  text::copy(d.currentSongFile, sizeof d.currentSongFile, fileName);
}

void setCurrentDetails(PlayContext& app, const SongDetails& details) {
  DetailsState& d = app.details;
  std::lock_guard lock(d.currentMutex);
  d.current = details;
}

CurrentSongTexts copyCurrentSong(const PlayContext& app) {
  const DetailsState& d = app.details;
  std::lock_guard lock(d.currentMutex);
  CurrentSongTexts t;
  t.title = text::fixedText(d.current.title);
  t.artist = text::fixedText(d.current.artist);
  t.album = text::fixedText(d.current.album);
  t.comment = text::fixedText(d.current.comment);
  t.file = text::fixedText(d.currentSongFile);
  return t;
}

int32_t findAndLoadSong(PlayContext& app, const char* fileName, uint32_t user) {
  DetailsState& d = app.details;
  if (d.lookupLock.exchange(1) != 0)
    return -1;
  int32_t record = -1;
  if (const db::SongTableOpen open(app, db::SongTableOpen::Mode::Reading); open) {
    db::TableHandle& table = app.songTable;
    app.songsInUse.store(db::countInUse(table));
    // A name too long for the search text could only match some other file.
    if (text::copy(table.searchText, fileName) < sizeof table.searchText)
      record = db::findFileNamePreferExact(table, table.searchText);
    if (record >= 0)
      loadSongDetails(app, static_cast<uint32_t>(record), user);
  }
  d.lookupLock.store(0);
  return record;
}

void readRowFileName(const PlayContext& app, size_t row, char* out, size_t cap) {
  text::copy(out, cap, app.list.text(row, FileName).c_str());
}

void putListRow(PlayContext& app, size_t row, const char* fileName, const SongDetails& details) {
  ListRow r;
  r.column[Title] = details.title;
  r.column[Artist] = details.artist;
  r.column[Album] = details.album;
  r.column[FileName] = fileName;
  r.column[Type] = library::isVideo(library::mediaType(app.settings, fileName)) ? "Video" : "Audio";
  app.list.insert(row, r);
}

LoaderRun runDetailsLoader(PlayContext& app) {
  if (app.details.loaderBusy.exchange(1) != 0)
    return LoaderRun::NotRun;
  const LoaderRun result = loadWithFlagHeld(app);
  app.details.loaderBusy.store(0);
  return result;
}

void startDetailsLoader(PlayContext& app) {
  if (app.details.loaderBusy.exchange(1) != 0)
    return;
  const bool started = app.jobThreads.start([&app] {
    loadWithFlagHeld(app);
    app.details.loaderBusy.store(0);
  });
  if (!started)
    app.details.loaderBusy.store(0);
}

std::optional<uint32_t> autoRatedScore(uint32_t v, bool heardToEnd, uint32_t speed, uint32_t top) {
  const uint32_t divisor = speed == kAutoRateSlow ? 8 : speed == kAutoRateNormal ? 4 : 2;
  const uint32_t step = std::max<uint32_t>(v / divisor, 1);
  if (!heardToEnd) {
    if (v == 0)
      return std::nullopt;
    return v > step ? v - step : 1;
  }
  if (v > top)
    return std::nullopt;
  // Raised by the step, but never above the Score of rating 10.
  return step > top - v ? top : v + step;
}

void adjustRating(PlayContext& app, bool heardToEnd) {
  const SettingsRecord& s = app.settings;
  if (currentAltMode(app) != 0)
    return;
  const DetailsState& d = app.details;
  const uint32_t v = d.currentSongScore.load();
  const int32_t record = d.currentSongRecord.load();
  const std::optional<uint32_t> score = autoRatedScore(v, heardToEnd, s.autoRateSpeed, s.ratingValue[9]);
  if (!score || record < 0)
    return;
  library::enqueueEdit(app, static_cast<uint32_t>(record), db::scoreField(currentUser(app)), *score, v, d.current.id);
}

}  // namespace plinka::play
