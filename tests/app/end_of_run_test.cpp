// The end of the run: window close requests, the hand-over after the
// heartbeat's loop, and the whole sequence on running threads.

#include "support/scheduler_fixture.h"

#include "app/end_of_run.h"
#include "core/window_command_ids.h"
#include "desk/quit_requests.h"

#include <atomic>
#include <gtest/gtest.h>
#include <vector>

namespace plinka::test {
namespace {

class EndOfRunTest : public SchedulerTest {};

TEST_F(EndOfRunTest, CloseRequestDependsOnWhereTheRunIs) {
  struct Case {
    const char* name;
    uint32_t slot;
    uint32_t slotAfter;
    uint32_t stopRequest;
    size_t endCommands;
  };
  const Case cases[] = {
      {"first close asks to quit", 0, kQuitCode, 0, 0},
      {"quit overrides a pending command", 14, kQuitCode, 0, 0},
      {"close while quitting stops long jobs", kQuitCode, kQuitCode, 1, 0},
      {"close while leaving ends the run", kLeavingCode, kEndedCode, 0, 0},
      {"close after the end asks again to destroy", kEndedCode, kEndedCode, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeUi front;
    auto fresh = std::make_unique<App>();
    fresh->ui = &front;
    fresh->run.commandSlot = c.slot;
    requestClose(*fresh);
    EXPECT_EQ(fresh->run.commandSlot.load(), c.slotAfter);
    EXPECT_EQ(fresh->run.stopRequest.load(), c.stopRequest);
    EXPECT_EQ(front.commandsPosted(), std::vector<WindowCommand>(c.endCommands, WindowCommand::EndRun));
    ASSERT_EQ(front.statuses.size(), 1u) << "the status is refreshed";
    if (c.slotAfter == kQuitCode) {
      EXPECT_EQ(front.statuses[0].part[0], "Plinka Quiting");
    }
  }
}

TEST_F(EndOfRunTest, CachedEditsAreWrittenBeforeTheEndWheneverAnyWait) {
  struct Case {
    int32_t editsWaiting;
    bool written;
  };
  for (const Case c : {Case{6, true}, Case{5, true}, Case{1, true}, Case{0, false}, Case{-1, false}}) {
    SCOPED_TRACE(c.editsWaiting);
    FakeUi front;
    auto fresh = std::make_unique<App>();
    fresh->ui = &front;
    fresh->editQueue.count = c.editsWaiting;
    fresh->run.commandSlot = kLeavingCode;
    std::vector<uint32_t> slotWhileWriting;
    size_t postedWhileWriting = 0;
    fresh->hooks.writeCachedEditsAtExit = [&] {
      slotWhileWriting.push_back(fresh->run.commandSlot.load());
      postedWhileWriting = front.commandsPosted().size();
    };
    finishRun(*fresh);
    EXPECT_EQ(slotWhileWriting, c.written ? std::vector<uint32_t>{kLeavingCode} : std::vector<uint32_t>{});
    EXPECT_EQ(postedWhileWriting, 0u);
    EXPECT_EQ(fresh->run.commandSlot.load(), kEndedCode);
    EXPECT_EQ(front.commandsPosted(), std::vector<WindowCommand>{WindowCommand::EndRun});
  }
}

TEST_F(EndOfRunTest, TwoClosesDuringShutdownStopTheLongJobAndAThirdAfterTheEndPostsAgain) {
  // Slow enough that the watchdog never frees the job's code meanwhile.
  app->clock.speed = 10;
  startScheduler(*app);
  // A long job (a list build) holds the list until asked to stop.
  std::atomic<bool> holding{false};
  app->jobThreads.start([&] {
    if (requestExclusive(*app, BusyCode::ListBuild, 0, 2) != AccessOutcome::Granted) {
      return;
    }
    holding = true;
    while (app->run.stopRequest.load() == 0 && napMs(*app, 10)) {
    }
    releaseExclusive(*app);
  });
  ASSERT_TRUE(waitUntil([&] { return holding.load(); }));

  requestClose(*app);
  EXPECT_EQ(app->run.commandSlot.load(), kQuitCode);
  requestClose(*app);
  EXPECT_EQ(app->run.stopRequest.load(), 1u);

  ASSERT_TRUE(waitUntil([&] { return ui.commandsPosted().size() == 1; }));
  EXPECT_EQ(app->run.commandSlot.load(), kEndedCode);
  requestClose(*app);
  EXPECT_EQ(ui.commandsPosted(), (std::vector<WindowCommand>{WindowCommand::EndRun, WindowCommand::EndRun}));
}

TEST_F(EndOfRunTest, RunEndedByACloseWhileLeavingIsNeverTakenAsACommand) {
  app->run.playerRunning = 1;
  startHeartbeat(*app);
  app->run.commandSlot = kEndedCode;
  ASSERT_TRUE(waitUntil([&] { return ui.commandsPosted().size() == 1; }));
  app->scheduler.heartbeat.join();
  EXPECT_EQ(app->run.commandSlot.load(), kEndedCode);
  EXPECT_EQ(app->run.lastTakenCommand.load(), 0u);
  EXPECT_EQ(app->run.busyCode.load(), 0u);
}

TEST_F(EndOfRunTest, AppEndJoinsThreadsThatAreStillWorking) {
  // Nothing asks the run to end: the App's end itself stops and joins the
  // heartbeat, the worker and a waiting requester, without posting
  // WindowCommand::EndRun.
  std::atomic<bool> returned{false};
  app->clock.speed = 1;  // the watchdog would free the busy code long after
  app->run.busyCode = codeValue(BusyCode::ListBuild);
  startScheduler(*app);
  App& running = *app;
  running.jobThreads.start([&] {
    requestExclusive(running, BusyCode::Player, 0, 2);  // patience below 5 waits as long as it takes
    returned = true;
  });
  app.reset();
  EXPECT_TRUE(returned.load());
  EXPECT_TRUE(ui.commandsPosted().empty());
}

}  // namespace
}  // namespace plinka::test
