#include "app/scheduler.h"

#include "app/app.h"
#include "app/background_worker.h"
#include "app/end_of_run.h"
#include "app/heartbeat.h"
#include "desk/status_texts.h"
#include "play/player.h"

#include <system_error>
#include <vector>

namespace plinka {

void heartbeatLoop(App& app) {
  RunState& run = app.run;
  WakeSignal& wake = run.wake;
  refreshStatus(app);
  // The generation at the last start of a processor between ticks: the next
  // one waits for a change since (a processor just started has not taken its
  // lock yet).
  uint64_t startedAt = wake.generation() - 1;
  for (;;) {
    // Whole ticks keep their interval (the watchdog counts them); in between,
    // a request that can be dealt with is started at once.
    const WakeSignal::Deadline tickAt = deadlineIn(app, heartbeatInterval(app));
    bool leaving = false;
    for (;;) {
      const uint64_t seen = wake.generation();
      if (run.appEnding.load() != 0) {
        return;
      }
      const uint32_t slot = run.commandSlot.load();
      if (slot == kLeavingCode || slot == kEndedCode) {
        leaving = true;
        break;
      }
      if (seen != startedAt && startProcessorIfDue(app)) {
        startedAt = seen;
        continue;
      }
      if (!wake.waitChange(seen, tickAt)) {
        break;
      }
    }
    if (run.appEnding.load() != 0) {
      return;
    }
    if (!leaving) {
      heartbeatTick(app);
    }
    // Ended counts as well as leaving: a close while leaving sets it before
    // the loop has seen the leaving code.
    const uint32_t slot = run.commandSlot.load();
    if (slot == kLeavingCode || slot == kEndedCode) {
      break;
    }
  }
  finishRun(app);
}

void workerLoop(App& app) {
  RunState& run = app.run;
  for (;;) {
    const uint32_t slot = run.commandSlot.load();
    if (slot == kLeavingCode || slot == kEndedCode || run.appEnding.load() != 0) {
      break;
    }
    workerPass(app);
  }
  run.workPosition.store(kWorkEnded);
}

void startHeartbeat(App& app) {
  if (!app.scheduler.heartbeat.joinable()) {
    app.scheduler.heartbeat = std::thread([&app] { heartbeatLoop(app); });
  }
}

void startWorker(App& app) {
  if (!app.scheduler.worker.joinable()) {
    app.scheduler.worker = std::thread([&app] { workerLoop(app); });
  }
}

void startPlayer(App& app) {
  if (!app.scheduler.player.joinable()) {
    app.scheduler.player = std::thread([&app] { play::playerLoop(app); });
  }
}

void startScheduler(App& app) {
  startHeartbeat(app);
  startWorker(app);
}

void stopScheduler(App& app) {
  app.run.appEnding.store(1);
  app.run.wake.notify();
  app.jobThreads.close();
  if (app.scheduler.heartbeat.joinable()) {
    app.scheduler.heartbeat.join();
  }
  if (app.scheduler.worker.joinable()) {
    app.scheduler.worker.join();
  }
  if (app.scheduler.player.joinable()) {
    app.scheduler.player.join();
  }
  app.jobThreads.waitAll();
}

}  // namespace plinka
