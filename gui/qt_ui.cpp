#include "gui/qt_ui.h"

#include "gui/main_window.h"
#include "gui/prompt_dialogs.h"
#include "shell/app.h"

#include <QApplication>
#include <QDesktopServices>
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

QString toQ(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

std::string fromQ(const QString& s) { return s.toUtf8().toStdString(); }

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

}  // namespace

QtUi::QtUi(App& app) : app_(app) {}

void QtUi::attachWindow(MainWindow* window) {
  window_ = window;
  StatusTexts texts;
  {
    std::lock_guard lock(statusMutex_);
    if (!earlyPending_)
      return;
    earlyPending_ = false;
    texts = early_;
  }
  if (window_)
    window_->applyStatus(texts);
}

uint32_t QtUi::onGuiThread(const std::function<uint32_t()>& body) {
  if (QThread::currentThread() == thread())
    return body();
  // Shared by the waiting worker and the queued call, which may outlive the
  // worker's wait when the front end closes first; the body itself (which
  // refers to the worker's stack) only runs while the worker still waits.
  struct Call {
    std::mutex mutex;
    std::condition_variable answered;
    bool started = false;
    bool given = false;
    bool abandoned = false;
    uint32_t answer = kPromptSecond;
  };
  auto call = std::make_shared<Call>();
  const std::function<uint32_t()>* job = &body;
  QMetaObject::invokeMethod(
      this,
      [this, call, job] {
        {
          std::lock_guard lock(call->mutex);
          if (call->abandoned)
            return;
          // Closed since it was asked: answered without showing anything.
          if (closed_.load()) {
            call->given = true;
            call->answered.notify_all();
            return;
          }
          call->started = true;
        }
        const uint32_t answer = (*job)();
        std::lock_guard lock(call->mutex);
        call->answer = answer;
        call->given = true;
        call->answered.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(call->mutex);
  while (!call->given) {
    if (!call->started && closed_.load()) {
      call->abandoned = true;
      return kPromptSecond;
    }
    call->answered.wait_for(lock, std::chrono::milliseconds(50));
  }
  return call->answer;
}

void QtUi::close() { closed_.store(true); }

void QtUi::later(std::function<void()> body) { QMetaObject::invokeMethod(this, std::move(body), Qt::QueuedConnection); }

uint32_t QtUi::prompt(const PromptRequest& request, std::string* entered) {
  const uint32_t clockSpeed = app_.clock.speed.load();
  return onGuiThread([&] { return runPromptDialog(request, entered, clockSpeed, window_); });
}

uint32_t QtUi::showWelcome() {
  app_.prompts.dialogOpen.store(1);
  const uint32_t answer = onGuiThread([this] { return runWelcome(window_); });
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
  if (!window_) {
    std::lock_guard lock(statusMutex_);
    early_ = texts;
    earlyPending_ = true;
    return;
  }
  later([this, texts] {
    if (window_)
      window_->applyStatus(texts);
  });
}

uint32_t QtUi::ratingKeypad() {
  // As with a prompt: the flag is up and the last answer cleared while the
  // keypad is open, and its answer is kept for the list command that rates.
  app_.prompts.result.store(kPromptNone);
  app_.prompts.dialogOpen.store(1);
  const uint32_t answer = onGuiThread([this] { return runRatingKeypad(window_); });
  app_.prompts.result.store(answer);
  app_.prompts.dialogOpen.store(0);
  return answer;
}

bool QtUi::chooseFolder(std::string& path) {
  bool chosen = false;
  onGuiThread([&] {
    chosen = gui::chooseFolder(path, window_);
    return 0u;
  });
  return chosen;
}

bool QtUi::chooseOpenFile(const std::vector<FileFilter>& filters, uint32_t selected, std::string& path) {
  QString chosen;
  onGuiThread([&] {
    QString first;
    const QString all = filterText(filters, selected, first);
    chosen = QFileDialog::getOpenFileName(window_, QString(), toQ(path), all, &first);
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
    chosen = QFileDialog::getSaveFileName(window_, QString(), toQ(path), all, &first);
    return 0u;
  });
  if (chosen.isEmpty())
    return false;
  path = fromQ(chosen);
  return true;
}

void QtUi::repaint(RepaintArea area) {
  later([this, area] {
    if (!window_)
      return;
    if (area == RepaintArea::SeekBar)
      window_->refreshSeekBar();
    else
      window_->refreshNowPlaying();
  });
}

void QtUi::refreshSystemMenu() {
  later([this] {
    if (window_)
      window_->refreshPlayerControls();
  });
}

void QtUi::openWindow(WindowKind window, uint32_t argument) {
  later([this, window, argument] {
    if (window_)
      window_->openWindow(window, argument);
  });
}

void QtUi::setPlayButtonImage(int image) {
  later([this, image] {
    if (window_)
      window_->setPlaying(image == kPlayButtonPlaying);
  });
}

void QtUi::postCommand(uint32_t command, uint32_t parameter) {
  later([this, command, parameter] {
    if (window_)
      window_->runCommand(command, parameter);
  });
}

void QtUi::messageBox(const std::string& text, const std::string& title) {
  onGuiThread([&] {
    QMessageBox::information(window_, toQ(title), toQ(text));
    return 0u;
  });
}

}  // namespace plinka::gui
