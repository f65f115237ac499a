#include "gui/session_end.h"

#include "app/app.h"
#include "app/scheduler.h"
#include "app/settings_file.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace plinka::gui {

namespace {

// The signal handler only writes a byte; the GUI thread does the saving.
int signalPipe[2] = {-1, -1};

void onSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}

}  // namespace

void stopThreadsWithLoopRunning(App& app) {
  QEventLoop loop;
  std::thread stopper([&app, &loop] {
    stopScheduler(app);
    // By name: nothing this thread wrote travels through Qt's queue.
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  loop.exec();
  stopper.join();
}

RunEnd::RunEnd(App& app, QObject* context, std::function<void()> windowGoes)
    : app_(app), context_(context), windowGoes_(std::move(windowGoes)) {}

void RunEnd::endRun() {
  if (ended_)
    return;
  if (QWidget* shown =
          QApplication::activePopupWidget() ? QApplication::activePopupWidget() : QApplication::activeModalWidget()) {
    if (auto* dialog = qobject_cast<QDialog*>(shown))
      dialog->reject();
    else
      shown->close();
    QMetaObject::invokeMethod(
        context_, [this] { endRun(); }, Qt::QueuedConnection);
    return;
  }
  finishRun();
  QApplication::quit();
}

void RunEnd::finishRun() {
  if (ended_)
    return;
  ended_ = true;
  if (windowGoes_)
    windowGoes_();
  saveSettings(app_);
  stopThreadsWithLoopRunning(app_);
  saveSettings(app_);
}

void saveAtSessionEnd(App& app, std::function<void()> storeWindow) {
  auto save = [&app, storeWindow] {
    if (storeWindow)
      storeWindow();
    saveSettings(app);
  };
  QObject::connect(qApp, &QGuiApplication::commitDataRequest, qApp, [save](QSessionManager&) { save(); });

  if (signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
    return;
  auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, qApp);
  QObject::connect(notifier, &QSocketNotifier::activated, qApp, [save, notifier] {
    char byte = 0;
    [[maybe_unused]] const ssize_t got = ::read(signalPipe[1], &byte, 1);
    notifier->setEnabled(false);
    save();
    QApplication::exit(0);
  });
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

}  // namespace plinka::gui
