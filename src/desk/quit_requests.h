// The window's ways of asking the run to end: closing the main window, the
// tray's Exit and the Quit commands. The heartbeat carries the end out (see
// app/end_of_run.h).
#pragma once

namespace plinka {

struct App;

// A request to close the main window (caption button, system menu). The
// window is never destroyed here: the first close asks to quit, a second one
// while the quit is pending asks long jobs to stop, one while leaving ends
// the run, and one after the end posts WindowCommand::EndRun again.
void requestClose(App& app);

// "Exit" from the tray menu: while a quit waits for a busy job, frees the
// busy code (and asks long jobs to stop) so that the quit goes ahead; while
// leaving, ends the run; otherwise asks to quit. Refreshes the status texts.
void requestExit(App& app);

// Puts the quit code into the command slot for a window command without
// keeping the calling (GUI) thread: the slot lock is tried for a moment, and
// when another thread holds it meanwhile the post is finished on a job
// thread. Does nothing once the run is ending.
void postQuit(App& app);

// Posts WindowCommand::EndRun to the main window, which destroys it.
void postEndCommand(App& app);

}  // namespace plinka
