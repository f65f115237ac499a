// The end of the run: once a quit has been asked for (see
// desk/quit_requests.h) and no job is busy, the heartbeat hands over and the
// run ends with WindowCommand::EndRun to the main window, which destroys it.
#pragma once

namespace plinka {

struct App;

// Called by the heartbeat after its loop: writes the cached edits when any
// wait, then sets the slot to ended and posts WindowCommand::EndRun.
void finishRun(App& app);

}  // namespace plinka
