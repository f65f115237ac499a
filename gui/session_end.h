// A logout or a system shutdown does not wait for the orderly end of the run:
// the settings and the State's list are saved at once when the session
// manager asks the program to save, or when the program is told to end by
// SIGTERM or SIGHUP.
#pragma once

namespace plinka {
struct App;
}

namespace plinka::gui {

// Installs the handlers; call once on the GUI thread after the QApplication
// exists. A signal saves and then leaves the event loop.
void saveAtSessionEnd(App& app);

}  // namespace plinka::gui
