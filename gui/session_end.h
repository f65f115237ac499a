// A logout or a system shutdown does not wait for the orderly end of the run:
// the settings and the State's list, with the main window's place and column
// widths, are saved at once when the session manager asks the program to
// save, or when the program is told to end by SIGTERM or SIGHUP.
#pragma once

#include <functional>

namespace plinka {
struct App;
}

namespace plinka::gui {

// Installs the handlers; call once on the GUI thread after the QApplication
// exists. `storeWindow` writes the window's place and column widths into the
// settings; it runs before each save. A signal saves and then leaves the
// event loop.
void saveAtSessionEnd(App& app, std::function<void()> storeWindow);

}  // namespace plinka::gui
