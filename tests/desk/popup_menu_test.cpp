// The popup menu: which entries each kind of menu offers, their check marks,
// and the picture area a menu notes for the picture commands.
#include "core/current_state.h"
#include "window_fixture.h"

#include "desk/popup_menu.h"
#include "desk/window_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace plinka::test {
namespace {

std::vector<std::string> texts(const std::vector<MenuEntry>& entries) {
  std::vector<std::string> out;
  for (const MenuEntry& e : entries)
    out.push_back(e.separator ? "-" : e.text);
  return out;
}

const MenuEntry* find(const std::vector<MenuEntry>& entries, const std::string& text) {
  for (const MenuEntry& e : entries) {
    if (!e.separator && e.text == text)
      return &e;
  }
  return nullptr;
}

// The texts of the checked entries of a submenu.
std::vector<std::string> checkedIn(const std::vector<MenuEntry>& menu, const std::string& submenu) {
  std::vector<std::string> out;
  const MenuEntry* sub = find(menu, submenu);
  if (sub) {
    for (const MenuEntry& e : sub->submenu) {
      if (e.checked)
        out.push_back(e.text);
    }
  }
  return out;
}

class PopupMenuTest : public WindowTest {
protected:
  std::vector<MenuEntry> menuAt(int x, uint32_t width, uint32_t height) {
    PopupPlace place;
    place.x = x;
    place.width = width;
    place.height = height;
    return buildPopupMenu(*app, place);
  }
};

TEST_F(PopupMenuTest, WindowMenuOffersTheViewOfTheAreaClicked) {
  struct Case {
    const char* name;
    int x;
    uint32_t width, height;
    uint32_t quickLinkChoice;
    std::vector<std::string> view;  // empty: no "View"
  };
  const std::vector<std::string> lists = {"Other songs from this album", "Other songs from the same artist",
                                          "Other songs with same name", "Other songs with same comment"};
  auto with = [](std::vector<std::string> head, const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  const Case cases[] = {
      {"left half of a window 500 high", 100, 800, 500, 0, {}},
      {"left half of a window 501 high", 100, 800, 501, 0, with({"Nothing"}, lists)},
      {"right half offers the lists while none shows below", 600, 800, 300, 0, with({"Cover"}, lists)},
      {"right half while a list shows below", 600, 800, 300, 11, {"Cover"}},
      {"a window 400 wide", 300, 400, 800, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app->settings.quickLinkChoice = c.quickLinkChoice;
    const auto menu = menuAt(c.x, c.width, c.height);
    const MenuEntry* view = find(menu, "View");
    if (c.view.empty()) {
      EXPECT_EQ(view, nullptr);
    } else {
      ASSERT_NE(view, nullptr);
      EXPECT_EQ(texts(view->submenu), c.view);
      EXPECT_EQ(menu.back().text, "View") << "the last entry";
    }
  }
}

TEST_F(PopupMenuTest, ViewChecksWhatEachAreaShows) {
  app->cover.coverFound = 1;
  app->cover.discFound = 1;
  app->settings.coverChoice = 2;
  app->settings.quickLinkChoice = 0;
  auto menu = menuAt(600, 800, 600);
  EXPECT_EQ(checkedIn(menu, "View"), std::vector<std::string>{"Disc"});

  app->settings.coverChoice = 12;
  menu = menuAt(600, 800, 600);
  EXPECT_EQ(checkedIn(menu, "View"), std::vector<std::string>{"Other songs with same name"});

  app->settings.quickLinkChoice = 13;
  menu = menuAt(100, 800, 600);
  EXPECT_EQ(checkedIn(menu, "View"), std::vector<std::string>{"Other songs with same comment"});
  app->settings.quickLinkChoice = 0;
  menu = menuAt(100, 800, 600);
  EXPECT_EQ(checkedIn(menu, "View"), std::vector<std::string>{"Nothing"});

  // Only a disc found: no "Cover" to choose.
  app->cover.coverFound = 0;
  menu = menuAt(600, 800, 600);
  ASSERT_NE(find(menu, "View"), nullptr);
  EXPECT_EQ(find(find(menu, "View")->submenu, "Cover"), nullptr);
  EXPECT_NE(find(find(menu, "View")->submenu, "Disc"), nullptr);
}

TEST_F(PopupMenuTest, EveryViewNotesItsAreaForThePictureCommands) {
  // A lower-area menu first, then one on the upper area while the lower area
  // shows a list: "Disc" must go to the upper area.
  app->cover.discFound = 1;
  app->settings.quickLinkChoice = 11;
  menuAt(100, 800, 600);
  EXPECT_EQ(app->mainWindow.pictureArea, PictureArea::Lower);
  menuAt(600, 800, 600);
  EXPECT_EQ(app->mainWindow.pictureArea, PictureArea::Upper);
  runWindowCommand(*app, WindowCommand::Disc, 0);
  EXPECT_EQ(app->settings.coverChoice, 2u);
  EXPECT_EQ(+app->settings.quickLinkChoice, 11u);
}

TEST_F(PopupMenuTest, ListMenuHasTheListEntriesAndTheIntervention) {
  app->mainWindow.listMenu = 1;
  auto menu = menuAt(600, 800, 600);
  EXPECT_EQ(texts(menu),
            (std::vector<std::string>{"Help", "About", "On Top", "User", "Mode", "State", "-", "Clear List", "-",
                                      "Remove", "Play Now", "Play Next", "Details", "Other songs by artist"}));
  EXPECT_EQ(find(menu, "Details")->id, WindowCommand::ListDetails);

  listFile("/music/a.mp3");
  menu = menuAt(600, 800, 600);
  EXPECT_EQ(texts(menu), (std::vector<std::string>{"Help", "About", "On Top", "User", "Mode", "State", "-",
                                                   "Clear List", "Save As Playlist", "Intervention", "-", "Remove",
                                                   "Play Now", "Play Next", "Details", "Other songs by artist"}));

  popupClosed(*app);
  EXPECT_EQ(app->mainWindow.listMenu, 0u);
  menu = menuAt(600, 800, 600);
  EXPECT_EQ(find(menu, "Intervention"), nullptr);
  EXPECT_EQ(find(menu, "Details")->id, WindowCommand::CurrentSongDetails);
  EXPECT_NE(find(menu, "Open Plinka media filler"), nullptr);
}

TEST_F(PopupMenuTest, InterventionFollowsBuildingAndNetworkMode) {
  struct Case {
    const char* name;
    uint32_t networkMode;
    uint32_t build;
    int32_t editsWaiting;
    uint32_t writerRunning;
    std::vector<std::string> entries;
    std::vector<std::string> checked;
  };
  const Case cases[] = {
      {"idle", 0, 0, 0, 0, {"Build Now", "Quit but do not save playlist", "Test Functions"}, {}},
      {"building", 0, 10, 0, 0, {"Stop Building", "Quit but do not save playlist", "Test Functions"}, {}},
      {"network, edits waiting",
       1,
       0,
       5,
       0,
       {"Build Now", "Quit but do not save playlist", "Refresh Network Cache", "Lock Offline mode", "Set Offline mode",
        "Write cached edits", "Test Functions"},
       {}},
      {"network, no edit queue",
       1,
       0,
       -1,
       0,
       {"Build Now", "Quit but do not save playlist", "Refresh Network Cache", "Lock Offline mode", "Set Offline mode",
        "Test Functions"},
       {}},
      {"network, writer running",
       1,
       0,
       5,
       1,
       {"Build Now", "Quit but do not save playlist", "Refresh Network Cache", "Lock Offline mode", "Set Offline mode",
        "Test Functions"},
       {}},
      {"offline",
       1,
       1000,
       5,
       0,
       {"Quit but do not save playlist", "Refresh Network Cache", "Lock Offline mode", "Un-Set Offline mode",
        "Test Functions"},
       {}},
      {"offline locked",
       1,
       kOfflineLocked,
       5,
       0,
       {"Quit but do not save playlist", "Refresh Network Cache", "Lock Offline mode", "Test Functions"},
       {"Lock Offline mode"}},
  };
  listFile("/music/a.mp3");
  app->mainWindow.listMenu = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app->settings.networkMode = c.networkMode;
    app->run.buildState = c.build;
    app->editQueue.count = c.editsWaiting;
    app->editQueue.writerRunning = c.writerRunning;
    const auto menu = menuAt(0, 800, 600);
    const MenuEntry* intervention = find(menu, "Intervention");
    ASSERT_NE(intervention, nullptr);
    EXPECT_EQ(texts(intervention->submenu), c.entries);
    EXPECT_EQ(checkedIn(menu, "Intervention"), c.checked);
  }

  app->run.diagnostics = 1;
  app->run.buildState = 0;
  EXPECT_EQ(checkedIn(menuAt(0, 800, 600), "Intervention"), std::vector<std::string>{"Test Functions"});
}

TEST_F(PopupMenuTest, TrayMenuEndsWithThePlayerAndExit) {
  app->player.inTray = 1;
  auto menu = menuAt(600, 800, 600);
  const auto all = texts(menu);
  ASSERT_GE(all.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(all.end() - 4, all.end()),
            (std::vector<std::string>{"-", "Play", "Skip", "Exit"}));
  EXPECT_EQ(menu.back().id, WindowCommand::Exit);
  EXPECT_EQ(find(menu, "View"), nullptr);

  app->run.playerRunning = 1;
  menu = menuAt(600, 800, 600);
  EXPECT_EQ(menu[menu.size() - 3].text, "Pause");
  EXPECT_EQ(menu[menu.size() - 3].id, WindowCommand::PlayPause);
}

TEST_F(PopupMenuTest, ListenerSubmenusCheckTheCurrentChoices) {
  app->settings.currentState = 2;
  setStateUser(*app, 2, 4);
  setStateAltMode(*app, 2, 3);
  app->settings.onTop = 1;
  auto menu = menuAt(0, 300, 300);
  EXPECT_EQ(checkedIn(menu, "User"), std::vector<std::string>{"Five"});
  EXPECT_EQ(checkedIn(menu, "Mode"), std::vector<std::string>{"More1"});
  EXPECT_EQ(checkedIn(menu, "State"), std::vector<std::string>{"Late"});
  EXPECT_TRUE(find(menu, "On Top")->checked);
  EXPECT_EQ(find(menu, "State")->submenu.size(), 10u);
  EXPECT_EQ(find(menu, "State")->submenu[9].id, WindowCommand::StateBase + 9);
  EXPECT_EQ(find(menu, "User")->submenu[9].text, "Ten");
  EXPECT_EQ(find(menu, "Mode")->submenu[0].text, "Single");

  // Alt mode 10 (the A key and 0) has no entry of its own.
  setStateAltMode(*app, 2, 10);
  EXPECT_TRUE(checkedIn(menuAt(0, 300, 300), "Mode").empty());
}

}  // namespace
}  // namespace plinka::test
