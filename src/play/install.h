// Puts the song-choosing jobs into an App: the list build the background
// worker runs, the details loader the heartbeat starts, and the list commands
// the command processor runs. Called once before the scheduler starts.
#pragma once

namespace plinka {
struct App;
}

namespace plinka::play {

void installSongChoosing(App& app);

}  // namespace plinka::play
