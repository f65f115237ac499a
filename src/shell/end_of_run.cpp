#include "shell/end_of_run.h"

#include "library/edit_queue.h"
#include "shell/app.h"

namespace plinka {

namespace {

constexpr uint32_t kEditsAtExitAbove = 5;
constexpr uint32_t kQuitPatience = 0;

void postEndCommand(App& app) {
  if (app.ui) {
    app.ui->postCommand(kEndRunCommand, 0);
  }
}

}  // namespace

void requestClose(App& app) {
  RunState& run = app.run;
  const uint32_t slot = run.commandSlot.load();
  if (slot == kQuitCode) {
    run.stopRequest.store(1);
  } else if (slot == kLeavingCode) {
    run.commandSlot.store(kEndedCode);
  } else if (slot == kEndedCode) {
    postEndCommand(app);
  } else {
    post(app, kQuitCode, 0, kQuitPatience);
  }
  refreshStatus(app);
}

void finishRun(App& app) {
  const uint32_t editsWaiting = static_cast<uint32_t>(library::editsWaiting(app));
  if (editsWaiting > kEditsAtExitAbove && editsWaiting != 0xFFFFFFFFu && app.hooks.writeCachedEditsAtExit) {
    app.hooks.writeCachedEditsAtExit(app);
  }
  app.run.commandSlot.store(kEndedCode);
  postEndCommand(app);
}

}  // namespace plinka
