#include "gui/qt_ui.h"

#include "app/app.h"
#include "gui/main_window.h"
#include "gui/qt_text.h"
#include "gui/question_dialog.h"
#include "gui/rating_keypad.h"
#include "gui/welcome_dialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>
#include <QUrl>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace plinka::gui {

namespace {

// The filters as a file dialog takes them: "Name (*.mp3 *.wav)" joined by
// ";;"; `chosen` becomes the 1-based filter `selected`.
QString filterText(const std::vector<FileFilter>& filters, uint32_t selected, QString& chosen) {
  QStringList parts;
  for (size_t i = 0; i < filters.size(); ++i) {
    QString patterns = toQ(filters[i].patterns);
    patterns.replace(';', ' ');
    const QString part = toQ(filters[i].name) + " (" + patterns + ")";
    parts << part;
    if (i + 1 == selected)
      chosen = part;
  }
  return parts.join(";;");
}

// The accept button of the chooser of a file that is made where none is and
// used as it is where one is.
constexpr char kNewOrExistingAccept[] = "Use";

// The folder chooser titled "Choose Folder", opening at `path` (the home
// folder when empty). True and the chosen folder in `path`, or false with
// `path` unchanged when cancelled.
bool chooseFolderOver(QWidget* parent, std::string& path) {
  QFileDialog dialog(parent, "Choose Folder", path.empty() ? QDir::homePath() : toQ(path));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (dialog.exec() != QDialog::Accepted)
    return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.first().isEmpty())
    return false;
  path = fromQ(chosen.first());
  return true;
}

// Opens programFolder + "ReadMe.htm" (programFolder ends in '/') in the
// desktop's viewer for it. A failure is not reported.
void openHelpFile(const std::string& programFolder) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(toQ(programFolder + "ReadMe.htm")));
}

}  // namespace

QtUi::QtUi(App& app) : app_(app) {}

void QtUi::attachWindow(MainWindow* window) {
  StatusTexts texts;
  {
    // Under the lock, so a status shown meanwhile is either kept here or
    // handed to the window.
    std::lock_guard lock(statusMutex_);
    window_.store(window);
    if (!earlyPending_)
      return;
    earlyPending_ = false;
    texts = early_;
  }
  if (window)
    window->applyStatus(texts);
}

uint32_t QtUi::onGuiThread(const std::function<uint32_t()>& body) {
  if (QThread::currentThread() == thread())
    return body();
  // Shared by the waiting worker and the handed-over closure, which may
  // outlive the worker's wait when the front end closes first; the body
  // itself (which refers to the worker's stack) only runs while the worker
  // still waits. Guarded by callMutex_.
  struct Call {
    bool started = false;
    bool given = false;
    bool abandoned = false;
    uint32_t answer = kPromptSecond;
  };
  auto call = std::make_shared<Call>();
  const std::function<uint32_t()>* job = &body;
  later([this, call, job] {
    {
      std::lock_guard lock(callMutex_);
      if (call->abandoned)
        return;
      // Closed since it was asked: answered without showing anything.
      if (closed_) {
        call->given = true;
        callAnswered_.notify_all();
        return;
      }
      call->started = true;
    }
    const uint32_t answer = (*job)();
    std::lock_guard lock(callMutex_);
    call->answer = answer;
    call->given = true;
    callAnswered_.notify_all();
  });
  std::unique_lock lock(callMutex_);
  callAnswered_.wait(lock, [&] { return call->given || (!call->started && closed_); });
  if (!call->given) {
    call->abandoned = true;
    return kPromptSecond;
  }
  return call->answer;
}

void QtUi::close() {
  std::lock_guard lock(callMutex_);
  closed_ = true;
  callAnswered_.notify_all();
}

QWidget* QtUi::dialogParent() const {
  if (QWidget* modal = QApplication::activeModalWidget())
    return modal;
  return window_.load();
}

void QtUi::later(std::function<void()> body) { handOff_.post(std::move(body)); }

uint32_t QtUi::prompt(const PromptRequest& request, std::string* entered) {
  const uint32_t clockSpeed = app_.clock.speed.load();
  return onGuiThread([&] { return runPromptDialog(request, entered, clockSpeed, dialogParent()); });
}

uint32_t QtUi::showWelcome() {
  app_.prompts.dialogOpen.store(1);
  const uint32_t answer = onGuiThread([this] { return runWelcome(window_.load()); });
  app_.prompts.dialogOpen.store(0);
  return answer;
}

// On the GUI thread these act at once: the fatal start-up questions ask for
// them just before the program ends, with no event loop to run a queued call.
void QtUi::openHelp() {
  const std::string folder = app_.folders.program;
  if (QThread::currentThread() == thread())
    openHelpFile(folder);
  else
    later([folder] { openHelpFile(folder); });
}

void QtUi::openFolder(const std::string& path) {
  const QUrl folder = QUrl::fromLocalFile(toQ(path));
  if (QThread::currentThread() == thread())
    QDesktopServices::openUrl(folder);
  else
    later([folder] { QDesktopServices::openUrl(folder); });
}

void QtUi::showStatus(const StatusTexts& texts) {
  {
    std::lock_guard lock(statusMutex_);
    if (!window_.load()) {
      early_ = texts;
      earlyPending_ = true;
      return;
    }
  }
  later([this, texts] {
    if (MainWindow* w = window_.load())
      w->applyStatus(texts);
  });
}

uint32_t QtUi::ratingKeypad() {
  // As with a prompt: the flag is up and the last answer cleared while the
  // keypad is open, and its answer is kept for the list command that rates.
  app_.prompts.result.store(kPromptNone);
  app_.prompts.dialogOpen.store(1);
  const uint32_t answer = onGuiThread([this] { return runRatingKeypad(dialogParent()); });
  app_.prompts.result.store(answer);
  app_.prompts.dialogOpen.store(0);
  return answer;
}

bool QtUi::chooseFolder(std::string& path) {
  bool chosen = false;
  onGuiThread([&] {
    chosen = chooseFolderOver(dialogParent(), path);
    return 0u;
  });
  return chosen;
}

bool QtUi::chooseOpenFile(const std::vector<FileFilter>& filters, uint32_t selected, std::string& path) {
  QString chosen;
  onGuiThread([&] {
    QString first;
    const QString all = filterText(filters, selected, first);
    chosen = QFileDialog::getOpenFileName(dialogParent(), QString(), toQ(path), all, &first);
    return 0u;
  });
  if (chosen.isEmpty())
    return false;
  path = fromQ(chosen);
  return true;
}

bool QtUi::chooseSaveFile(const std::vector<FileFilter>& filters, uint32_t selected, std::string& path) {
  QString chosen;
  onGuiThread([&] {
    QString first;
    const QString all = filterText(filters, selected, first);
    chosen = QFileDialog::getSaveFileName(dialogParent(), QString(), toQ(path), all, &first);
    return 0u;
  });
  if (chosen.isEmpty())
    return false;
  path = fromQ(chosen);
  return true;
}

bool QtUi::chooseNewOrExistingFile(const std::string& title, const std::vector<FileFilter>& filters, uint32_t selected,
                                   std::string& path) {
  QString chosen;
  onGuiThread([&] {
    QString first;
    const QString all = filterText(filters, selected, first);
    QFileDialog dialog(dialogParent(), toQ(title), toQ(path), all);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // A file that is there is used, never replaced: there is nothing to
    // confirm.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setLabelText(QFileDialog::Accept, kNewOrExistingAccept);
    dialog.selectNameFilter(first);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      chosen = dialog.selectedFiles().first();
    return 0u;
  });
  if (chosen.isEmpty())
    return false;
  path = fromQ(chosen);
  return true;
}

void QtUi::repaint(RepaintArea) {
  // Every area is part of the now-playing view, painted as a whole.
  later([this] {
    if (MainWindow* w = window_.load())
      w->refreshNowPlaying();
  });
}

void QtUi::playerChanged(PlayerChanges changes) {
  later([this, changes] {
    if (MainWindow* w = window_.load())
      w->showPlayerChanges(changes);
  });
}

void QtUi::openWindow(WindowKind window, uint32_t argument) {
  later([this, window, argument] {
    if (MainWindow* w = window_.load())
      w->openWindow(window, argument);
  });
}

void QtUi::showListTop() {
  later([this] {
    if (MainWindow* w = window_.load())
      w->showListTop();
  });
}

void QtUi::postCommand(WindowCommand command, uint32_t parameter) {
  later([this, command, parameter] {
    if (MainWindow* w = window_.load())
      w->runCommand(command, parameter);
  });
}

void QtUi::attachView(WindowKind kind, ProgressView* view) { views_[static_cast<int>(kind)] = view; }

void QtUi::progressLine(WindowKind window, uint32_t line, const std::string& text) {
  if (line > 1)
    return;
  report(window, [&](WaitingReports& waiting) {
    waiting.line[line] = text;
    waiting.lineSet[line] = true;
  });
}

void QtUi::workProgress(WindowKind window, const WorkProgress& progress) {
  report(window, [&](WaitingReports& waiting) {
    waiting.progress = progress;
    waiting.progressSet = true;
  });
}

void QtUi::setWindowTitle(WindowKind window, const std::string& title) {
  report(window, [&](WaitingReports& waiting) {
    waiting.title = title;
    waiting.titleSet = true;
  });
}

void QtUi::report(WindowKind window, const std::function<void(WaitingReports&)>& change) {
  const auto kind = static_cast<int>(window);
  if (kind < 0 || kind >= kWindowKinds)
    return;
  {
    std::lock_guard lock(reportMutex_);
    WaitingReports& waiting = reports_[kind];
    change(waiting);
    if (waiting.flushPosted)
      return;
    waiting.flushPosted = true;
  }
  later([this, window] { flushReports(window); });
}

void QtUi::flushReports(WindowKind window) {
  WaitingReports taken;
  {
    std::lock_guard lock(reportMutex_);
    WaitingReports& waiting = reports_[static_cast<int>(window)];
    taken = std::move(waiting);
    waiting = WaitingReports{};
  }
  ProgressView* view = views_[static_cast<int>(window)];
  if (!view)
    return;
  if (taken.titleSet)
    view->showTitle(toQ(taken.title));
  for (uint32_t line = 0; line < 2; ++line)
    if (taken.lineSet[line])
      view->showProgressLine(line, toQ(taken.line[line]));
  if (taken.progressSet)
    view->showWorkProgress(taken.progress);
}

void QtUi::messageBox(const std::string& text, const std::string& title) {
  onGuiThread([&] {
    QMessageBox::information(dialogParent(), toQ(title), toQ(text));
    return 0u;
  });
}

}  // namespace plinka::gui
