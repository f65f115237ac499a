// Shutdown after a build: when the prompt starts, what each answer does, and
// the system power-off request (run against a stand-in program only).

#include "app/app.h"
#include "play/shutdown_timer.h"
#include "support/fake_ui.h"
#include "support/temp_dir.h"

#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>

namespace plinka::test {
namespace {

class ShutdownTimerTest : public ::testing::Test {
protected:
  ShutdownTimerTest() {
    app->ui = &ui;
    app->settings.shutdownAfterBuild = 1;
    app->settings.autoBuild = 1;
  }
  uint32_t powerOffs() const { return app->powerRecorder.requests.load(); }

  FakeUi ui;  // outlives the App's threads
  std::unique_ptr<App> app = std::make_unique<App>();
};

TEST_F(ShutdownTimerTest, StartsOnlyWithShutdownAndAutoBuildOnAndThePlayerStopped) {
  struct Case {
    uint32_t shutdown, autoBuild, player;
    bool starts;
  };
  const Case cases[] = {
      {1, 1, 0, true},
      {0, 1, 0, false},
      {1, 0, 0, false},
      {1, 1, 1, false},
  };
  for (const Case& c : cases) {
    FakeUi front;
    front.promptAnswers = {kPromptSecond};
    auto fresh = std::make_unique<App>();
    fresh->ui = &front;
    fresh->settings.shutdownAfterBuild = c.shutdown;
    fresh->settings.autoBuild = c.autoBuild;
    fresh->run.playerRunning = c.player;
    EXPECT_EQ(play::startShutdownTimer(*fresh), c.starts) << c.shutdown << c.autoBuild << c.player;
    fresh->jobThreads.waitAll();
    EXPECT_EQ(front.prompts.size(), c.starts ? 1u : 0u);
  }
}

TEST_F(ShutdownTimerTest, PowersOffOnTheFirstButtonOrWhenNobodyAnswers) {
  struct Case {
    const char* name;
    uint32_t answer;
    uint32_t powerOffs;
  };
  const Case cases[] = {
      {"do it now", kPromptFirst, 1},
      {"abort", kPromptSecond, 0},
      {"nobody answers within 30 seconds", FakeUi::kNoAnswer, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeUi front;
    front.promptAnswers = {c.answer};
    auto fresh = std::make_unique<App>();
    fresh->ui = &front;
    fresh->settings.shutdownAfterBuild = 1;
    fresh->settings.autoBuild = 1;
    ASSERT_TRUE(play::startShutdownTimer(*fresh));
    fresh->jobThreads.waitAll();

    ASSERT_EQ(front.prompts.size(), 1u);
    const PromptRequest& asked = front.prompts[0];
    EXPECT_EQ(asked.message, "Plinka will shutdown the computer in 30 seconds.");
    EXPECT_EQ(asked.firstCaption, "Don't wait; do it now!");
    EXPECT_EQ(asked.secondCaption, "Abort shutdown!");
    EXPECT_EQ(asked.style, PromptStyle::SmallQuestion);
    EXPECT_EQ(asked.autoCloseSeconds, 30u);
    EXPECT_EQ(fresh->powerRecorder.requests.load(), c.powerOffs);
    EXPECT_EQ(fresh->prompts.dialogOpen.load(), 0u);
  }
}

TEST_F(ShutdownTimerTest, OnlyOnePromptAtATime) {
  // An aborted prompt must not be followed by another one powering off on
  // its own after 30 seconds.
  std::mutex mutex;
  std::condition_variable changed;
  bool asking = false;
  bool answer = false;
  ui.beforePromptAnswer = [&](const PromptRequest&) {
    std::unique_lock lock(mutex);
    asking = true;
    changed.notify_all();
    changed.wait(lock, [&] { return answer; });
  };
  ui.promptAnswers = {kPromptSecond, kPromptSecond};

  ASSERT_TRUE(play::startShutdownTimer(*app));
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return asking; });
  }
  EXPECT_FALSE(play::startShutdownTimer(*app)) << "a second build while the prompt is up";
  {
    std::lock_guard lock(mutex);
    answer = true;
  }
  changed.notify_all();
  app->jobThreads.waitAll();
  EXPECT_EQ(powerOffs(), 0u);

  EXPECT_TRUE(play::startShutdownTimer(*app)) << "a later build asks again";
  app->jobThreads.waitAll();
  EXPECT_EQ(ui.prompts.size(), 2u);
  EXPECT_EQ(powerOffs(), 0u);
}

TEST(SystemPowerControlTest, AsksThePowerManagerToPowerOff) {
  // A stand-in for the power manager, named by absolute path so that no
  // search path can lead to the real one.
  TempDir dir;
  const std::string program = dir.file("power-manager");
  const std::string record = dir.file("asked");
  writeFile(program, "#!/bin/sh\necho \"$@\" > '" + record + "'\n");
  ASSERT_EQ(chmod(program.c_str(), 0755), 0);
  platform::SystemPowerControl power(program);
  power.requestPowerOff();
  EXPECT_EQ(readFile(record), "poweroff\n");
}

}  // namespace
}  // namespace plinka::test
