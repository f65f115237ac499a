// The background worker's pass: which job is due, and asking for a new list.

#include "support/scheduler_fixture.h"

#include "app/background_worker.h"

#include <atomic>
#include <gtest/gtest.h>
#include <string>

namespace plinka::test {
namespace {

class BackgroundWorkerTest : public SchedulerTest {};

TEST_F(BackgroundWorkerTest, PassRunsTheFirstJobThatIsDue) {
  struct Case {
    const char* name;
    std::function<void(App&)> setUp;
    const char* ran;  // hook that ran, "" for none
    uint32_t positionInJob;
    uint32_t buildStateAfter;
    bool idleRest;  // the 10 s rest of a pass with nothing to do (a job that ran excludes it)
  };
  const Case cases[] = {
      {"build wanted", [](App& a) { a.run.buildState = kBuildWanted; }, "build", kWorkBuilding, kBuildWanted, false},
      {"build going on", [](App& a) { a.run.buildState = 1; }, "build", kWorkBuilding, 1, false},
      {"other build steps wait", [](App& a) { a.run.buildState = 5; }, "", 0, 5, false},
      {"build before buffering",
       [](App& a) {
         a.run.buildState = kBuildWanted;
         a.bufferCache.stage = library::BufferStage::Buffered;
         a.run.listCount = 30;
       },
       "build", kWorkBuilding, kBuildWanted, false},
      {"buffering",
       [](App& a) {
         a.bufferCache.stage = library::BufferStage::Buffered;
         a.run.listCount = 30;
         a.shared.hashStat = 1;
       },
       "buffer", kWorkBuffering, 0, false},
      {"no buffering while rebuffering",
       [](App& a) {
         a.bufferCache.stage = library::BufferStage::Buffered;
         a.shared.rebufferValue = 5;
         a.run.listCount = 30;
         a.shared.hashStat = 1;
       },
       "", 0, 0, true},
      {"writing cached edits",
       [](App& a) {
         a.editQueue.count = 51;
         a.run.listCount = 30;
         a.shared.hashStat = 1;
       },
       "edits", kWorkWritingEdits, 0, false},
      {"writer already running",
       [](App& a) {
         a.editQueue.count = 51;
         a.editQueue.writerRunning = 1;
         a.run.listCount = 30;
         a.shared.hashStat = 1;
       },
       "", 0, 0, true},
      {"no edits kept",
       [](App& a) {
         a.editQueue.count = -1;
         a.run.listCount = 30;
         a.shared.hashStat = 1;
       },
       "", 0, 0, true},
      {"no edits written while offline",
       [](App& a) {
         a.editQueue.count = 51;
         a.run.buildState = kOfflineFirst;
         a.run.listCount = 30;
       },
       "", 0, kOfflineFirst, true},
      {"short list asks for a build", [](App& a) { a.run.listCount = 9; }, "", 0, kBuildWanted, false},
      {"short list ends locked offline mode",
       [](App& a) {
         a.run.listCount = 9;
         a.run.buildState = kOfflineLocked;
       },
       "", 0, kBuildWanted, false},
      {"offline just begun stays",
       [](App& a) {
         a.run.listCount = 9;
         a.run.buildState = kOfflineFirst;
       },
       "", 0, kOfflineFirst, true},
      {"full list builds nothing", [](App& a) { a.run.listCount = 10, a.shared.hashStat = 1; }, "", 0, 0, true},
      {"ID worker", [](App& a) { a.run.listCount = 21; }, "ids", kWorkIdWorker, 0, false},
      {"ID worker already running",
       [](App& a) {
         a.run.listCount = 21;
         a.idWorker.running = 1;
       },
       "", 0, 0, true},
      {"hashing done", [](App& a) { a.run.listCount = 21, a.shared.hashStat = 1; }, "", 0, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto fresh = std::make_unique<App>();
    fresh->clock.speed = 1000;
    std::string ran;
    uint32_t position = 0;
    auto record = [&](const char* name) {
      return [&ran, &position, name, a = fresh.get()] {
        ran += name;
        position = a->run.workPosition.load();
      };
    };
    fresh->hooks.buildList = record("build");
    fresh->hooks.bufferingRun = record("buffer");
    fresh->hooks.cacheWriter = record("edits");
    fresh->hooks.startIdWorker = record("ids");
    c.setUp(*fresh);

    const uint64_t start = fresh->clock.tickMs();
    workerPass(*fresh);
    const uint64_t took = fresh->clock.tickMs() - start;

    EXPECT_EQ(ran, c.ran);
    EXPECT_EQ(position, c.positionInJob);
    EXPECT_EQ(fresh->run.buildState.load(), c.buildStateAfter);
    EXPECT_EQ(fresh->run.workPosition.load(), kWorkPassDone);
    if (c.idleRest) {
      EXPECT_GE(took + tickGranularity(*fresh), kWorkerIdleMs + kWorkerRestMs);
    }
  }
}

TEST_F(BackgroundWorkerTest, RunningWorkerAsksForAListWhenOfflineIsLockedWithNineSongs) {
  std::atomic<int> builds{0};
  app->hooks.buildList = [&]() { ++builds; };
  app->run.listCount = 9;
  app->run.buildState = kOfflineLocked;
  startWorker(*app);
  ASSERT_TRUE(waitUntil([&] { return builds.load() > 0; }));
  EXPECT_EQ(app->run.buildState.load(), kBuildWanted);
}

TEST_F(BackgroundWorkerTest, IdleWorkerBuildsAsSoonAsAListIsWanted) {
  // Real time: the idle wait is ten seconds, far beyond what the build may
  // take to start.
  app->clock.speed = 1;
  std::atomic<int> builds{0};
  app->hooks.buildList = [&]() { ++builds; };
  app->run.listCount = 50;
  app->shared.hashStat = 1;
  startWorker(*app);
  ASSERT_TRUE(waitUntil([&] { return app->run.workPosition.load() == kWorkIdle; }));
  app->run.buildState = kBuildWanted;
  EXPECT_TRUE(waitUntil([&] { return builds.load() > 0; }, std::chrono::seconds(5)));
}

TEST_F(BackgroundWorkerTest, RunningWorkerEndsWhenTheRunLeaves) {
  for (const uint32_t end : {kLeavingCode, kEndedCode}) {
    auto fresh = std::make_unique<App>();
    fresh->clock.speed = 1000;
    fresh->run.listCount = 50;
    fresh->shared.hashStat = 1;
    startWorker(*fresh);
    fresh->run.commandSlot = end;
    ASSERT_TRUE(waitUntil([&] { return fresh->run.workPosition.load() == kWorkEnded; })) << end;
    fresh->scheduler.worker.join();
  }
}

}  // namespace
}  // namespace plinka::test
