// The main window's keys and the toolbar's tooltips.
#include "core/current_state.h"
#include "window_fixture.h"

#include "desk/keyboard.h"
#include "desk/toolbar_buttons.h"
#include "desk/window_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace plinka::test {
namespace {

class KeyboardTest : public WindowTest {
protected:
  KeyboardTest() { app->settings.currentState = 1; }
  uint32_t user() const { return app->settings.stateUser[1]; }
  uint32_t altMode() const { return app->settings.stateAltMode[1]; }
};

TEST_F(KeyboardTest, KeysNameTheirCommands) {
  struct Case {
    int key;
    WindowCommand command;
  };
  const Case cases[] = {{kKeyF1, WindowCommand::Help},        {'P', WindowCommand::PlayPause},
                        {kKeyPlay, WindowCommand::PlayPause}, {'S', WindowCommand::Skip},
                        {'R', WindowCommand::Restart},        {'B', WindowCommand::LastSong},
                        {'F', WindowCommand::LastSongKey},    {'O', WindowCommand::Options}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    const KeyOutcome outcome = handleKey(*app, c.key);
    EXPECT_TRUE(outcome.handled);
    EXPECT_EQ(outcome.command, c.command);
    EXPECT_FALSE(outcome.popupMenu);
  }
  EXPECT_TRUE(handleKey(*app, 'M').popupMenu);
  EXPECT_FALSE(handleKey(*app, 'Z').handled);
  EXPECT_EQ(app->run.playerRequest.load(), play::PlayerRequest::None) << "keys only name commands";
}

// "+" and "-" step the current State's volume, shown in the status bar and
// told to the front end, within silent and full.
TEST_F(KeyboardTest, VolumeKeysStepTheStatesVolume) {
  struct Case {
    uint32_t cutBefore;  // thousandths below full volume
    int key;
    uint32_t cutAfter;
    const char* shown;
  };
  const Case cases[] = {
      {300, kKeyVolumeUp, 250, "Volume 75%"}, {300, kKeyVolumeDown, 350, "Volume 65%"},
      {0, kKeyVolumeUp, 0, "Volume 100%"},    {980, kKeyVolumeDown, 1000, "Volume 0%"},
      {1000, kKeyVolumeUp, 950, "Volume 5%"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, static_cast<char>(c.key)) + " from cut " + std::to_string(c.cutBefore));
    app->shared.stateVolumeCut[1].store(c.cutBefore);
    app->shared.stateVolumeCut[0].store(123);
    ui.playerChanges.clear();
    ui.statuses.clear();
    const KeyOutcome outcome = handleKey(*app, c.key);
    EXPECT_TRUE(outcome.handled);
    EXPECT_EQ(outcome.command, WindowCommand::None);
    EXPECT_EQ(app->shared.stateVolumeCut[1].load(), c.cutAfter);
    EXPECT_EQ(app->shared.stateVolumeCut[0].load(), 123u) << "another State's volume";
    ASSERT_FALSE(ui.statuses.empty());
    EXPECT_EQ(ui.statuses.back().part[0], std::string("Plinka Ready, ") + c.shown) << "shown at once";
    EXPECT_EQ(ui.playerChanges, std::vector<PlayerChanges>{PlayerChange::Volume});
  }
}

TEST_F(KeyboardTest, CoverKeyTogglesCoverArt) {
  app->settings.coverArt = 1;
  EXPECT_TRUE(handleKey(*app, 'C').repaint);
  EXPECT_EQ(app->settings.coverArt, 0u);
  handleKey(*app, 'C');
  EXPECT_EQ(app->settings.coverArt, 1u);
}

TEST_F(KeyboardTest, DigitsChooseTheListenerAfterUOrA) {
  struct Case {
    const char* name;
    int windowKey;  // 0: no key window open
    int digit;
    bool handled;
    uint32_t user, altMode;
  };
  const Case cases[] = {
      {"U then 0 is user ten", 'U', '0', true, 9, 0},
      {"U then 3 is user three", 'U', '3', true, 2, 0},
      {"A then 3 is alt mode 3 for the first user", 'A', '3', true, 0, 3},
      {"A then 0 is alt mode 10", 'A', '0', true, 0, 10},
      {"a digit with no window open", 0, '3', false, 5, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app->run.userKeyWindow = 0;
    app->run.altKeyWindow = 0;
    setStateUser(*app, 1, 5);
    setStateAltMode(*app, 1, 2);
    if (c.windowKey != 0) {
      EXPECT_TRUE(handleKey(*app, c.windowKey).handled);
    }
    const size_t refreshes = ui.statuses.size();
    EXPECT_EQ(handleKey(*app, c.digit).handled, c.handled);
    EXPECT_EQ(user(), c.user);
    EXPECT_EQ(altMode(), c.altMode);
    EXPECT_EQ(ui.statuses.size(), refreshes + (c.handled ? 1 : 0));
    for (int state = 0; state < kStateCount; ++state) {
      if (state != 1) {
        EXPECT_EQ(+app->settings.stateUser[state], 0u);
      }
    }
  }
  // Alt mode 10 shows the name kept in its slot.
  std::snprintf(app->settings.altModeName[10], sizeof app->settings.altModeName[10], "%s", "Tenth");
  handleKey(*app, 'A');
  handleKey(*app, '0');
  EXPECT_EQ(ui.statuses.back().part[3], "User One, Tenth Mode");
}

TEST_F(KeyboardTest, KeyWindowsExcludeEachOtherAndStayOpenForMoreDigits) {
  handleKey(*app, 'U');
  EXPECT_EQ(app->run.userKeyWindow.load(), kKeyWindowTicks);
  handleKey(*app, 'A');
  EXPECT_EQ(app->run.userKeyWindow.load(), 0);
  EXPECT_EQ(app->run.altKeyWindow.load(), kKeyWindowTicks);
  handleKey(*app, '2');
  handleKey(*app, '4');
  EXPECT_EQ(altMode(), 4u);
  handleKey(*app, 'U');
  EXPECT_EQ(app->run.altKeyWindow.load(), 0);
  handleKey(*app, '7');
  EXPECT_EQ(user(), 6u);
  EXPECT_EQ(altMode(), 0u);
}

TEST_F(KeyboardTest, PlayButtonTooltipFollowsThePlayer) {
  struct Case {
    uint32_t running;
    uint32_t pausePosition;
    const char* tooltip;
  };
  const Case cases[] = {
      {1, 0, "Pause song"}, {1, 5000, "Pause song"}, {0, 5000, "Resume song"}, {0, 0, "Start Plinka"}};
  for (const Case& c : cases) {
    app->run.playerRunning = c.running;
    app->player.pausePosition = c.pausePosition;
    EXPECT_EQ(toolbarTooltip(*app, WindowCommand::PlayPause), c.tooltip);
  }
  EXPECT_EQ(toolbarTooltip(*app, WindowCommand::Search), "Search for a song");
  EXPECT_EQ(toolbarTooltip(*app, WindowCommand::None), "");
  EXPECT_EQ(toolbarTooltip(*app, windowCommand(4242)), "");
}

}  // namespace
}  // namespace plinka::test
