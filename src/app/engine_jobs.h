// Puts every background job of the engine into an App before its threads
// start: list building, the details loader and the list commands, the
// deferred edit queue's writer, the ID worker, the player's hooks, the cover
// loader and the quick-link builder. Edits an earlier run kept for this start
// are queued again.
#pragma once

namespace plinka {

struct App;

void installEngineJobs(App& app);

// The song-choosing part alone: the list build the background worker runs,
// the details loader the heartbeat starts, and the list commands the
// command processor runs.
void installSongChoosing(App& app);

}  // namespace plinka
