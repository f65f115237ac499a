#include "desk/quit_requests.h"

#include "app/app.h"
#include "core/job_post.h"
#include "core/window_command_ids.h"
#include "desk/status_texts.h"

#include <thread>

namespace plinka {

namespace {

constexpr uint32_t kQuitPatience = 0;
// Tries at the slot lock before the quit is handed to a job thread.
constexpr int kQuitLockTries = 100;

// One short attempt at placing the quit code, the way post() places it: the
// quit code replaces any pending request. False when the slot lock stayed
// taken.
bool placeQuitNow(App& app) {
  RunState& run = app.run;
  for (int attempt = 0; attempt < kQuitLockTries; ++attempt) {
    if (run.slotLock.exchange(1) == 0) {
      if (!isClosingCode(run.commandSlot.load())) {
        run.commandSlot.store(kQuitCode);
        run.commandArgument.store(0);
      }
      run.slotLock.exchange(0);
      return true;
    }
    std::this_thread::yield();
  }
  return false;
}

}  // namespace

void postEndCommand(App& app) {
  if (app.ui) {
    app.ui->postCommand(WindowCommand::EndRun, 0);
  }
}

void postQuit(App& app) {
  if (isClosingCode(app.run.commandSlot.load()) || placeQuitNow(app)) {
    return;
  }
  postFromJobThread(app, ClosingCode::Quit, 0, kQuitPatience, AfterPost::NoticeStatus);
}

void requestExit(App& app) {
  RunState& run = app.run;
  const uint32_t slot = run.commandSlot.load();
  if (slot == kQuitCode && run.busyCode.load() != 0) {
    // The job keeps working without the list being its own any more; asked
    // to stop, it ends its work before the run ends around it.
    run.stopRequest.store(1);
    run.busyCode.store(0);
  } else if (slot == kLeavingCode) {
    run.commandSlot.store(kEndedCode);
  } else {
    postQuit(app);
  }
  refreshStatus(app);
}

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
    postQuit(app);
  }
  refreshStatus(app);
}

}  // namespace plinka
