#include "gui/session_end.h"

#include "app/app.h"
#include "app/settings_file.h"

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace plinka::gui {

namespace {

// The signal handler only writes a byte; the GUI thread does the saving.
int signalPipe[2] = {-1, -1};

void onSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}

}  // namespace

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
