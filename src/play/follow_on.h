// Following on without a break: while a song plays, the top row of the list
// is queued on the playback to follow it, so that the next song starts with
// no gap. When the queued file has taken over, the player's next start keeps
// it playing and does only the row, details and stack work of a start.
// The queued file and the one that took over are PlayerState's queuedNext
// and followedOn; all of this runs on the player thread.
#pragma once

#include <cstdint>
#include <string>

namespace plinka {
struct PlayContext;
}

namespace plinka::platform {
class PlaybackService;
}

namespace plinka::play {

enum class PlayerRequest : uint32_t;

// At a poll: keeps the playback's queued file in step with the top row, and
// takes note when the queued file has taken over. True then: the song that
// was playing is over.
bool followOn(PlayContext& app, platform::PlaybackService* p);

// At a start: the file that took over and still plays, when the start is the
// plain one that awaits it; empty for any other start.
std::string followedOnFor(const PlayContext& app, PlayerRequest request);

// Whether the start keeps the file that followed on playing: it is the song
// the start chose and the playback still has it open. Either way the file
// no longer awaits a start.
bool keepFollowedOn(PlayContext& app, const std::string& followed, platform::PlaybackService* p);

// Forgets the queued file and the one that took over (the playback closed).
void forgetFollowOn(PlayContext& app);

// How long the player waits before its next poll (clock ms): the usual
// interval; with a song queued to follow on, no later than the moment the
// current one's end is reached, so that the one that follows is taken note
// of (and named) as it is heard.
uint32_t untilNextPoll(const PlayContext& app);

}  // namespace plinka::play
