// The main window's toolbar: its buttons in order, with the picture each
// shows from "ToolBar.bmp" and the command it runs, and their tooltips.
#pragma once

#include "core/window_command_ids.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plinka {

struct App;

// The toolbar's picture file in the program folder: twelve pictures of
// 20 x 20 pixels side by side (picture 8 is not used); picture 12, the
// pause picture, is button 1's while the player runs.
constexpr char kToolbarPictureFile[] = "ToolBar.bmp";
constexpr int kToolbarPictureSize = 20;
constexpr int kToolbarPictureCount = 12;
// Pictures of the play button (button 1): Play while the player is stopped,
// Pause while it runs.
constexpr int kPlayButtonStopped = 0;
constexpr int kPlayButtonPlaying = 12;

struct ToolbarButton {
  int image;  // picture index; -1: a separator
  WindowCommand id;
  const char* tooltip;  // button 1's depends on the player (toolbarTooltip)
};

const std::vector<ToolbarButton>& toolbarButtons();

// The tooltip of the button with command `id`; empty for an unknown id.
std::string toolbarTooltip(const App& app, WindowCommand id);

}  // namespace plinka
