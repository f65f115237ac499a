// The end of the run: closing the main window asks to quit, the heartbeat
// hands over once no job is busy, and the run ends with command 2031 to the
// main window, which destroys it.
#pragma once

namespace plinka {

struct App;

// A request to close the main window (caption button, system menu). The
// window is never destroyed here: the first close asks to quit, a second one
// while the quit is pending asks long jobs to stop, one while leaving ends
// the run, and one after the end posts command 2031 again.
void requestClose(App& app);

// Called by the heartbeat after its loop: writes the cached edits when more
// than five wait, then sets the slot to ended and posts command 2031.
void finishRun(App& app);

}  // namespace plinka
