// The `plinka` program: the desktop player with its main window.
#include "app/app.h"
#include "app/command_line.h"
#include "app/engine_jobs.h"
#include "app/player_presence.h"
#include "app/scheduler.h"
#include "app/settings_file.h"
#include "app/single_instance.h"
#include "core/data_folders.h"
#include "core/job_post.h"
#include "core/prompt.h"
#include "gui/filler_window.h"
#include "gui/main_window.h"
#include "gui/media_controls.h"
#include "gui/qt_ui.h"
#include "gui/session_end.h"
#include "gui/toolbar_images.h"
#include "library/buffer_cache.h"
#include "platform/instance_lock.h"
#include "platform/playback.h"
#include "platform/power.h"
#include "platform/table_lock.h"
#include "play/list_commands.h"
#include "play/list_file.h"

#include <QApplication>
#include <QDBusConnection>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

using namespace plinka;

// Patience of the import request posted at start-up.
constexpr uint32_t kImportPatience = 2;
// How long an open of the song table waits for another program (plinkactl,
// say) to let go of it before it acts as on a busy table: short, since the
// window's own commands open it too.
constexpr std::chrono::milliseconds kTableLockWait{3000};

// PLINKA_DATA names another data folder (a demo library, a test run).
void takeDataFolderFromEnvironment(Folders& folders) {
  const char* data = std::getenv("PLINKA_DATA");
  if (data == nullptr || data[0] == '\0')
    return;
  std::error_code ignored;
  std::filesystem::create_directories(data, ignored);
  // Kept absolute: the settings store paths inside it.
  folders.data = std::filesystem::absolute(data, ignored).lexically_normal().string();
  if (ignored)
    folders.data = data;
  if (folders.data.back() != '/')
    folders.data += '/';
}

// The toolbar's pictures are part of the program: without them the user is
// told where they should be, and the program ends.
void reportMissingToolbar(App& app) {
  PromptRequest request;
  request.message = "ToolBar not found in program directory";
  request.firstCaption = "OK";
  request.secondCaption = "Open directory";
  request.style = PromptStyle::SmallQuestion;
  if (askPrompt(app, request) == kPromptSecond)
    app.ui->openFolder(app.folders.program);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication qtApp(argc, argv);
  QApplication::setApplicationName("Plinka");
  QApplication::setQuitOnLastWindowClosed(false);
  platform::setTableLockWait(kTableLockWait);

  // The power control outlives the App, whose threads may use it until the
  // App ends.
  platform::SystemPowerControl power;
  auto app = std::make_unique<App>();
  gui::QtUi ui(*app);
  app->ui = &ui;
  app->folders = settleFoldersForThisProcess();
  takeDataFolderFromEnvironment(app->folders);

  const LoadOutcome outcome = loadSettings(*app);
  if (outcome.mustEnd)
    return 1;

  const Switches switches = readSwitches(commandLineOf(argc, argv));
  // Filler mode: the filler's window alone, beside any running player (no
  // instance lock is taken).
  if (switches.filler)
    return gui::runFillerProcess(*app, ui);
  // Set before the window exists: its Play button shows the playing picture,
  // and the player starts the top row as soon as it runs.
  if (playsAtLaunch(switches, app->settings))
    app->run.playerRunning.store(1);

  platform::InstanceLock instance;
  if (!claimSingleInstance(instance, platform::instanceLockPath()))
    return 0;
  // Another player (plinkactl's terminal player) on this data folder owns
  // its settings and list files: this one does not start beside it.
  platform::InstanceLock folderClaim;
  if (!claimDataFolder(folderClaim, app->folders)) {
    PromptRequest request;
    request.message = std::string("Plinka cannot start: ") + kPlayerRunningText;
    request.firstCaption = "OK";
    request.style = PromptStyle::SmallQuestion;
    askPrompt(*app, request);
    return 1;
  }
  QApplication::setWindowIcon(gui::programIcon());

  installEngineJobs(*app);
  app->player.playback = platform::makeSystemPlayback();
  app->power = &power;
  play::loadStateList(*app);
  library::startCache(*app);

  int result = 0;
  {
    gui::MainWindow window(*app);
    ui.attachWindow(&window);
    window.applyPlacement();
    window.show();
    if (!window.loadToolbarPictures()) {
      reportMissingToolbar(*app);
      ui.attachWindow(nullptr);
      return 1;
    }
    if (app->settings.onTop != 0) {
      window.setWindowFlag(Qt::WindowStaysOnTopHint, true);
      window.show();
    }
    // No more questions once the run ends: workers still asking get the
    // second answer instead of waiting for a window that is going.
    window.onEnding = [&ui] { ui.close(); };
    // The desktop's media controls (panel, lock screen, media keys) stand in
    // for the system menu's Play/Stop and Skip.
    gui::MediaControls media(
        *app, QDBusConnection::sessionBus(), [&window](WindowCommand command) { window.runCommand(command, 0); },
        [&window] {
          if (window.inTray()) {
            window.trayLeftClick();
          } else {
            window.showNormal();
            window.raise();
            window.activateWindow();
          }
        });
    window.onPlayerChanged = [&media] { media.refresh(); };
    gui::saveAtSessionEnd(*app, [&window] {
      window.storeColumnWidths();
      window.storePlacement();
    });
    startScheduler(*app);
    startPlayer(*app);
    if (outcome.importRequested) {
      // Posted from a job thread: the slot may be busy for a while, and the
      // GUI thread does not wait for it.
      postFromJobThread(*app, play::ListCommand::ImportNow, 0, kImportPatience);
    }
    window.raise();
    window.activateWindow();
    result = QApplication::exec();
    // Threads stop before the window they report to goes away; after a
    // SIGTERM this is where the run ends (the window's own end did it all
    // otherwise).
    window.onPlayerChanged = nullptr;
    window.finishRun();
    ui.attachWindow(nullptr);
  }
  app->player.playback.reset();
  return result;
}
