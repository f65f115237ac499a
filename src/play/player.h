// The player: one thread that plays the songs of the upcoming list one after
// another through the playback service. Other threads never touch the
// playback; they set the player request (run state), which wakes the player
// at once; half a second while playing and a second while stopped are only
// the longest it sleeps between polls.
//
// A start takes the top row, removes it and plays the song; the position is
// then polled twice a second until the song ends, stalls or is interrupted;
// the playback's end of stream wakes the player at once.
// The database part of every start holds BusyCode::Player, so playing and list
// building never use the song table at once.
#pragma once

#include "core/front_end.h"
#include "platform/playback.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace plinka {
struct PlayContext;
}

namespace plinka::play {

// Player requests (the run state's playerRequest).
enum class PlayerRequest : uint32_t {
  None = 0,        // nothing asked
  Start = 1,       // next song, or resume a paused one
  Pause = 2,       // pause (while playing)
  Stop = 3,        // stop
  Skip = 4,        // skip to the next song (Auto Rate: a skip)
  Seek = 5,        // play from seekPosition
  PlaceVideo = 6,  // move the video to its place
  Restart = 7,     // back to the start of the current song
  LastSong = 8,    // play the last song again
};

// Poll period while playing, and the sleep while stopped (clock ms).
constexpr uint32_t kPlayerPollMs = 500;
constexpr uint32_t kPlayerIdleMs = 1000;
// With a song queued to follow on, the poll comes this long after the
// current song's end is due (clock ms), and never sooner.
constexpr uint32_t kFollowOnMarginMs = 10;
// Polls in a row without progress after which a song counts as over.
constexpr uint32_t kStallLimit = 24;
// Patience of the player's request for exclusive access.
constexpr uint32_t kPlayerPatience = 2;
// The seek bar runs from 0 to this value.
constexpr uint32_t kSeekBarRange = 1000;
// Where a video waits until the layout places it, and the smallest size it
// is given.
constexpr int32_t kOffScreen = 9999;
constexpr uint32_t kSmallestVideo = 400;
constexpr int32_t kVideoTop = 30;

struct PlayerState {
  // The playback service. Set once before the player thread starts (main:
  // the system playback; tests: a fake); used only by the player thread.
  std::unique_ptr<platform::PlaybackService> playback;

  // The position at which the song counts as over: its EndPoint when set,
  // else the media's length; 0 while nothing is open. Written by the player;
  // read by the front end (the seek bar turns its value into a position).
  std::atomic<uint32_t> endPosition{0};
  // The last polled position; -1 while a song is being started and after the
  // thread ended. Written by the player; read by the front end and the
  // heartbeat.
  std::atomic<int32_t> playPosition{-1};
  // The position seen a tick earlier, so that the player can notice a
  // stalled song. Written by the heartbeat (a copy of playPosition); read by
  // the player.
  std::atomic<uint32_t> previousPlayPosition{0};
  // Polls in a row without progress. Written by the player and by "Play the
  // last song again" of the main window (which resets it); read by the
  // player.
  std::atomic<uint32_t> stallCount{0};
  // 0 = not paused, else the position at which the song was paused. Written
  // and read by the player.
  std::atomic<uint32_t> pausePosition{0};
  // Target of a seek request. Written by the seek bar (front end) before it
  // sets PlayerRequest::Seek, and cleared by the player after every request;
  // read by the player.
  std::atomic<uint32_t> seekPosition{0};
  // Size of the video's place, for PlayerRequest::PlaceVideo. Written by the
  // main window's layout (front end); read by the player.
  std::atomic<uint32_t> videoWidth{0};
  std::atomic<uint32_t> videoHeight{0};
  // Client area of the main window, and the native window that shows video
  // (0: none). Written by the front end; read by the player at a start.
  std::atomic<uint32_t> windowWidth{0};
  std::atomic<uint32_t> windowHeight{0};
  std::atomic<uintptr_t> videoWindow{0};
  // Where that window lies in the main window's client area: the video's
  // place is given in client coordinates and drawn relative to it. Written
  // by the front end's layout; read by the player.
  std::atomic<int32_t> videoOriginX{0};
  std::atomic<int32_t> videoOriginY{0};
  // 1 while the main window is hidden in the tray (no full-screen video
  // then). Written by the front end; read by the player.
  std::atomic<uint32_t> inTray{0};
  // 1 while a video is shown in the main window. Written by the player;
  // read by the front end's painting.
  std::atomic<uint32_t> videoShowing{0};
  // The seek bar's value, 0-1000. Written by the player (it only moves the
  // bar forward, or to 0 at a start) and by the front end when the user
  // drags it; read by both. Every change of the player's is told to the
  // front end (PlayerChange::SeekBar).
  std::atomic<uint32_t> seekBar{0};
  // 1 once the current song was found over, so the end is handled once: one
  // next-song request, one Auto Rate. Cleared at every start. Written and
  // read by the player.
  std::atomic<uint32_t> songOver{0};
  // 1 when the playback reported news (the end of the stream, a failure)
  // that the player has not looked at yet. Set by the playback's event hook
  // (a media framework thread); taken by exchange by the player thread.
  std::atomic<uint32_t> playbackNews{0};
  // 1 after a start was refused exclusive access: the put-back request waits
  // for the next whole round instead of being retried at once. Written and
  // read by the player thread.
  std::atomic<uint32_t> startRefused{0};
  // Following on without a break (see follow_on.h): the file queued on the
  // playback to follow the current song, and the one that took over and
  // awaits its start (the row, details and stack work of a normal start,
  // without a new open). Both written and read by the player thread only.
  std::string queuedNext;
  std::string followedOn;
  // The volume wanted: the slider's value in thousandths, with
  // kVolumeFadeBit for a gradual move (see play/volume.h). Written by the
  // volume controls (GUI thread), the State switch and the Options reset,
  // each followed by a wake; read by the player, the only one to set the
  // playback's volume.
  std::atomic<uint32_t> volumeRequest{1000};
  // The player's side of it: the request last taken (none yet: all bits
  // set), the volume set on the playback, and a gradual move under way.
  // Player thread only.
  uint32_t volumeTaken = 0xFFFFFFFFu;
  double volumeNow = 1.0;
  double fadeFrom = 1.0;
  double fadeTo = 1.0;
  std::optional<std::chrono::steady_clock::time_point> fadeStart;
  // What the request or poll at hand has changed so far, told to the front
  // end in one notice at its end. Written and read by the player thread only.
  PlayerChanges changed;
};

// One pass of the player thread: takes a pending request (the requests that
// start a song only while the list holds a row or a Play Now is pending) and
// handles it, then polls while the player runs. Returns how long to sleep
// before the next pass.
uint32_t playerRound(PlayContext& app);

// One poll of the playing song: position, end and stall test, seek bar.
void pollPlayer(PlayContext& app);

// The thread body: passes until the command slot holds a closing code (or
// the App ends), then closes the playback. Between polls it waits for a
// request it can take, the playback's news or the end of the run.
void playerLoop(PlayContext& app);

// Installs the details loader's start for the heartbeat unless it is there
// already. Called before the scheduler starts.
void installPlayer(PlayContext& app);

}  // namespace plinka::play
