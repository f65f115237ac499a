// The end of a run, both ways it comes. The orderly one starts in the main
// window (Exit, closing, the end-of-run command): the window goes at once,
// the settings and the State's list are saved, and the engine's threads stop
// while the GUI thread keeps its event loop running. A logout or a system
// shutdown does not wait for that: the settings and the State's list, with
// the main window's place and column widths, are saved at once when the
// session manager asks the program to save, or when the program is told to
// end by SIGTERM or SIGHUP.
#pragma once

#include <functional>

class QObject;

namespace plinka {
struct App;
}

namespace plinka::gui {

// Stops the engine's threads on a helper thread while this (the GUI) thread
// keeps its event loop running: a thread that ends only after the GUI thread
// has answered it (a question, a queued call) can still end, and the desktop
// never sees a program that does not respond.
void stopThreadsWithLoopRunning(App& app);

// The orderly end of the run, once per run: later calls do nothing. Used on
// the GUI thread only.
class RunEnd {
public:
  // `windowGoes` is the window's part, run first: it writes the window's
  // place and column widths into the settings and hides the window.
  // `context` is the window; a deferred end is posted to it.
  RunEnd(App& app, QObject* context, std::function<void()> windowGoes);

  bool ended() const { return ended_; }
  // Ends the run and then the event loop. A question or menu still on screen
  // (a worker may be waiting for it) is answered with its second button
  // first; the run ends once its loop has unwound.
  void endRun();
  // The end itself: the window goes, the settings and the list are saved
  // before the threads are waited for (a player opening a file can take
  // seconds), the threads stop, and the settings are saved again with what
  // the threads did while they ended.
  void finishRun();

private:
  App& app_;
  QObject* context_;
  std::function<void()> windowGoes_;
  bool ended_ = false;
};

// Installs the handlers; call once on the GUI thread after the QApplication
// exists. `storeWindow` writes the window's place and column widths into the
// settings; it runs before each save. A signal saves and then leaves the
// event loop.
void saveAtSessionEnd(App& app, std::function<void()> storeWindow);

}  // namespace plinka::gui
