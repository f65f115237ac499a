#include "app/heartbeat.h"

#include "app/app.h"
#include "core/busy_code.h"
#include "desk/status_texts.h"
#include "library/media_types.h"

#include <string>
#include <thread>

namespace plinka {

namespace {

// Watchdog counter values.
constexpr uint32_t kEarlyReleaseTick = 25;
constexpr uint32_t kLockFreeFirst = 101;
constexpr uint32_t kLockFreeLast = 109;
constexpr uint32_t kAfterLockFree = 110;
constexpr uint32_t kClearFirst = 201;
constexpr uint32_t kImportGrace = 1000;
constexpr uint32_t kGraceWrap = 2000;
constexpr uint32_t kAfterGraceWrap = 26;

constexpr uint32_t kDiagnosticsTickWrap = 100;
constexpr uint32_t kDiagnosticsRefreshEvery = 25;

constexpr const char* kDiagnosticsTitle = "Plinka.exe";
constexpr const char* kFreedLockText = "Plinka 1.4";

void diagnosticsBox(App& app, const std::string& text) {
  if (app.run.diagnostics.load() != 0 && app.ui) {
    app.ui->messageBox(text, kDiagnosticsTitle);
  }
}

// Watchdog tick 25: frees the busy code of an owner that is no longer
// running, and gives an import its long grace.
void earlyRelease(App& app) {
  RunState& run = app.run;
  const uint32_t busy = run.busyCode.load();
  const bool ownerGone =
      (busy == codeValue(BusyCode::IdWorker) && app.idWorker.running.load() == 0) ||
      (busy == codeValue(BusyCode::SearchWindow) && app.mainWindow.searchWindowRunning.load() == 0) ||
      (busy == codeValue(BusyCode::SongEdit) && app.mainWindow.detailsPendingAction.load() == 0);
  if (ownerGone) {
    releaseExclusive(app);
  }
  if (busy == codeValue(BusyCode::Import)) {
    run.watchdogCounter.store(kImportGrace);
  }
}

void watchdog(App& app) {
  RunState& run = app.run;
  if (run.commandSlot.load() == 0 && run.busyCode.load() == 0) {
    run.watchdogCounter.store(0);
    return;
  }
  const uint32_t count = run.watchdogCounter.fetch_add(1) + 1;
  if (count == kEarlyReleaseTick) {
    earlyRelease(app);
  } else if (count > kImportGrace) {
    if (count > kGraceWrap) {
      run.watchdogCounter.store(kAfterGraceWrap);
    }
  } else if (count >= kClearFirst) {
    run.watchdogCounter.store(0);
    const uint32_t busy = run.busyCode.load();
    if (busy != 0) {
      diagnosticsBox(app, std::to_string(busy));
      run.busyCode.store(0);
    } else {
      diagnosticsBox(app, std::to_string(run.commandSlot.load()));
      run.commandSlot.store(0);
    }
  } else if (count >= kLockFreeFirst && count <= kLockFreeLast) {
    run.watchdogCounter.store(kAfterLockFree);
    if (run.slotLock.load() != 0) {
      diagnosticsBox(app, kFreedLockText);
      run.slotLock.store(0);
    } else {
      diagnosticsBox(app, std::to_string(run.busyCode.load()));
      run.busyCode.store(0);
    }
  }
}

void countDown(std::atomic<int32_t>& window) {
  if (window.load() > 0) {
    window.fetch_sub(1);
  }
}

// While the player runs and nothing is busy: at most one of the cover
// loader, the quick-link builder and the details loader, in that order.
void startPlayerJob(App& app) {
  if (app.cover.ready.load() == 0 && app.cover.loading.load() == 0 &&
      pictureSetting(app, PictureSetting::CoverArt) != 0 && app.currentMediaType.load() < library::kFirstVideoType &&
      app.cover.failures.load() != 2) {
    callHook(app.hooks.startCoverLoader);
  } else if (app.quickLinks.ready.load() == 0 &&
             (pictureSetting(app, PictureSetting::CoverChoice) > 9 ||
              pictureSetting(app, PictureSetting::QuickLinkChoice) > 9) &&
             app.quickLinks.busy.load() == 0) {
    callHook(app.hooks.startQuickLinkBuilder);
  } else if (app.details.nextReady.load() == 0 && app.details.loaderBusy.load() == 0 && app.run.listCount.load() > 3) {
    callHook(app.hooks.startDetailsLoader);
  }
}

}  // namespace

uint32_t heartbeatInterval(const App& app) {
  const RunState& run = app.run;
  const bool fast = run.commandSlot.load() != 0 && run.busyCode.load() == 0 && run.playerRunning.load() != 0;
  return fast ? kHeartbeatFastMs : kHeartbeatIdleMs;
}

bool startProcessorIfDue(App& app) {
  RunState& run = app.run;
  const uint32_t slot = run.commandSlot.load();
  if (slot == 0 || run.processorLock.load() != 0 || run.busyCode.load() != 0) {
    return false;
  }
  if (slot == kQuitCode) {
    run.commandSlot.store(kLeavingCode);
    return true;
  }
  if (isClosingCode(slot)) {
    return false;
  }
  return app.jobThreads.start([&app] { runProcessor(app); });
}

void heartbeatTick(App& app) {
  RunState& run = app.run;
  watchdog(app);
  countDown(run.userKeyWindow);
  countDown(run.altKeyWindow);

  const uint32_t slot = run.commandSlot.load();
  if (slot != 0 && run.processorLock.load() == 0 && run.busyCode.load() == 0) {
    startProcessorIfDue(app);
  } else {
    if (run.playerRunning.load() != 0) {
      app.player.previousPlayPosition.store(static_cast<uint32_t>(app.player.playPosition.load()));
      if (run.busyCode.load() == 0) {
        startPlayerJob(app);
      }
    }
    uint32_t build = run.buildState.load();
    if (run.busyCode.load() == 0 && build >= kOfflineFirst && build <= kOfflineLast) {
      // A change made meanwhile by another thread (offline locked, a build
      // requested) wins over the count.
      run.buildState.compare_exchange_strong(build, build + 1 > kOfflineEnd ? kBuildWanted : build + 1);
    }
  }

  if (run.diagnostics.load() != 0) {
    uint32_t tick = run.diagnosticsTick.load() + 1;
    if (tick > kDiagnosticsTickWrap) {
      tick = 0;
    }
    run.diagnosticsTick.store(tick);
    if (tick % kDiagnosticsRefreshEvery == 0 && tick < kDiagnosticsTickWrap) {
      refreshStatus(app);
    }
  }
}

}  // namespace plinka
