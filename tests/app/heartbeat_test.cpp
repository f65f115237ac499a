// The heartbeat tick: watchdog, starting the processor and the player-side
// jobs, offline counting, diagnostics; and the running heartbeat thread.

#include "support/scheduler_fixture.h"

#include "app/heartbeat.h"
#include "library/media_types.h"
#include "play/list_commands.h"

#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace plinka::test {
namespace {

class HeartbeatTest : public SchedulerTest {
protected:
  void ticks(int n) {
    for (int i = 0; i < n; ++i) {
      heartbeatTick(*app);
    }
  }
  std::vector<std::string> boxTexts() {
    return ui.locked([&] {
      std::vector<std::string> texts;
      for (const auto& box : ui.messageBoxes) {
        EXPECT_EQ(box.title, "Plinka.exe");
        texts.push_back(box.text);
      }
      return texts;
    });
  }
};

TEST_F(HeartbeatTest, IntervalIsShortOnlyWhileARequestWaitsDuringPlay) {
  struct Case {
    uint32_t slot, busy, player, interval;
  };
  const Case cases[] = {
      {4, 0, 1, kHeartbeatFastMs},
      {4, 0, 0, kHeartbeatIdleMs},
      {4, 34, 1, kHeartbeatIdleMs},
      {0, 0, 1, kHeartbeatIdleMs},
  };
  for (const Case& c : cases) {
    app->run.commandSlot = c.slot;
    app->run.busyCode = c.busy;
    app->run.playerRunning = c.player;
    EXPECT_EQ(heartbeatInterval(*app), c.interval) << c.slot << " " << c.busy << " " << c.player;
  }
}

TEST_F(HeartbeatTest, WatchdogFreesWhatWasHeldTooLong) {
  struct Case {
    const char* name;
    uint32_t busy;
    uint32_t slot;
    uint32_t slotLock;
    uint32_t processorLock;  // 1: a processor that never comes back
    uint32_t idWorkerRunning;
    int changesAtTick;
    uint32_t busyAfter;
    uint32_t slotAfter;
    uint32_t slotLockAfter;
    std::vector<std::string> boxes;  // shown in diagnostics mode
  };
  const Case cases[] = {
      {"forgotten busy code", 34, 0, 0, 0, 0, 101, 0, 0, 0, {"34"}},
      {"import gets a long grace", 30, 0, 0, 0, 0, 1101, 0, 0, 0, {"30"}},
      {"ID worker gone: early release", 25, 0, 0, 0, 0, 25, 0, 0, 0, {}},
      {"ID worker still running", 25, 0, 0, 0, 1, 101, 0, 0, 0, {"25"}},
      {"slot lock left held", 34, 0, 1, 0, 0, 101, 34, 0, 0, {"Plinka 1.4"}},
      {"request nobody takes", 0, 20, 0, 1, 0, 192, 0, 0, 0, {"0", "20"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto fresh = std::make_unique<App>();
    FakeUi boxes;
    fresh->ui = &boxes;
    RunState& run = fresh->run;
    run.diagnostics = 1;
    run.busyCode = c.busy;
    run.commandSlot = c.slot;
    run.slotLock = c.slotLock;
    run.processorLock = c.processorLock;
    fresh->idWorker.running = c.idWorkerRunning;

    for (int i = 1; i < c.changesAtTick; ++i) {
      heartbeatTick(*fresh);
    }
    EXPECT_EQ(run.busyCode.load(), c.busy) << "too early";
    EXPECT_EQ(run.commandSlot.load(), c.slot) << "too early";
    EXPECT_EQ(run.slotLock.load(), c.slotLock) << "too early";
    heartbeatTick(*fresh);
    EXPECT_EQ(run.busyCode.load(), c.busyAfter);
    EXPECT_EQ(run.commandSlot.load(), c.slotAfter);
    EXPECT_EQ(run.slotLock.load(), c.slotLockAfter);
    std::vector<std::string> shown;
    for (const auto& box : boxes.messageBoxes) {
      EXPECT_EQ(box.title, "Plinka.exe");
      shown.push_back(box.text);
    }
    EXPECT_EQ(shown, c.boxes);
    fresh.reset();
  }
}

TEST_F(HeartbeatTest, EarlyReleaseOnlyForOwnersThatAreGone) {
  struct Case {
    uint32_t busy;
    uint32_t searchOpen;
    uint32_t detailsAction;
    bool freed;
  };
  const Case cases[] = {
      {26, 0, 0, true}, {26, 1, 0, false}, {36, 0, 0, true}, {36, 0, 1, false}, {34, 0, 0, false},
  };
  for (const Case& c : cases) {
    auto fresh = std::make_unique<App>();
    fresh->run.busyCode = c.busy;
    fresh->mainWindow.searchWindowRunning = c.searchOpen;
    fresh->mainWindow.detailsPendingAction = c.detailsAction;
    for (int i = 0; i < 25; ++i) {
      heartbeatTick(*fresh);
    }
    EXPECT_EQ(fresh->run.busyCode.load(), c.freed ? 0u : c.busy) << c.busy;
  }
}

TEST_F(HeartbeatTest, WatchdogRestsWhenNothingWaits) {
  app->run.busyCode = codeValue(BusyCode::ListBuild);
  ticks(50);
  app->run.busyCode = 0;
  ticks(1);
  EXPECT_EQ(app->run.watchdogCounter.load(), 0u);
  app->run.busyCode = codeValue(BusyCode::ListBuild);
  ticks(100);
  EXPECT_EQ(app->run.busyCode.load(), codeValue(BusyCode::ListBuild)) << "the count started again from 0";
}

TEST_F(HeartbeatTest, QuitBecomesLeavingOnlyWhenNothingRuns) {
  app->run.commandSlot = kQuitCode;
  app->run.busyCode = codeValue(BusyCode::ListBuild);
  ticks(1);
  EXPECT_EQ(app->run.commandSlot.load(), kQuitCode);
  app->run.busyCode = 0;
  app->run.processorLock = 1;
  ticks(1);
  EXPECT_EQ(app->run.commandSlot.load(), kQuitCode);
  app->run.processorLock = 0;
  ticks(1);
  EXPECT_EQ(app->run.commandSlot.load(), kLeavingCode);
}

TEST_F(HeartbeatTest, PendingCommandStartsAProcessor) {
  std::atomic<uint32_t> argument{0};
  app->commandHandlers[codeValue(play::ListCommand::PlayNow)] = [&](uint32_t a) { argument = a; };
  app->run.commandSlot = codeValue(play::ListCommand::PlayNow);
  app->run.commandArgument = 8;
  ticks(1);
  app->jobThreads.waitAll();
  EXPECT_EQ(argument.load(), 8u);
  EXPECT_EQ(app->run.commandSlot.load(), 0u);
  EXPECT_EQ(app->run.busyCode.load(), 0u);
}

TEST_F(HeartbeatTest, StartsAtMostOnePlayerJobInOrderOfPreference) {
  struct Case {
    const char* name;
    std::function<void(App&)> setUp;
    const char* started;  // "" for none
  };
  const Case cases[] = {
      {"cover first", [](App& a) { a.settings.coverChoice = 10; }, "cover"},
      {"cover art off",
       [](App& a) {
         a.settings.coverArt = 0;
         a.settings.coverChoice = 10;
       },
       "quick"},
      {"video has no cover",
       [](App& a) {
         a.currentMediaType = library::kFirstVideoType;
         a.settings.quickLinkChoice = 11;
       },
       "quick"},
      {"cover failed twice",
       [](App& a) {
         a.cover.failures = 2;
         a.run.listCount = 4;
       },
       "details"},
      {"cover loading",
       [](App& a) {
         a.cover.loading = 1;
         a.run.listCount = 4;
       },
       "details"},
      {"quick links ready",
       [](App& a) {
         a.cover.ready = 1;
         a.settings.coverChoice = 10;
         a.quickLinks.ready = 1;
         a.run.listCount = 4;
       },
       "details"},
      {"quick-link builder busy",
       [](App& a) {
         a.cover.ready = 1;
         a.settings.coverChoice = 10;
         a.quickLinks.busy = 1;
       },
       ""},
      {"short list needs no details",
       [](App& a) {
         a.cover.ready = 1;
         a.run.listCount = 3;
       },
       ""},
      {"details ready",
       [](App& a) {
         a.cover.ready = 1;
         a.details.nextReady = 1;
         a.run.listCount = 50;
       },
       ""},
      {"details loader busy",
       [](App& a) {
         a.cover.ready = 1;
         a.details.loaderBusy = 1;
         a.run.listCount = 50;
       },
       ""},
      {"a job is busy", [](App& a) { a.run.busyCode = codeValue(BusyCode::ListBuild); }, ""},
      {"player stopped", [](App& a) { a.run.playerRunning = 0; }, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto fresh = std::make_unique<App>();
    std::string started;
    fresh->hooks.startCoverLoader = [&]() { started += "cover"; };
    fresh->hooks.startQuickLinkBuilder = [&]() { started += "quick"; };
    fresh->hooks.startDetailsLoader = [&]() { started += "details"; };
    fresh->settings.coverArt = 1;
    fresh->run.playerRunning = 1;
    fresh->player.playPosition = 1234;
    c.setUp(*fresh);
    heartbeatTick(*fresh);
    EXPECT_EQ(started, c.started);
    EXPECT_EQ(fresh->player.previousPlayPosition.load(), fresh->run.playerRunning.load() ? 1234u : 0u);
  }
}

TEST_F(HeartbeatTest, OfflineModeCountsUpAndEndsItselfUnlessLockedOrBusy) {
  app->run.buildState = kOfflineFirst;
  ticks(600);
  EXPECT_EQ(app->run.buildState.load(), kOfflineEnd);
  ticks(1);
  EXPECT_EQ(app->run.buildState.load(), kBuildWanted) << "a new list is requested";

  app->run.buildState = kOfflineLocked;
  ticks(700);
  EXPECT_EQ(app->run.buildState.load(), kOfflineLocked);

  app->run.buildState = 1200;
  app->run.busyCode = codeValue(BusyCode::ListBuild);
  ticks(5);
  EXPECT_EQ(app->run.buildState.load(), 1200u);
}

TEST_F(HeartbeatTest, KeyWindowsCountDownToZero) {
  app->run.userKeyWindow = 2;
  app->run.altKeyWindow = 1;
  ticks(3);
  EXPECT_EQ(app->run.userKeyWindow.load(), 0);
  EXPECT_EQ(app->run.altKeyWindow.load(), 0);
}

TEST_F(HeartbeatTest, DiagnosticsRefreshesFourTimesPerRoundWithTheSpinner) {
  app->run.diagnostics = 1;
  ticks(101);
  const auto statuses = ui.locked([&] { return ui.statuses; });
  ASSERT_EQ(statuses.size(), 4u);
  const char* spinners[] = {" -", " \\", " |", " /"};
  for (size_t i = 0; i < 4; ++i) {
    const std::string& text = statuses[i].part[0];
    EXPECT_EQ(text.substr(text.size() - 2), spinners[i]);
  }
}

// --- the running heartbeat ---

TEST_F(HeartbeatTest, RunningWatchdogFreesAForgottenCodeAndGivesAnImportAboutAThousandMoreTicks) {
  auto importing = std::make_unique<App>();
  app->clock.speed = 10000;
  importing->clock.speed = 10000;
  app->run.busyCode = codeValue(BusyCode::ListBuild);
  importing->run.busyCode = codeValue(BusyCode::Import);
  const uint64_t start = app->clock.tickMs();
  startHeartbeat(*app);
  startHeartbeat(*importing);

  ASSERT_TRUE(waitUntil([&] { return app->run.busyCode.load() == 0; }));
  EXPECT_GE(app->clock.tickMs() - start + tickGranularity(*app), 101u * kHeartbeatIdleMs);
  EXPECT_EQ(importing->run.busyCode.load(), codeValue(BusyCode::Import)) << "the import is still within its grace";
  ASSERT_TRUE(waitUntil([&] { return importing->run.busyCode.load() == 0; }));
  EXPECT_GE(importing->clock.tickMs() - start + tickGranularity(*importing), 1101u * kHeartbeatIdleMs);
}

}  // namespace
}  // namespace plinka::test
