// Changing the State: the old State's list goes to its list file and the new
// State's saved list takes its place, under exclusive access.
#include "window_fixture.h"

#include "app/scheduler.h"
#include "desk/state_switch.h"
#include "desk/status_texts.h"
#include "desk/window_commands.h"
#include "play/list_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace plinka::test {
namespace {

class StateSwitchTest : public WindowTest {
protected:
  StateSwitchTest() {
    makeSongs({"/music/a.mp3", "/music/b.mp3", "/music/c.mp3", "/music/d.mp3", "/music/e.mp3"});
    writeFile(dir.file("PL1.m3u"), "/music/a.mp3\r\n/music/b.mp3\r\n");
    writeFile(dir.file("PL4.m3u"), "/music/c.mp3\r\n/music/d.mp3\r\n");
    listFile("/music/a.mp3");
    listFile("/music/b.mp3");
  }
};

TEST_F(StateSwitchTest, SwapsTheListWithTheSavedListFiles) {
  // Settings are in place before the threads that read them start.
  app->settings.bufferMode = 1;
  app->shared.rebufferValue = 4;
  startHeartbeat(*app);
  // A song added in State 1 is kept in its list file.
  listFile("/music/e.mp3");

  switchState(*app, 3);
  EXPECT_EQ(app->settings.currentState, 3u);
  EXPECT_EQ(listedFiles(), (std::vector<std::string>{"/music/c.mp3", "/music/d.mp3"}));
  EXPECT_EQ(app->list.text(0, play::Title), "Title /music/c.mp3") << "rows carry the song's details";
  EXPECT_EQ(readFile(dir.file("PL1.m3u")), "/music/a.mp3\r\n/music/b.mp3\r\n/music/e.mp3\r\n");
  EXPECT_EQ(app->shared.rebufferValue.load(), 0u);
  EXPECT_EQ(app->run.busyCode.load(), 0u) << "exclusive access is given back";
  EXPECT_EQ(ui.statuses.back().part[1].rfind("2 songs prepared", 0), 0u) << "the status is refreshed";

  // Back again, through the "State" menu: the command returns at once and
  // the change follows on a job thread.
  runWindowCommand(*app, WindowCommand::StateBase + 0, 0);
  finishJobs();
  EXPECT_EQ(app->settings.currentState, 0u);
  EXPECT_EQ(listedFiles(), (std::vector<std::string>{"/music/a.mp3", "/music/b.mp3", "/music/e.mp3"}));
  EXPECT_EQ(readFile(dir.file("PL4.m3u")), "/music/c.mp3\r\n/music/d.mp3\r\n");
}

TEST_F(StateSwitchTest, QuickChoicesEndInTheLastOneWithEveryListInItsOwnFile) {
  writeFile(dir.file("PL2.m3u"), "/music/e.mp3\r\n");
  startHeartbeat(*app);
  // Choices made faster than a change of the list takes, while another job
  // holds exclusive access for a moment: only one switcher runs and the
  // newest choice wins.
  app->run.busyCode = codeValue(BusyCode::ListBuild);
  for (const uint32_t state : {3u, 1u, 3u, 0u, 3u, 1u})
    runWindowCommand(*app, WindowCommand::StateBase + state, 0);
  releaseExclusive(*app);
  finishJobs();
  EXPECT_EQ(app->settings.currentState, 1u);
  EXPECT_EQ(listedFiles(), std::vector<std::string>{"/music/e.mp3"});
  EXPECT_EQ(readFile(dir.file("PL1.m3u")), "/music/a.mp3\r\n/music/b.mp3\r\n");
  EXPECT_EQ(readFile(dir.file("PL2.m3u")), "/music/e.mp3\r\n");
  EXPECT_EQ(readFile(dir.file("PL4.m3u")), "/music/c.mp3\r\n/music/d.mp3\r\n");
  EXPECT_EQ(app->run.busyCode.load(), 0u);

  // Two choices straight after each other, with nothing in the way.
  runWindowCommand(*app, WindowCommand::StateBase + 3, 0);
  runWindowCommand(*app, WindowCommand::StateBase + 0, 0);
  finishJobs();
  EXPECT_EQ(app->settings.currentState, 0u);
  EXPECT_EQ(listedFiles(), (std::vector<std::string>{"/music/a.mp3", "/music/b.mp3"}));
  EXPECT_EQ(readFile(dir.file("PL2.m3u")), "/music/e.mp3\r\n");
  EXPECT_EQ(readFile(dir.file("PL4.m3u")), "/music/c.mp3\r\n/music/d.mp3\r\n");
}

TEST_F(StateSwitchTest, AWaitForChoicesEndsOnceTheyAreCarriedOut) {
  startHeartbeat(*app);
  // The menu's choice waits on its job thread while another job holds
  // exclusive access; the wait ends only once the list has changed.
  app->run.busyCode = codeValue(BusyCode::ListBuild);
  runWindowCommand(*app, WindowCommand::StateBase + 3, 0);
  std::thread holder([this] {
    eventually([this] { return app->stateSwitch.running.load() != 0; });
    releaseExclusive(*app);
  });
  awaitStateSwitches(*app);
  EXPECT_EQ(app->settings.currentState, 3u);
  EXPECT_EQ(listedFiles(), (std::vector<std::string>{"/music/c.mp3", "/music/d.mp3"}));
  holder.join();
  finishJobs();
}

// A State left with an empty list keeps no list file, so none is read back.
TEST_F(StateSwitchTest, AnEmptyListLeavesNoListFile) {
  app->list.clear();
  startHeartbeat(*app);
  switchState(*app, 3);
  EXPECT_FALSE(std::filesystem::exists(dir.file("PL1.m3u")));
  EXPECT_EQ(listedFiles(), (std::vector<std::string>{"/music/c.mp3", "/music/d.mp3"}));
  switchState(*app, 0);
  EXPECT_TRUE(listedFiles().empty());
  EXPECT_EQ(readFile(dir.file("PL4.m3u")), "/music/c.mp3\r\n/music/d.mp3\r\n");
}

// At start-up the State's list is read before any song plays: the status
// shows the songs in the table from the first refresh on.
TEST_F(StateSwitchTest, TheStartLoadsTheListAndCountsTheSongs) {
  app->list.clear();
  ASSERT_EQ(app->songsInUse.load(), 0u);
  ASSERT_TRUE(play::loadStateList(*app));
  EXPECT_EQ(listedFiles(), (std::vector<std::string>{"/music/a.mp3", "/music/b.mp3"}));
  EXPECT_EQ(composeStatus(*app).part[2], "5 entries");
}

TEST_F(StateSwitchTest, RefusedSwitchesChangeNothing) {
  struct Case {
    const char* name;
    uint32_t state;
    uint32_t slot;
  };
  const Case cases[] = {
      {"the current State", 0, 0},
      {"past the ten States", 10, 0},
      {"while quitting", 3, kQuitCode},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app->run.commandSlot = c.slot;
    switchState(*app, c.state);
    EXPECT_EQ(app->settings.currentState, 0u);
    EXPECT_EQ(listedFiles(), (std::vector<std::string>{"/music/a.mp3", "/music/b.mp3"}));
  }
  app->run.commandSlot = 0;
  runWindowCommand(*app, WindowCommand::StateLast, 0);
  finishJobs();
  EXPECT_EQ(app->settings.currentState, 0u);
}

}  // namespace
}  // namespace plinka::test
