// The command slot protocol: posting, exclusive access, the processor.

#include "support/scheduler_fixture.h"

#include "core/run_state.h"
#include "core/window_command_ids.h"
#include "play/list_commands.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace plinka::test {
namespace {

class RunStateTest : public SchedulerTest {};

using play::ListCommand;

// The slot words of some codes, as the slot and the busy code hold them.
constexpr uint32_t kClearList = codeValue(ListCommand::ClearList);
constexpr uint32_t kPlayNow = codeValue(ListCommand::PlayNow);
constexpr uint32_t kPlayNext = codeValue(ListCommand::PlayNext);
constexpr uint32_t kDetails = codeValue(ListCommand::Details);
constexpr uint32_t kIdWorker = codeValue(BusyCode::IdWorker);
constexpr uint32_t kListBuild = codeValue(BusyCode::ListBuild);

TEST_F(RunStateTest, PostPlacesIntoAnEmptySlotAndRefusesWhileTheRunEnds) {
  struct Case {
    const char* name;
    uint32_t slot;
    uint32_t busy;
    SlotCode code;
    PostOutcome result;
    uint32_t slotAfter;
  };
  constexpr PostOutcome kSettled = PostOutcome::Settled;
  constexpr PostOutcome kRefused = PostOutcome::Refused;
  const Case cases[] = {
      {"empty slot takes the request", 0, 0, ListCommand::ClearList, kSettled, kClearList},
      {"same code already pending", kPlayNow, 0, ListCommand::PlayNow, kSettled, kPlayNow},
      {"quit replaces a pending command", kPlayNext, 0, ClosingCode::Quit, kSettled, kQuitCode},
      {"quit replaces a pending access request", kListBuild, 0, ClosingCode::Quit, kSettled, kQuitCode},
      {"quit pending refuses", kQuitCode, 0, ListCommand::ClearList, kRefused, kQuitCode},
      {"leaving refuses", kLeavingCode, 0, ListCommand::ClearList, kRefused, kLeavingCode},
      {"ended refuses", kEndedCode, 0, ListCommand::ClearList, kRefused, kEndedCode},
      {"ended refuses even the quit", kEndedCode, 0, ClosingCode::Quit, kRefused, kEndedCode},
      {"code is the busy code", 0, kListBuild, BusyCode::ListBuild, kRefused, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto fresh = std::make_unique<App>();
    fresh->clock.speed = 1000;
    fresh->run.commandSlot = c.slot;
    fresh->run.busyCode = c.busy;
    EXPECT_EQ(post(*fresh, c.code, 77, 10), c.result);
    EXPECT_EQ(fresh->run.commandSlot.load(), c.slotAfter);
    if (c.result == kSettled && c.slotAfter == c.code.value() && c.slot != c.code.value()) {
      EXPECT_EQ(fresh->run.commandArgument.load(), 77u);
    }
    EXPECT_EQ(fresh->run.posterCount.load(), 0u);
  }
}

TEST_F(RunStateTest, PostFindingTheSlotTakenWaitsThenDropsItsRequestAndStillSettles) {
  app->clock.speed = 100;
  app->run.commandSlot = kDetails;
  app->run.commandArgument = 5;
  const uint64_t start = app->clock.tickMs();
  EXPECT_EQ(post(*app, ListCommand::Remove, 9, 10), PostOutcome::Settled);
  const uint64_t waited = app->clock.tickMs() - start;
  EXPECT_GE(waited + tickGranularity(*app), 20u * 10 * 8);  // 20 waits of patience x 8 ms
  EXPECT_EQ(app->run.commandSlot.load(), kDetails);
  EXPECT_EQ(app->run.commandArgument.load(), 5u);
}

TEST_F(RunStateTest, RequestFindingTheSlotTakenIsNotGrantedAfterOnePoll) {
  app->run.commandSlot = kDetails;
  EXPECT_EQ(requestExclusive(*app, BusyCode::ListBuild, 0, 10), AccessOutcome::NotGranted);
  EXPECT_EQ(app->run.commandSlot.load(), kDetails);
  EXPECT_EQ(app->run.busyCode.load(), 0u);
}

TEST_F(RunStateTest, RequestShortcuts) {
  app->run.busyCode = kListBuild;
  EXPECT_EQ(requestExclusive(*app, BusyCode::ListBuild, 0, 10), AccessOutcome::Granted)
      << "the owner asking again already has it";
  app->run.busyCode = 0;
  for (uint32_t closing : {kQuitCode, kLeavingCode, kEndedCode}) {
    app->run.commandSlot = closing;
    EXPECT_EQ(requestExclusive(*app, BusyCode::ListBuild, 0, 2), AccessOutcome::NotGranted) << closing;
    EXPECT_EQ(app->run.commandSlot.load(), closing);
  }
}

TEST_F(RunStateTest, PatientRequestFirstWaitsFortySecondsOnlyWhenAnythingIsPendingOrBusy) {
  app->clock.speed = 100;
  // Nothing pending: the request is posted at once and times out after its
  // polls (nobody grants it here), far sooner than 40 s.
  uint64_t start = app->clock.tickMs();
  EXPECT_EQ(requestExclusive(*app, BusyCode::IdWorker, 0, 50), AccessOutcome::NotGranted);
  EXPECT_LT(app->clock.tickMs() - start, 40000u);
  EXPECT_EQ(app->run.commandSlot.load(), 0u) << "a request that gave up took its code back";

  for (const bool pendingRequest : {true, false}) {
    SCOPED_TRACE(pendingRequest ? "request pending" : "job busy");
    auto fresh = std::make_unique<App>();
    fresh->clock.speed = 100;
    if (pendingRequest) {
      fresh->run.commandSlot = kClearList;
    } else {
      fresh->run.busyCode = kListBuild;
    }
    start = fresh->clock.tickMs();
    requestExclusive(*fresh, BusyCode::IdWorker, 0, 50);
    EXPECT_GE(fresh->clock.tickMs() - start + tickGranularity(*fresh), 40000u);
  }
}

TEST_F(RunStateTest, ReleaseFreesTheBusyCodeAndTakeEmptiesTheSlot) {
  app->run.busyCode = codeValue(BusyCode::QuickLinks);
  releaseExclusive(*app);
  EXPECT_EQ(app->run.busyCode.load(), 0u);
  EXPECT_EQ(app->run.slotLock.load(), 0u);

  app->run.commandSlot = kPlayNow;
  EXPECT_EQ(takePendingCommand(*app), kPlayNow);
  EXPECT_EQ(app->run.commandSlot.load(), 0u);
  EXPECT_EQ(app->run.lastTakenCommand.load(), kPlayNow);
  EXPECT_EQ(takePendingCommand(*app), 0u);
  EXPECT_EQ(app->run.lastTakenCommand.load(), kPlayNow) << "an empty slot is not remembered";
}

TEST_F(RunStateTest, ProcessorRunsCommandsAndGrantsAccess) {
  struct Seen {
    int calls = 0;
    uint32_t argument = 0;
    uint32_t busyWhileRunning = 0;
  };
  struct Case {
    const char* name;
    uint32_t slot;
    uint32_t busy;
    uint32_t processorLock;
    ProcessorRun result;
    uint32_t slotAfter;
    uint32_t busyAfter;
    int handlerCalls;
  };
  constexpr ProcessorRun kDone = ProcessorRun::Done;
  const Case cases[] = {
      {"command runs under its own busy code", kClearList, 0, 0, kDone, 0, 0, 1},
      {"access request is granted and kept", kIdWorker, 0, 0, kDone, 0, kIdWorker, 0},
      {"command without a handler does nothing", 7, 0, 0, kDone, 0, 0, 0},
      {"a busy job keeps the request waiting", kClearList, kListBuild, 0, kDone, kClearList, kListBuild, 0},
      {"a second processor ends at once", kClearList, 0, 1, ProcessorRun::AnotherRuns, kClearList, 0, 0},
      {"quit is never taken", kQuitCode, 0, 0, kDone, kQuitCode, 0, 0},
      {"leaving is never taken", kLeavingCode, 0, 0, kDone, kLeavingCode, 0, 0},
      {"ended is never taken", kEndedCode, 0, 0, kDone, kEndedCode, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto fresh = std::make_unique<App>();
    fresh->clock.speed = 1000;
    Seen seen;
    fresh->commandHandlers[kClearList] = [&seen, a = fresh.get()](uint32_t argument) {
      ++seen.calls;
      seen.argument = argument;
      seen.busyWhileRunning = a->run.busyCode.load();
    };
    fresh->run.commandSlot = c.slot;
    fresh->run.commandArgument = 42;
    fresh->run.busyCode = c.busy;
    fresh->run.processorLock = c.processorLock;

    EXPECT_EQ(runProcessor(*fresh), c.result);
    EXPECT_EQ(fresh->run.commandSlot.load(), c.slotAfter);
    EXPECT_EQ(fresh->run.busyCode.load(), c.busyAfter);
    EXPECT_EQ(fresh->run.processorLock.load(), c.processorLock) << "the processor lock is given back";
    EXPECT_EQ(fresh->run.slotLock.load(), 0u);
    EXPECT_EQ(seen.calls, c.handlerCalls);
    if (c.handlerCalls) {
      EXPECT_EQ(seen.argument, 42u);
      EXPECT_EQ(seen.busyWhileRunning, kClearList);
    }
    if (c.slotAfter == 0) {
      EXPECT_EQ(fresh->run.lastTakenCommand.load(), c.slot);
    }
  }
}

// --- on the running scheduler ---

TEST_F(RunStateTest, CommandsAndAccessRequestsGoThroughTheRunningProcessor) {
  std::atomic<uint32_t> argumentSeen{0};
  std::atomic<uint32_t> busySeen{0};
  app->commandHandlers[kPlayNext] = [&](uint32_t argument) {
    busySeen = app->run.busyCode.load();
    argumentSeen = argument;
    releaseExclusive(*app);
  };
  startScheduler(*app);

  EXPECT_EQ(post(*app, ListCommand::PlayNext, 3, 10), PostOutcome::Settled);
  ASSERT_TRUE(waitUntil([&] { return argumentSeen.load() == 3; }));
  EXPECT_EQ(busySeen.load(), kPlayNext);

  ASSERT_EQ(requestExclusive(*app, BusyCode::ListBuild, 0, 2), AccessOutcome::Granted);
  EXPECT_EQ(app->run.busyCode.load(), kListBuild);
  releaseExclusive(*app);
  EXPECT_EQ(app->run.busyCode.load(), 0u);
  EXPECT_TRUE(waitUntil([&] { return app->run.processorLock.load() == 0; }));
}

TEST_F(RunStateTest, PostsAndGrantsAreDealtWithBeforeTheNextWholeTick) {
  // Real time: a whole heartbeat tick is a second away, and the diagnostics
  // counter shows whether one passed.
  app->clock.speed = 1;
  app->run.diagnostics = 1;
  std::atomic<uint32_t> ticksWhenRun{99};
  app->commandHandlers[kPlayNext] = [&](uint32_t) { ticksWhenRun = app->run.diagnosticsTick.load(); };
  startScheduler(*app);

  EXPECT_EQ(post(*app, ListCommand::PlayNext, 0, 10), PostOutcome::Settled);
  ASSERT_TRUE(waitUntil([&] { return ticksWhenRun.load() != 99; }));
  EXPECT_EQ(ticksWhenRun.load(), 0u) << "the command waited for a tick";

  // The requester wakes on the grant rather than at its next poll.
  ASSERT_EQ(requestExclusive(*app, BusyCode::ListBuild, 0, 2), AccessOutcome::Granted);
  EXPECT_EQ(app->run.diagnosticsTick.load(), 0u);
  EXPECT_EQ(app->run.watchdogCounter.load(), 0u) << "no tick was counted for the wakes";
  releaseExclusive(*app);
}

TEST_F(RunStateTest, QuitPostedWhileACommandIsPendingReplacesIt) {
  // Slow enough that the watchdog never frees the job's code meanwhile.
  app->clock.speed = 10;
  std::atomic<int> removed{0};
  app->commandHandlers[codeValue(ListCommand::Remove)] = [&](uint32_t) { ++removed; };
  startScheduler(*app);

  // A job owns the list, so the command stays pending.
  ASSERT_EQ(requestExclusive(*app, BusyCode::ListBuild, 0, 2), AccessOutcome::Granted);
  EXPECT_EQ(post(*app, ListCommand::Remove, 0, 10), PostOutcome::Settled);
  EXPECT_EQ(app->run.commandSlot.load(), codeValue(ListCommand::Remove));
  EXPECT_EQ(post(*app, ClosingCode::Quit, 0, 0), PostOutcome::Settled);
  EXPECT_EQ(app->run.commandSlot.load(), kQuitCode);
  releaseExclusive(*app);

  ASSERT_TRUE(waitUntil([&] { return ui.commandsPosted().size() == 1; }));
  EXPECT_EQ(ui.commandsPosted()[0], WindowCommand::EndRun);
  EXPECT_EQ(app->run.commandSlot.load(), kEndedCode);
  EXPECT_EQ(removed.load(), 0) << "the replaced command never ran";
}

TEST_F(RunStateTest, ExclusiveAccessHasOneOwnerAtATime) {
  app->clock.speed = 10;
  app->run.playerRunning = 1;  // fast heartbeat
  startScheduler(*app);

  std::atomic<int> inside{0};
  std::atomic<bool> overlap{false};
  // The watchdog frees a code after about 100 ticks of constant contention;
  // an owner that lost its code that way explains an overlap.
  std::atomic<bool> freedByWatchdog{false};
  std::vector<std::thread> owners;
  for (const BusyCode code : {BusyCode::Player, BusyCode::Preload, BusyCode::CacheWriter}) {
    owners.emplace_back([&, code] {
      for (int granted = 0; granted < 4;) {
        if (requestExclusive(*app, code, 0, 10) != AccessOutcome::Granted) {
          continue;
        }
        ++granted;
        if (inside.fetch_add(1) != 0) {
          overlap = true;
        }
        napMs(*app, 20);
        if (app->run.busyCode.load() != codeValue(code)) {
          freedByWatchdog = true;
        }
        inside.fetch_sub(1);
        releaseExclusive(*app);
      }
    });
  }
  for (auto& owner : owners) {
    owner.join();
  }
  if (!freedByWatchdog.load()) {
    EXPECT_FALSE(overlap.load());
  }
  EXPECT_EQ(app->run.busyCode.load(), 0u);
}

}  // namespace
}  // namespace plinka::test
