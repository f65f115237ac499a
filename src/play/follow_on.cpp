#include "play/follow_on.h"

#include "library/media_types.h"
#include "platform/playback.h"
#include "play/levelling.h"
#include "play/play_context.h"
#include "play/player.h"
#include "play/song_details.h"

#include <algorithm>

namespace plinka::play {

namespace {

// The top row follows the current song without a break when both are sound
// alone and nothing else decides the next song: no Play Now, a second row
// to keep the list going, no EndPoint that ends the current song early.
std::string nextToFollow(PlayContext& app) {
  const DetailsState& d = app.details;
  const uint32_t type = app.currentMediaType.load();
  if (type == 0 || type >= library::kFirstVideoType || d.current.endPoint != 0 || app.playNowFlag.load() != 0 ||
      app.list.size() < 2 || app.player.songOver.load() != 0)
    return {};
  char file[sizeof d.currentSongFile] = {};
  readRowFileName(app, 0, file, sizeof file);
  const uint32_t nextType = library::mediaType(app.settings, file);
  return nextType != 0 && nextType < library::kFirstVideoType ? std::string(file) : std::string();
}

}  // namespace

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
  if (wanted == ps.queuedNext)
    return false;
  // The queued file is levelled as its own song: with its preloaded
  // details when they are its, else as a song of unknown loudness.
  const DetailsState& d = app.details;
  const bool preloaded = d.nextReady.load() == 1 && wanted == d.nextSongFile;
  p->setLevelling(levellingFor(app, preloaded ? d.next : SongDetails{}));
  if (p->setNext(wanted.c_str()))
    ps.queuedNext = wanted;
  return false;
}

std::string followedOnFor(const PlayContext& app, PlayerRequest request) {
  return request == PlayerRequest::Start ? app.player.followedOn : std::string();
}

bool keepFollowedOn(PlayContext& app, const std::string& followed, platform::PlaybackService* p) {
  app.player.followedOn.clear();
  return !followed.empty() && followed == app.details.currentSongFile && p != nullptr && p->isOpen();
}

void forgetFollowOn(PlayContext& app) {
  app.player.queuedNext.clear();
  app.player.followedOn.clear();
}

uint32_t untilNextPoll(const PlayContext& app) {
  const PlayerState& ps = app.player;
  const int32_t position = ps.playPosition.load();
  const uint32_t end = ps.endPosition.load();
  if (ps.queuedNext.empty() || position <= 0 || end == 0)
    return kPlayerPollMs;
  const uint32_t left = static_cast<uint32_t>(position) < end ? end - static_cast<uint32_t>(position) : 0;
  return std::clamp(left + kFollowOnMarginMs, kFollowOnMarginMs, kPlayerPollMs);
}

}  // namespace plinka::play
