// The engine's front-end interface for the Qt program. Everything the engine
// shows or asks is done on the GUI thread: calls from worker threads are
// handed over through a GuiHandOff, and questions block the asking worker
// until the GUI thread has published the answer under a mutex.
#pragma once

#include "core/front_end.h"
#include "gui/gui_hand_off.h"
#include "gui/progress_view.h"

#include <QObject>

class QWidget;

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace plinka {
struct App;
}

namespace plinka::gui {

class MainWindow;

class QtUi : public QObject, public FrontEnd {
  Q_OBJECT

public:
  // Must be made on the GUI thread, after the QApplication.
  explicit QtUi(App& app);

  // The main window that shows the status texts and runs posted commands.
  // Set on the GUI thread before any worker thread starts; the last status
  // texts shown before it was attached are handed to it at once.
  void attachWindow(MainWindow* window);
  // The run is ending: questions asked from now on, and those not yet on
  // screen, are answered with the second button at once, so no worker waits
  // for a GUI thread that has stopped showing them. Called on the GUI thread
  // before the worker threads are joined.
  void close();
  // The open window that shows the progress lines, work progress and title
  // the engine reports for `kind` (null when none is open). GUI thread.
  void attachView(WindowKind kind, ProgressView* view);

  uint32_t prompt(const PromptRequest& request, std::string* entered) override;
  uint32_t showWelcome() override;
  void openHelp() override;
  void openFolder(const std::string& path) override;
  void showStatus(const StatusTexts& texts) override;
  uint32_t ratingKeypad() override;
  bool chooseFolder(std::string& path) override;
  bool chooseOpenFile(const std::vector<FileFilter>& filters, uint32_t selected, std::string& path) override;
  bool chooseSaveFile(const std::vector<FileFilter>& filters, uint32_t selected, std::string& path) override;
  bool chooseNewOrExistingFile(const std::string& title, const std::vector<FileFilter>& filters, uint32_t selected,
                               std::string& path) override;
  void repaint(RepaintArea area) override;
  void playerChanged(PlayerChanges changes) override;
  void openWindow(WindowKind window, uint32_t argument) override;
  void postCommand(WindowCommand command, uint32_t parameter) override;
  void progressLine(WindowKind window, uint32_t line, const std::string& text) override;
  void workProgress(WindowKind window, const WorkProgress& progress) override;
  void showListTop() override;
  void setWindowTitle(WindowKind window, const std::string& title) override;
  void messageBox(const std::string& text, const std::string& title) override;

private:
  // Runs `body` on the GUI thread and returns its result: directly when
  // already there, otherwise handed over while the caller waits for the
  // answer (given up, with kPromptSecond, when the front end closes before
  // the body has started).
  uint32_t onGuiThread(const std::function<uint32_t()>& body);
  // The window a question or chooser belongs to: the modal window open now
  // (the Database window, whose workers ask), else the main window. GUI
  // thread.
  QWidget* dialogParent() const;
  // Runs `body` later on the GUI thread, in the order of the calls.
  void later(std::function<void()> body);

  App& app_;
  // Set on the GUI thread (before worker threads start, and cleared after
  // they end); read there by the handed-over closures and by showStatus on
  // any thread.
  std::atomic<MainWindow*> window_{nullptr};
  struct WaitingReports;
  // Notes a report for `window` and, unless one is on its way, hands a flush
  // to the GUI thread. Any thread.
  void report(WindowKind window, const std::function<void(WaitingReports&)>& change);
  // Hands the reports waiting for `kind` to its window. GUI thread.
  void flushReports(WindowKind kind);

  static constexpr int kWindowKinds = static_cast<int>(WindowKind::About) + 1;
  // The window attached for each kind; reports for a kind with none are
  // dropped. GUI thread only (the handed-over closures read it there).
  ProgressView* views_[kWindowKinds] = {};
  // Reports not yet shown, per kind of window: only the latest of each
  // counts, so a fast worker (an import adding thousands of files) cannot
  // bury the GUI thread under reports it would overwrite at once. Written by
  // any reporting thread and taken by flushReports, under reportMutex_.
  struct WaitingReports {
    bool flushPosted = false;
    bool lineSet[2] = {false, false};
    std::string line[2];
    bool progressSet = false;
    WorkProgress progress;
    bool titleSet = false;
    std::string title;
  };
  std::mutex reportMutex_;
  WaitingReports reports_[kWindowKinds];
  // Carries the closures of later() to the GUI thread.
  GuiHandOff handOff_;
  // The texts of the last showStatus before a window was attached. Written
  // by any thread and read by attachWindow, under statusMutex_ (under which
  // attachWindow also sets window_).
  std::mutex statusMutex_;
  StatusTexts early_;
  bool earlyPending_ = false;
  // Set by close() on the GUI thread; read by workers waiting in onGuiThread
  // and by the closures that answer them, under callMutex_, which also
  // guards the state of every waiting call. callAnswered_ wakes the waiting
  // workers when a call is answered or the front end closes.
  std::mutex callMutex_;
  std::condition_variable callAnswered_;
  bool closed_ = false;
};

}  // namespace plinka::gui
