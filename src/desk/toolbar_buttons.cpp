#include "desk/toolbar_buttons.h"

#include "app/app.h"
#include "desk/window_commands.h"

namespace plinka {

const std::vector<ToolbarButton>& toolbarButtons() {
  static const std::vector<ToolbarButton> buttons = {
      {0, kCmdPlayPause, "Start Plinka"},
      {1, kCmdStop, "Stop Plinka"},
      {2, kCmdRestart, "Go back to the start of the current song"},
      {3, kCmdLastSong, "Play the last song again"},
      {4, kCmdSkip, "Skip to the next song on the list"},
      {-1, 0, ""},
      {5, kCmdRate, "Rate the song for the selected user"},
      {6, kCmdCurrentSongDetails, "Show database entry on current file"},
      {7, kCmdSearch, "Search for a song"},
      {-1, 0, ""},
      {9, kCmdDatabase, "Plinka Database functions (Including mass import)"},
      {10, kCmdOptions, "Plinka Options"},
      {11, kCmdHelp, "Quick Help file access"},
  };
  return buttons;
}

std::string toolbarTooltip(const App& app, uint32_t id) {
  if (id == kCmdPlayPause) {
    if (app.run.playerRunning.load() != 0)
      return "Pause song";
    if (app.player.pausePosition.load() != 0)
      return "Resume song";
    return "Start Plinka";
  }
  if (id == 0)
    return std::string();
  for (const ToolbarButton& button : toolbarButtons()) {
    if (button.id == id)
      return button.tooltip;
  }
  return std::string();
}

}  // namespace plinka
