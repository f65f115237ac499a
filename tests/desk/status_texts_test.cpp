// The four status texts and the one-shot message.

#include "support/scheduler_fixture.h"

#include "desk/status_texts.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace plinka::test {
namespace {

class StatusTextsTest : public SchedulerTest {
protected:
  StatusTextsTest() {
    std::strcpy(app->settings.userName[1], "Two");
    std::strcpy(app->settings.userName[0], "One");
    std::strcpy(app->settings.altModeName[3], "Triple");
    app->settings.currentState = 2;
    app->settings.stateUser[2] = 1;
    shareSettings(*app);
  }
  std::string part(int i) { return composeStatus(*app).part[i]; }
};

TEST_F(StatusTextsTest, PlayingWithBufferedListInAltMode) {
  app->run.playerRunning = 1;
  app->run.listCount = 87;
  app->settings.bufferMode = 1;
  app->bufferCache.stage = library::BufferStage::Buffered;
  app->songsInUse = 5120;
  app->shared.stateAltMode[2] = 3;
  refreshStatus(*app);
  ASSERT_EQ(ui.statuses.size(), 1u);
  const StatusTexts& shown = ui.statuses[0];
  EXPECT_EQ(shown.part[0], "Plinka Playing");
  EXPECT_EQ(shown.part[1], "87 songs prepared (Buffered)");
  EXPECT_EQ(shown.part[2], "5120 entries");
  EXPECT_EQ(shown.part[3], "User Two, Triple Mode");
}

TEST_F(StatusTextsTest, ActivityText) {
  struct Case {
    const char* name;
    uint32_t slot, buildBusy, player, diagnostics, tick;
    const char* text;
    uint32_t tooFewSongs = 0;
  };
  const Case cases[] = {
      {"too few songs: says why nothing is built", 0, 0, 0, 0, 0, "Import at least 20 songs", 1},
      {"too few songs, playing", 4, 0, 1, 0, 0, "Plinka Playing", 1},
      {"quit wins over everything", kQuitCode, 1, 1, 0, 0, "Plinka Quiting"},
      {"building wins over playing", 0, 1, 1, 0, 0, "Plinka Building"},
      {"building with retries shown in diagnostics", 0, 1, 0, 1, 0, "Plinka Building, 4 /"},
      {"playing", 4, 0, 1, 0, 0, "Plinka Playing"},
      {"ready", 0, 0, 0, 0, 0, "Plinka Ready"},
      {"spinner at 24", 0, 0, 0, 1, 24, "Plinka Ready /"},
      {"spinner at 25", 0, 0, 0, 1, 25, "Plinka Ready -"},
      {"spinner at 50", 0, 0, 0, 1, 50, "Plinka Ready \\"},
      {"spinner at 74", 0, 0, 0, 1, 74, "Plinka Ready \\"},
      {"spinner at 75", 0, 0, 0, 1, 75, "Plinka Ready |"},
      {"spinner at 100", 0, 0, 0, 1, 100, "Plinka Ready |"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app->run.commandSlot = c.slot;
    app->builder.busy = c.buildBusy;
    app->builder.retries = 4;
    app->run.playerRunning = c.player;
    app->run.diagnostics = c.diagnostics;
    app->run.diagnosticsTick = c.tick;
    app->builder.tooFewSongs = c.tooFewSongs;
    EXPECT_EQ(part(0), c.text);
  }
}

TEST_F(StatusTextsTest, UnbufferedNoticeAndOneShotMessageAreShownOnce) {
  app->settings.bufferMode = 1;
  app->bufferCache.stage = library::BufferStage::Unbuffered;
  setOneShotMessage(*app, "Import Complete");
  StatusTexts first = composeStatus(*app);
  EXPECT_EQ(first.part[0], "Plinka Ready (Un-Buffered), Import Complete");
  EXPECT_EQ(first.part[1], "0 songs prepared (Buffered)");
  EXPECT_EQ(app->bufferCache.stage.load(), library::BufferStage::Buffered);
  EXPECT_EQ(part(0), "Plinka Ready");

  setOneShotMessage(*app, std::string(700, 'x'));
  EXPECT_EQ(part(0), "Plinka Ready, " + std::string(kOneShotMessageMax, 'x'));
}

TEST_F(StatusTextsTest, ListText) {
  struct Case {
    uint32_t bufferMode;
    library::BufferStage stage;
    const char* text;
  };
  const Case cases[] = {
      {0, library::BufferStage::Buffering, "12 songs prepared"},
      {1, library::BufferStage::Buffering, "12 songs prepared (Buffering)"},
      {1, library::BufferStage::Error, "12 songs prepared Buffer Error"},
      {1, library::BufferStage::Buffered, "12 songs prepared (Buffered)"},
      {1, static_cast<library::BufferStage>(7), "12 songs prepared (Buffered)"},
  };
  app->run.listCount = 12;
  for (const Case& c : cases) {
    app->settings.bufferMode = c.bufferMode;
    app->bufferCache.stage = c.stage;
    EXPECT_EQ(part(1), c.text) << c.bufferMode << " " << static_cast<uint32_t>(c.stage);
  }
}

TEST_F(StatusTextsTest, PartlyBufferedSettlesOnlyOnAThreeInSix) {
  app->settings.bufferMode = 1;
  app->random.forceFallback = 1;
  app->random.useFixedTick = 1;
  struct Case {
    uint32_t tick;
    library::BufferStage stageAfter;
  };
  // From a zero state the draw over 1-6 gives 3 at tick 48 and 0 at tick 0.
  for (const Case c : {Case{48, library::BufferStage::Buffered}, Case{0, library::BufferStage::PartlyBuffered}}) {
    app->random.state = 0;
    app->random.fixedTick = c.tick;
    app->bufferCache.stage = library::BufferStage::PartlyBuffered;
    EXPECT_EQ(part(1), "0 songs prepared (Partially Buffered)");
    EXPECT_EQ(app->bufferCache.stage.load(), c.stageAfter) << c.tick;
  }
}

TEST_F(StatusTextsTest, DatabaseText) {
  struct Case {
    uint32_t buildState, hashing, clearing;
    const char* text;
  };
  const Case cases[] = {
      {999, 0, 0, "5120 entries"},
      {kOfflineFirst, 1, 1, "DB Offline"},
      {kOfflineLocked, 0, 0, "DB Offline"},
      {2000, 0, 0, "5120 entries"},
      {0, 1, 0, "5120 entries (Hashing)"},
      {0, 0, 1, "5120 entries (Clearing Cache)"},
      {0, 1, 1, "5120 entries (Hashing) (Clearing Cache)"},
  };
  app->songsInUse = 5120;
  for (const Case& c : cases) {
    app->run.buildState = c.buildState;
    app->idWorker.running = c.hashing;
    app->editQueue.writerRunning = c.clearing;
    EXPECT_EQ(part(2), c.text) << c.buildState;
  }
}

TEST_F(StatusTextsTest, ListenerText) {
  EXPECT_EQ(part(3), "User Two");
  app->run.diagnostics = 1;
  app->editQueue.writerStep = 7;
  app->mainWindow.optionsSaveStep = 3;
  EXPECT_EQ(part(3), "User Two, 7, 3");
  app->run.diagnostics = 0;
  // Values out of range (a damaged record) show no name rather than read
  // outside the record.
  app->shared.stateUser[2] = 10;
  EXPECT_EQ(part(3), "User ");
  // A State out of range is read as the first.
  app->settings.currentState = 10;
  EXPECT_EQ(part(3), "User One");
  // A name that fills its whole slot is read only to the slot's end.
  app->settings.currentState = 0;
  std::memset(app->settings.userName[0], 'n', kNameSize);
  EXPECT_EQ(part(3), "User " + std::string(kNameSize, 'n'));
}

}  // namespace
}  // namespace plinka::test
