#include "play/player.h"

#include "core/current_state.h"
#include "core/exclusive_access.h"
#include "core/status_message.h"
#include "db/copies.h"
#include "db/filename_index.h"
#include "db/table.h"
#include "library/buffer_cache.h"
#include "library/cover_art.h"
#include "library/media_types.h"
#include "play/play_context.h"
#include "play/quick_links.h"
#include "play/song_details.h"
#include "text/text.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>

namespace plinka::play {

namespace {

platform::PlaybackService* playbackOf(PlayContext& app) { return app.player.playback.get(); }

void closeMedia(PlayContext& app) {
  if (platform::PlaybackService* p = playbackOf(app); p != nullptr && p->isOpen())
    p->close();
  app.player.endPosition.store(0);
  app.player.queuedNext.clear();
  app.player.followedOn.clear();
}

void setPlayPosition(PlayContext& app, int32_t position) {
  app.player.playPosition.store(position);
  app.jobs.playPosition.store(static_cast<uint32_t>(position));
}

void moveSeekBar(PlayContext& app, uint32_t value) {
  app.player.seekBar.store(value);
  app.player.changed |= PlayerChange::SeekBar;
}

// Tells the front end in one notice what has changed since the last one.
void tellFrontEnd(PlayContext& app) {
  const PlayerChanges changes = std::exchange(app.player.changed, PlayerChanges{});
  if (!changes.empty() && app.ui)
    app.ui->playerChanged(changes);
}

bool fullScreenWanted(const PlayContext& app) {
  return app.jobs.currentMediaType.load() >= kFirstVideoType && app.settings.fullMovie != 0 &&
         app.player.inTray.load() == 0;
}

// With Auto Build on and the list short of prepareCount, ask for a build.
void askForListBuild(PlayContext& app) {
  const SettingsRecord& s = app.settings;
  if (s.autoBuild != 0 && app.run.listCount.load() < static_cast<int32_t>(s.prepareCount) &&
      app.run.buildState.load() < kOfflineFirst)
    app.run.buildState.store(kBuildWanted);
}

// The stack of recently played records: entry 0 is the newest, -1 marks the
// end of what was pushed. The player is its only writer; it changes it under
// imageLock, which the settings save holds while it copies the record.
void pushLastSong(PlayContext& app, int32_t record) {
  SettingsRecord& s = app.settings;
  const std::lock_guard lock(app.shared.imageLock);
  for (int k = kLastSongDepth - 1; k > 0; --k)
    s.lastSongIndex[k] = s.lastSongIndex[k - 1];
  s.lastSongIndex[0] = record;
}

int32_t popLastSong(PlayContext& app) {
  SettingsRecord& s = app.settings;
  const std::lock_guard lock(app.shared.imageLock);
  const int32_t record = s.lastSongIndex[0];
  for (int k = 0; k < kLastSongDepth - 1; ++k)
    s.lastSongIndex[k] = s.lastSongIndex[k + 1];
  // The emptied bottom entry reads as "nothing more", never as record 0.
  s.lastSongIndex[kLastSongDepth - 1] = -1;
  return record;
}

// Reads the FileName of a record into `out`; an empty name when the table
// does not open or the record cannot be read.
void readRecordFileName(PlayContext& app, int32_t record, char* out, size_t cap) {
  out[0] = '\0';
  if (record < 0 || !db::openSongTableForReading(app))
    return;
  if (db::readField(app.songTable, static_cast<uint32_t>(record), db::FileName) >= 0)
    text::copy(out, cap, app.songTable.text);
  db::closeTable(app.songTable);
}

// The current song's details, loaded under busy code 20: through the details
// loader, or (when its preload is under way) by one lookup of our own.
void loadCurrentDetails(PlayContext& app) {
  if (runDetailsLoader(app) == 1)
    return;
  DetailsState& d = app.details;
  const int32_t record = findAndLoadSong(app, d.currentSongFile, currentUser(app));
  const SongDetails found = detailsFound(app, record);
  setCurrentDetails(app, found);
  d.currentSongRecord.store(record);
  d.currentSongScore.store(found.score);
}

// Where the open song counts as over: its EndPoint when it has one within
// the media, else the media's length (0 while the backend does not know it).
uint32_t songEnd(uint32_t endPoint, uint32_t length) {
  return endPoint != 0 && (length == 0 || endPoint <= length) ? endPoint : length;
}

// Whether the song table holds a song of that FileName; nullopt when
// exclusive use was not granted.
std::optional<bool> songInTable(PlayContext& app, const std::string& file) {
  const ExclusiveAccess access(app, BusyCode::Player, kPlayerPatience);
  if (!access.held())
    return std::nullopt;
  bool found = false;
  if (db::openSongTableForReading(app)) {
    found = db::findFileName(app.songTable, file.c_str(), db::LetterCase::Exact) >= 0;
    db::closeTable(app.songTable);
  }
  return found;
}

// Requests 1, 4 and 8.
void startSong(PlayContext& app, uint32_t request) {
  PlayerState& ps = app.player;
  DetailsState& d = app.details;
  SettingsRecord& s = app.settings;

  // A quick-link row's FileName is taken at every start, so that one left
  // from a click whose start never came is not played later.
  std::string playNowFile;
  {
    std::lock_guard lock(d.playNowMutex);
    playNowFile.swap(d.playNowFile);
  }
  if (app.playNowFlag.load() == 0)
    playNowFile.clear();
  if (!playNowFile.empty()) {
    const std::optional<bool> inTable = songInTable(app, playNowFile);
    if (!inTable) {
      // Tried again next round with the row's song, as any refused start.
      {
        std::lock_guard lock(d.playNowMutex);
        d.playNowFile = playNowFile;
      }
      uint32_t expected = 0;
      app.run.playerRequest.compare_exchange_strong(expected, request);
      ps.startRefused.store(1);
      return;
    }
    if (!*inTable) {
      // The row's song has left the song table (deleted, or another table
      // is in use now): nothing is played, and the song playing goes on.
      d.playNowRecord.store(-1);
      app.playNowFlag.store(0);
      return;
    }
  }
  // A skip of a song already over (its end was found, its Score raised) is
  // only the way on to the next one.
  if (request == kPlayerSkip && s.autoRate != 0 && ps.songOver.load() == 0)
    adjustRating(app, false);

  app.run.playerRunning.store(1);
  setPlayPosition(app, -1);
  // A file that followed on is still playing: it is kept if it is the song
  // this start chooses.
  const std::string followed = request == kPlayerStart ? ps.followedOn : std::string();
  if (followed.empty())
    closeMedia(app);

  ExclusiveAccess access(app, BusyCode::Player, kPlayerPatience);
  if (!access.held()) {
    // Tried again next round, unless a newer request came meanwhile. A skip
    // has been rated already, so it comes back as a plain start.
    uint32_t expected = 0;
    app.run.playerRequest.compare_exchange_strong(expected, request == kPlayerSkip ? kPlayerStart : request);
    ps.startRefused.store(1);
    return;
  }

  const uint32_t build = app.run.buildState.load();
  if (build >= 1 && build < kOfflineFirst)
    app.run.buildState.store(kBuildWanted);

  // A paused song resumes on a plain Play; a Play Now, a skip or "last song
  // again" choose a song afresh.
  // The flag is set after the record it names, so a set flag finds it.
  const int32_t playNowRecord = app.playNowFlag.load() != 0 ? d.playNowRecord.exchange(-1) : -1;
  const bool playNow = playNowRecord >= 0 || !playNowFile.empty();
  const bool resuming = ps.pausePosition.load() != 0 && request == kPlayerStart && !playNow;
  bool keepRow = playNow || request == kPlayerLastSong;
  bool nextValid = false;
  if (!resuming) {
    ps.pausePosition.store(0);
    ps.videoShowing.store(0);
    markQuickLinksOutOfDate(app);
    char file[sizeof d.currentSongFile];
    if ((request == kPlayerLastSong && s.lastSongIndex[0] != -1) || playNow) {
      app.jobs.nextDetailsReady.store(0);
      if (!playNowFile.empty())
        text::copy(file, sizeof file, playNowFile.c_str());
      else
        readRecordFileName(app, playNow ? playNowRecord : popLastSong(app), file, sizeof file);
    } else {
      readRowFileName(app, 0, file, sizeof file);
      if (app.jobs.nextDetailsReady.load() == 1 && std::strcmp(d.nextSongFile, file) != 0)
        app.jobs.nextDetailsReady.store(0);
      // The record still names the song that played before this one.
      const int32_t previous = d.currentSongRecord.load();
      if (request != kPlayerLastSong && previous != -1 && previous != s.lastSongIndex[0])
        pushLastSong(app, previous);
      app.playNowFlag.store(0);
    }
    setCurrentSongFile(app, file);
    // Released once the name has changed: a cover loader that finishes now
    // either sees the new name and drops its picture, or stored it before
    // this release cleared it.
    library::releaseCover(app);
    // Each song gets its own tries at a cover: failures of the songs before
    // do not keep its picture away.
    app.jobs.coverFailures.store(0);
    app.jobs.currentMediaType.store(library::mediaType(s, d.currentSongFile));

    // The details: the preloaded ones when they belong to this song, else
    // loaded now (this also sets the record and its Score).
    nextValid = app.jobs.nextDetailsReady.load() == 1;
    if (nextValid) {
      setCurrentDetails(app, d.next);
      d.currentSongRecord.store(d.nextSongRecord);
      d.currentSongScore.store(d.next.score);
      app.jobs.nextDetailsReady.store(0);
    } else {
      loadCurrentDetails(app);
    }
  }

  const bool video = app.jobs.currentMediaType.load() >= kFirstVideoType;
  platform::PlaybackService* p = playbackOf(app);
  const bool following = !followed.empty() && followed == d.currentSongFile && p != nullptr && p->isOpen();
  if (!followed.empty() && !following)
    closeMedia(app);
  ps.followedOn.clear();
  bool opened = following;
  if (p != nullptr && !following) {
    // The video waits off screen until the layout places it (request 6).
    const uint32_t w = ps.windowWidth.load();
    const uint32_t h = ps.windowHeight.load();
    platform::VideoTarget target;
    target.window = video ? ps.videoWindow.load() : 0;
    target.x = kOffScreen;
    target.y = kOffScreen;
    target.width = static_cast<int32_t>(w > kSmallestVideo ? w / 2 : kSmallestVideo);
    target.height = static_cast<int32_t>(w > kSmallestVideo ? h / 2 : kSmallestVideo);
    p->setVideoTarget(target);
    p->setFullScreen(false);
    if (d.currentSongFile[0] != '\0') {
      // The cached copy when the buffer cache holds one; a copy that does
      // not play gives way to the song itself.
      const std::string file = library::playablePath(app, d.currentSongFile);
      opened = p->open(file.c_str());
      if (!opened && file != d.currentSongFile && app.run.buildState.load() < kOfflineFirst) {
        app.jobs.bufferStage.store(kUnbuffered);
        opened = p->open(d.currentSongFile);
      }
    }
  }
  if (opened) {
    ps.endPosition.store(songEnd(d.current.endPoint, p->length()));
    if (following) {
      if (d.current.startPoint != 0)
        p->playFrom(d.current.startPoint);
    } else if (video && fullScreenWanted(app)) {
      p->setFullScreen(true);
      p->play();
    } else if (resuming) {
      p->playFrom(ps.pausePosition.load());
    } else if (d.current.startPoint != 0) {
      p->playFrom(d.current.startPoint);
    } else {
      p->play();
    }
  } else {
    ps.endPosition.store(0);
    if (app.run.diagnostics.load() != 0 && app.ui)
      app.ui->messageBox("Plinka 1.4", "Plinka.exe");
  }

  if (!resuming && !keepRow)
    app.list.remove(0);
  access.release();
  // The new song's quick-link lists are built now rather than at the next
  // heartbeat tick.
  askForQuickLinks(app);

  ps.songOver.store(0);
  if (video)
    ps.videoShowing.store(1);
  ps.changed |= PlayerChange::NowPlaying;
  ps.pausePosition.store(0);
  moveSeekBar(app, 0);
}

void pauseSong(PlayContext& app) {
  PlayerState& ps = app.player;
  if (app.run.playerRunning.load() == 0)
    return;
  app.run.playerRunning.store(0);
  platform::PlaybackService* p = playbackOf(app);
  const uint32_t position = p != nullptr && p->isOpen() ? p->position() : 0;
  // Paused at the very start still counts as paused (0 would mean "not
  // paused", and the next Play would pass the song by).
  ps.pausePosition.store(position != 0 ? position : 1);
  closeMedia(app);
  ps.changed |= PlayerChange::Stopped;
  askForListBuild(app);
}

void stopSong(PlayContext& app) {
  app.run.playerRunning.store(0);
  closeMedia(app);
  app.player.pausePosition.store(0);
  app.player.changed |= PlayerChange::Stopped;
  askForListBuild(app);
}

void restartSong(PlayContext& app) {
  platform::PlaybackService* p = playbackOf(app);
  if (p != nullptr && p->isOpen()) {
    // A song found over and played again ends (and is followed) once more.
    app.player.songOver.store(0);
    p->playFrom(app.details.current.startPoint);
    if (fullScreenWanted(app)) {
      p->setFullScreen(true);
      p->play();
    }
  }
  moveSeekBar(app, 0);
}

void placeVideo(PlayContext& app) {
  PlayerState& ps = app.player;
  platform::PlaybackService* p = playbackOf(app);
  if (p == nullptr)
    return;
  platform::VideoTarget target;
  target.window = ps.videoWindow.load();
  target.x = static_cast<int32_t>(ps.videoWidth.load()) - ps.videoOriginX.load();
  target.y = kVideoTop - ps.videoOriginY.load();
  target.width = static_cast<int32_t>(ps.videoWidth.load());
  target.height = static_cast<int32_t>(ps.videoHeight.load());
  p->setVideoTarget(target);
}

void handleRequest(PlayContext& app, uint32_t request) {
  switch (request) {
  case kPlayerStart:
  case kPlayerSkip:
  case kPlayerLastSong:
    startSong(app, request);
    break;
  case kPlayerPause:
    pauseSong(app);
    break;
  case kPlayerStop:
    stopSong(app);
    break;
  case kPlayerSeek:
    if (platform::PlaybackService* p = playbackOf(app); p != nullptr && p->isOpen())
      p->playFrom(app.player.seekPosition.load());
    break;
  case kPlayerPlaceVideo:
    placeVideo(app);
    break;
  case kPlayerRestart:
    restartSong(app);
    break;
  default:
    break;
  }
}

bool startsSong(uint32_t request) {
  return request == kPlayerStart || request == kPlayerSkip || request == kPlayerLastSong;
}

}  // namespace

namespace {

// The top row follows the current song without a break when both are sound
// alone and nothing else decides the next song: no Play Now, a second row
// to keep the list going, no EndPoint that ends the current song early.
std::string nextToFollow(PlayContext& app) {
  const DetailsState& d = app.details;
  const uint32_t type = app.jobs.currentMediaType.load();
  if (type == 0 || type >= kFirstVideoType || d.current.endPoint != 0 || app.playNowFlag.load() != 0 ||
      app.list.size() < 2 || app.player.songOver.load() != 0)
    return {};
  char file[sizeof d.currentSongFile] = {};
  readRowFileName(app, 0, file, sizeof file);
  const uint32_t nextType = library::mediaType(app.settings, file);
  return nextType != 0 && nextType < kFirstVideoType ? std::string(file) : std::string();
}

// Keeps the playback's queued file in step with the top row; takes note when
// the queued file has taken over. True then: the song that was playing is
// over.
bool followOn(PlayContext& app, platform::PlaybackService* p) {
  PlayerState& ps = app.player;
  if (p == nullptr || !p->isOpen())
    return false;
  std::string took = p->takeFollowOn();
  if (!took.empty()) {
    ps.queuedNext.clear();
    ps.followedOn = std::move(took);
    return true;
  }
  if (!ps.followedOn.empty())
    return false;
  const std::string wanted = nextToFollow(app);
  if (wanted != ps.queuedNext && p->setNext(wanted.c_str()))
    ps.queuedNext = wanted;
  return false;
}

}  // namespace

namespace {

void pollSong(PlayContext& app) {
  PlayerState& ps = app.player;
  platform::PlaybackService* p = playbackOf(app);
  if (followOn(app, p)) {
    // Over like any song heard to its end; the start that follows keeps the
    // file that already plays.
    if (ps.songOver.exchange(1) == 0 && app.settings.autoRate != 0)
      adjustRating(app, true);
    uint32_t none = 0;
    app.run.playerRequest.compare_exchange_strong(none, kPlayerStart);
    return;
  }
  const uint32_t position = p != nullptr && p->isOpen() ? p->position() : 0;
  const uint32_t previous = app.jobs.previousPlayPosition.load();
  setPlayPosition(app, static_cast<int32_t>(position));
  // The length may become known, or grow past a first estimate, only while
  // the song plays: the end follows it. Asked after the position, so that a
  // length learnt in between can only move the end away.
  const bool open = p != nullptr && p->isOpen();
  const uint32_t end = open ? songEnd(app.details.current.endPoint, p->length()) : 0;
  ps.endPosition.store(end);

  // Reached or passed the end (a set EndPoint, or a backend that stops a
  // little short of or past the length it announced), or stalled. An open
  // song whose length is not known yet is not over; one that did not open is.
  if (ps.stallCount.load() > kStallLimit || (position >= end && (end != 0 || !open))) {
    // Rated once; a file that never opened was not heard and keeps its Score.
    if (ps.songOver.exchange(1) == 0 && app.settings.autoRate != 0 && end != 0)
      adjustRating(app, true);
    // The next song is asked for at every poll while this one is over, never
    // over a request that waits: a request taken meanwhile that leaves the
    // song at its end (the video's place, say) cannot leave the player there.
    uint32_t none = 0;
    app.run.playerRequest.compare_exchange_strong(none, kPlayerStart);
  } else if (position == previous || position == 0) {
    ps.stallCount.fetch_add(1);
  } else {
    ps.stallCount.store(0);
  }

  if (position != 0 && end != 0) {
    const uint64_t f64 = static_cast<uint64_t>(position) * kSeekBarRange / end;
    const uint32_t f = f64 > kSeekBarRange ? kSeekBarRange : static_cast<uint32_t>(f64);
    const uint32_t c = ps.seekBar.load();
    // The bar moves forward only: one pulled back waits for the song.
    if (c < kSeekBarRange ? c < f : f < kSeekBarRange)
      moveSeekBar(app, f);
  }
}

}  // namespace

void pollPlayer(PlayContext& app) {
  pollSong(app);
  tellFrontEnd(app);
}

namespace {

// The next poll is due after the usual interval; with a song queued to
// follow on, no later than the moment the current one's end is reached, so
// the one that follows is taken note of (and named) as it is heard.
uint32_t untilNextPoll(PlayContext& app) {
  const PlayerState& ps = app.player;
  const int32_t position = ps.playPosition.load();
  const uint32_t end = ps.endPosition.load();
  if (ps.queuedNext.empty() || position <= 0 || end == 0)
    return kPlayerPollMs;
  const uint32_t left = static_cast<uint32_t>(position) < end ? end - static_cast<uint32_t>(position) : 0;
  return std::clamp(left + kFollowOnMarginMs, kFollowOnMarginMs, kPlayerPollMs);
}

// A request the next round would take: a start only while the list holds a
// row (or a Play Now names its song), the others at once. A single row is
// played: a song waiting in the list that Play never plays would be a list
// that silently does nothing.
bool requestTakeable(PlayContext& app, uint32_t request) {
  return request != 0 && (!startsSong(request) || !app.list.empty() || app.playNowFlag.load() != 0);
}

}  // namespace

uint32_t playerRound(PlayContext& app) {
  uint32_t request = app.run.playerRequest.load();
  // Taken only as it was seen: a request set meanwhile stays for the next
  // round, never lost.
  if (requestTakeable(app, request) && app.run.playerRequest.compare_exchange_strong(request, 0)) {
    handleRequest(app, request);
    app.playNowFlag.store(0);
    app.player.changed |= PlayerChange::Controls;
    tellFrontEnd(app);
    noticeStatusChanged(app);
    app.player.stallCount.store(0);
    app.player.seekPosition.store(0);
  }
  if (app.run.playerRunning.load() != 0) {
    pollPlayer(app);
    return untilNextPoll(app);
  }
  return kPlayerIdleMs;
}

void playerLoop(PlayContext& app) {
  RunState& run = app.run;
  PlayerState& ps = app.player;
  platform::PlaybackService* p = playbackOf(app);
  if (p != nullptr)
    p->setEventHook([&app] {
      app.player.playbackNews.store(1);
      app.run.wake.notify();
    });
  // A round runs when its interval is over, or at once for a request it can
  // take or for news from the playback; a start that was refused waits for
  // the whole interval before it is tried again.
  WakeSignal::Deadline roundAt = std::chrono::steady_clock::now();
  for (;;) {
    const uint64_t seen = run.wake.generation();
    if (isClosingCode(run.commandSlot.load()) || run.appEnding.load() != 0)
      break;
    const bool due = std::chrono::steady_clock::now() >= roundAt;
    const bool early = ps.startRefused.load() == 0 &&
                       (ps.playbackNews.exchange(0) != 0 || requestTakeable(app, run.playerRequest.load()));
    if (due || early) {
      if (due)
        ps.startRefused.store(0);
      roundAt = deadlineIn(app, playerRound(app));
      continue;
    }
    run.wake.waitChange(seen, roundAt);
  }
  if (p != nullptr)
    p->setEventHook(nullptr);
  setPlayPosition(app, -1);
  closeMedia(app);
}

void installPlayer(PlayContext& app) {
  if (!app.hooks.startDetailsLoader)
    app.hooks.startDetailsLoader = [&app] { startDetailsLoader(app); };
}

}  // namespace plinka::play
