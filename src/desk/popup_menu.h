// The main window's popup menu (right button, key M, the tray icon, the
// upcoming list's context menu), built afresh each time from the state it
// shows. The front end shows it and runs the chosen entry's command.
#pragma once

#include "core/window_command_ids.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plinka {

struct App;

// One entry: a command with its text and check mark, a separator, or a
// submenu (a text and a non-empty `submenu`).
struct MenuEntry {
  std::string text;
  WindowCommand id = WindowCommand::None;
  bool checked = false;
  bool separator = false;
  std::vector<MenuEntry> submenu;
};

// Where the menu was asked for: the click position in the window's client
// area and the client size.
struct PopupPlace {
  int x = 0, y = 0;
  uint32_t width = 0, height = 0;
};

// Builds the menu. The upcoming list's menu when app.mainWindow.listMenu is
// set, the tray menu's entries while app.player.inTray is 1. Notes the
// picture area the click was on in app.mainWindow.pictureArea when the menu
// offers its pictures.
std::vector<MenuEntry> buildPopupMenu(App& app, const PopupPlace& place);

// The popup has closed: the next one is no longer the list's menu.
void popupClosed(App& app);

}  // namespace plinka
