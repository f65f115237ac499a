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
#include "play/follow_on.h"
#include "play/last_songs.h"
#include "play/levelling.h"
#include "play/play_context.h"
#include "play/quick_links.h"
#include "play/song_details.h"
#include "play/volume.h"
#include "text/text.h"

#include <algorithm>
#include <cmath>
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
  forgetFollowOn(app);
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
  return app.currentMediaType.load() >= library::kFirstVideoType && app.settings.fullMovie != 0 &&
         app.player.inTray.load() == 0;
}

// With Auto Build on and the list short of prepareCount, ask for a build.
void askForListBuild(PlayContext& app) {
  const SettingsRecord& s = app.settings;
  if (s.autoBuild != 0 && app.run.listCount.load() < static_cast<int32_t>(s.prepareCount) &&
      app.run.buildState.load() < kOfflineFirst)
    app.run.buildState.store(kBuildWanted);
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

// The current song's details, loaded under BusyCode::Player: through the details
// loader, or (when its preload is under way) by one lookup of our own.
void loadCurrentDetails(PlayContext& app) {
  if (runDetailsLoader(app) == LoaderRun::Ran)
    return;
  DetailsState& d = app.details;
  const int32_t record = findAndLoadSong(app, d.currentSongFile, currentUser(app));
  SongDetails found = detailsFound(app, record);
  addAlbumLoudness(app, record, found);
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

// Puts a start that could not be made back for the next round, unless a
// newer request came meanwhile; the next round waits for its whole interval.
void putBack(PlayContext& app, PlayerRequest request) {
  PlayerRequest expected = PlayerRequest::None;
  app.run.playerRequest.compare_exchange_strong(expected, request);
  app.player.startRefused.store(1);
}

// The FileName a quick-link row asked to play now, when the Play Now flag
// is still set; taken at every start, so that one left from a click whose
// start never came is not played later. Nullopt when the start ends here:
// exclusive use was not granted (the start is put back with the row's song)
// or the row's song has left the song table (deleted, or another table is
// in use now; nothing is played, and the song playing goes on).
std::optional<std::string> takePlayNowFile(PlayContext& app, PlayerRequest request) {
  DetailsState& d = app.details;
  std::string playNowFile;
  {
    std::lock_guard lock(d.playNowMutex);
    playNowFile.swap(d.playNowFile);
  }
  if (app.playNowFlag.load() == 0)
    playNowFile.clear();
  if (playNowFile.empty())
    return playNowFile;
  const std::optional<bool> inTable = songInTable(app, playNowFile);
  if (!inTable) {
    {
      std::lock_guard lock(d.playNowMutex);
      d.playNowFile = playNowFile;
    }
    putBack(app, request);
    return std::nullopt;
  }
  if (!*inTable) {
    d.playNowRecord.store(-1);
    app.playNowFlag.store(0);
    return std::nullopt;
  }
  return playNowFile;
}

// A list build pending or under way starts afresh once the start has
// changed the list.
void restartPendingBuild(PlayContext& app) {
  const uint32_t build = app.run.buildState.load();
  if (build >= 1 && build < kOfflineFirst)
    app.run.buildState.store(kBuildWanted);
}

// Which song a start plays: the Play Now choice, the top row or the last
// song again.
struct SongChoice {
  int32_t playNowRecord = -1;  // the record Play Now names, -1 when none
  std::string playNowFile;     // the FileName a quick-link row named
  bool playNow = false;        // a Play Now, by record or by FileName
  bool resuming = false;       // a paused song goes on
  bool keepRow = false;        // the top row stays in the list
};

// A paused song resumes on a plain Play; a Play Now, a skip or "last song
// again" choose a song afresh.
SongChoice chooseSong(PlayContext& app, PlayerRequest request, std::string playNowFile) {
  SongChoice c;
  // The flag is set after the record it names, so a set flag finds it.
  c.playNowRecord = app.playNowFlag.load() != 0 ? app.details.playNowRecord.exchange(-1) : -1;
  c.playNowFile = std::move(playNowFile);
  c.playNow = c.playNowRecord >= 0 || !c.playNowFile.empty();
  c.resuming = app.player.pausePosition.load() != 0 && request == PlayerRequest::Start && !c.playNow;
  c.keepRow = c.playNow || request == PlayerRequest::LastSong;
  return c;
}

// The FileName of the chosen song. The Play Now song and "last song again"
// leave the list as it is; the top row's song puts the song that played
// before it on the "last song again" stack. Preloaded details of another
// song are dropped.
void chosenFile(PlayContext& app, PlayerRequest request, const SongChoice& c, char* file, size_t cap) {
  DetailsState& d = app.details;
  if ((request == PlayerRequest::LastSong && hasLastSong(app)) || c.playNow) {
    d.nextReady.store(0);
    if (!c.playNowFile.empty())
      text::copy(file, cap, c.playNowFile.c_str());
    else
      readRecordFileName(app, c.playNow ? c.playNowRecord : popLastSong(app), file, cap);
    return;
  }
  readRowFileName(app, 0, file, cap);
  if (d.nextReady.load() == 1 && std::strcmp(d.nextSongFile, file) != 0)
    d.nextReady.store(0);
  // The record still names the song that played before this one.
  if (request != PlayerRequest::LastSong)
    stackPlayedSong(app, d.currentSongRecord.load());
  app.playNowFlag.store(0);
}

// Makes `file` the current song: its name, no cover yet, its media type and
// its details (the preloaded ones when they belong to it, else loaded now;
// this also sets the record and its Score).
void enterSong(PlayContext& app, const char* file) {
  DetailsState& d = app.details;
  setCurrentSongFile(app, file);
  // Released once the name has changed: a cover loader that finishes now
  // either sees the new name and drops its picture, or stored it before
  // this release cleared it.
  library::releaseCover(app);
  // Each song gets its own tries at a cover: failures of the songs before
  // do not keep its picture away.
  app.cover.failures.store(0);
  app.currentMediaType.store(library::mediaType(app.settings, d.currentSongFile));
  if (d.nextReady.load() == 1) {
    setCurrentDetails(app, d.next);
    d.currentSongRecord.store(d.nextSongRecord);
    d.currentSongScore.store(d.next.score);
    d.nextReady.store(0);
  } else {
    loadCurrentDetails(app);
  }
}

// Opens the current song on the playback: the cached copy when the buffer
// cache holds one; a copy that does not play gives way to the song itself.
// The video waits off screen until the layout places it (PlaceVideo).
bool openCurrentSong(PlayContext& app, platform::PlaybackService* p, bool video) {
  PlayerState& ps = app.player;
  const DetailsState& d = app.details;
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
  if (d.currentSongFile[0] == '\0')
    return false;
  const std::string file = library::playablePath(app, d.currentSongFile);
  p->setLevelling(levellingFor(app, d.current));
  bool opened = p->open(file.c_str());
  if (!opened && file != d.currentSongFile && app.run.buildState.load() < kOfflineFirst) {
    app.bufferCache.stage.store(library::BufferStage::Unbuffered);
    opened = p->open(d.currentSongFile);
  }
  return opened;
}

// Sets the opened song going: a file that followed on from its StartPoint
// (when it has one), a video full screen when wanted, a paused song from
// where it was paused, any other song from its StartPoint.
void playOpenedSong(PlayContext& app, platform::PlaybackService* p, bool following, bool video, bool resuming) {
  PlayerState& ps = app.player;
  const SongDetails& current = app.details.current;
  ps.endPosition.store(songEnd(current.endPoint, p->length()));
  if (following) {
    if (current.startPoint != 0)
      p->playFrom(current.startPoint);
  } else if (video && fullScreenWanted(app)) {
    p->setFullScreen(true);
    p->play();
  } else if (resuming) {
    p->playFrom(ps.pausePosition.load());
  } else if (current.startPoint != 0) {
    p->playFrom(current.startPoint);
  } else {
    p->play();
  }
}

// Leaves the song that played for the chosen one: no pause, no video shown,
// the quick links out of date, and the chosen song current.
void enterChosenSong(PlayContext& app, PlayerRequest request, const SongChoice& choice) {
  app.player.pausePosition.store(0);
  app.player.videoShowing.store(0);
  markQuickLinksOutOfDate(app);
  char file[sizeof app.details.currentSongFile];
  chosenFile(app, request, choice, file, sizeof file);
  enterSong(app, file);
}

// Plays the current song: the file that followed on when it is that song,
// else the song opened afresh (any other file closed first). A song that
// does not open has no end.
void playCurrentSong(PlayContext& app, const std::string& followed, bool video, bool resuming) {
  platform::PlaybackService* p = playbackOf(app);
  const bool following = keepFollowedOn(app, followed, p);
  if (!followed.empty() && !following)
    closeMedia(app);
  const bool opened = following || (p != nullptr && openCurrentSong(app, p, video));
  if (opened) {
    playOpenedSong(app, p, following, video, resuming);
  } else {
    app.player.endPosition.store(0);
    if (app.run.diagnostics.load() != 0 && app.ui)
      app.ui->messageBox("Plinka 1.4", "Plinka.exe");
  }
}

// The front end shows the started song: the whole window for a video, else
// the now-playing area, and the seek bar at its start.
void showStartedSong(PlayContext& app, bool video) {
  PlayerState& ps = app.player;
  ps.songOver.store(0);
  if (video)
    ps.videoShowing.store(1);
  ps.changed |= PlayerChange::NowPlaying;
  ps.pausePosition.store(0);
  moveSeekBar(app, 0);
}

// Start, Skip and LastSong.
void startSong(PlayContext& app, PlayerRequest request) {
  PlayerState& ps = app.player;
  std::optional<std::string> playNowFile = takePlayNowFile(app, request);
  if (!playNowFile)
    return;
  // A skip of a song already over (its end was found, its Score raised) is
  // only the way on to the next one.
  if (request == PlayerRequest::Skip && app.settings.autoRate != 0 && ps.songOver.load() == 0)
    adjustRating(app, false);

  app.run.playerRunning.store(1);
  ps.playPosition.store(-1);
  // A file that followed on is still playing: it is kept if it is the song
  // this start chooses.
  const std::string followed = followedOnFor(app, request);
  if (followed.empty())
    closeMedia(app);

  ExclusiveAccess access(app, BusyCode::Player, kPlayerPatience);
  if (!access.held()) {
    // A skip has been rated already, so it comes back as a plain start.
    putBack(app, request == PlayerRequest::Skip ? PlayerRequest::Start : request);
    return;
  }
  restartPendingBuild(app);

  const SongChoice choice = chooseSong(app, request, std::move(*playNowFile));
  if (!choice.resuming)
    enterChosenSong(app, request, choice);
  const bool video = app.currentMediaType.load() >= library::kFirstVideoType;
  playCurrentSong(app, followed, video, choice.resuming);

  if (!choice.resuming && !choice.keepRow)
    app.list.remove(0);
  access.release();
  // The new song's quick-link lists are built now rather than at the next
  // heartbeat tick.
  askForQuickLinks(app);
  showStartedSong(app, video);
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

void handleRequest(PlayContext& app, PlayerRequest request) {
  switch (request) {
  case PlayerRequest::Start:
  case PlayerRequest::Skip:
  case PlayerRequest::LastSong:
    startSong(app, request);
    break;
  case PlayerRequest::Pause:
    pauseSong(app);
    break;
  case PlayerRequest::Stop:
    stopSong(app);
    break;
  case PlayerRequest::Seek:
    if (platform::PlaybackService* p = playbackOf(app); p != nullptr && p->isOpen())
      p->playFrom(app.player.seekPosition.load());
    break;
  case PlayerRequest::PlaceVideo:
    placeVideo(app);
    break;
  case PlayerRequest::Restart:
    restartSong(app);
    break;
  default:
    break;
  }
}

bool startsSong(PlayerRequest request) {
  return request == PlayerRequest::Start || request == PlayerRequest::Skip || request == PlayerRequest::LastSong;
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
    PlayerRequest none = PlayerRequest::None;
    app.run.playerRequest.compare_exchange_strong(none, PlayerRequest::Start);
    return;
  }
  const uint32_t position = p != nullptr && p->isOpen() ? p->position() : 0;
  const uint32_t previous = app.player.previousPlayPosition.load();
  app.player.playPosition.store(static_cast<int32_t>(position));
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
    PlayerRequest none = PlayerRequest::None;
    app.run.playerRequest.compare_exchange_strong(none, PlayerRequest::Start);
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

// A request the next round would take: a start only while the list holds a
// row (or a Play Now names its song), the others at once. A single row is
// played: a song waiting in the list that Play never plays would be a list
// that silently does nothing.
bool requestTakeable(PlayContext& app, PlayerRequest request) {
  return request != PlayerRequest::None && (!startsSong(request) || !app.list.empty() || app.playNowFlag.load() != 0);
}

}  // namespace

uint32_t playerRound(PlayContext& app) {
  PlayerRequest request = app.run.playerRequest.load();
  // Taken only as it was seen: a request set meanwhile stays for the next
  // round, never lost.
  if (requestTakeable(app, request) && app.run.playerRequest.compare_exchange_strong(request, PlayerRequest::None)) {
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
  // the whole interval before it is tried again. A volume change is taken
  // at every wake; a gradual one wakes the loop for each of its steps.
  WakeSignal::Deadline roundAt = std::chrono::steady_clock::now();
  ps.volumeRequest.store(static_cast<uint32_t>(std::lround(currentVolume(app) * kVolumeCutRange)));
  for (;;) {
    const uint64_t seen = run.wake.generation();
    if (isClosingCode(run.commandSlot.load()) || run.appEnding.load() != 0)
      break;
    const std::optional<WakeSignal::Deadline> volumeStepAt = stepVolume(app);
    const bool due = std::chrono::steady_clock::now() >= roundAt;
    const bool early = ps.startRefused.load() == 0 &&
                       (ps.playbackNews.exchange(0) != 0 || requestTakeable(app, run.playerRequest.load()));
    if (due || early) {
      if (due)
        ps.startRefused.store(0);
      roundAt = deadlineIn(app, playerRound(app));
      continue;
    }
    run.wake.waitChange(seen, volumeStepAt ? std::min(roundAt, *volumeStepAt) : roundAt);
  }
  if (p != nullptr)
    p->setEventHook(nullptr);
  app.player.playPosition.store(-1);
  closeMedia(app);
}

void installPlayer(PlayContext& app) {
  if (!app.hooks.startDetailsLoader)
    app.hooks.startDetailsLoader = [&app] { startDetailsLoader(app); };
}

}  // namespace plinka::play
