#include "desk/toolbar_buttons.h"

#include "app/app.h"
#include "desk/window_commands.h"

namespace plinka {

const std::vector<ToolbarButton>& toolbarButtons() {
  static const std::vector<ToolbarButton> buttons = {
      {0, WindowCommand::PlayPause, "Start Plinka"},
      {1, WindowCommand::Stop, "Stop Plinka"},
      {2, WindowCommand::Restart, "Go back to the start of the current song"},
      {3, WindowCommand::LastSong, "Play the last song again"},
      {4, WindowCommand::Skip, "Skip to the next song on the list"},
      {-1, WindowCommand::None, ""},
      {5, WindowCommand::Rate, "Rate the song for the selected user"},
      {6, WindowCommand::CurrentSongDetails, "Show database entry on current file"},
      {7, WindowCommand::Search, "Search for a song"},
      {-1, WindowCommand::None, ""},
      {9, WindowCommand::Database, "Plinka Database functions (Including mass import)"},
      {10, WindowCommand::Options, "Plinka Options"},
      {11, WindowCommand::Help, "Quick Help file access"},
  };
  return buttons;
}

std::string toolbarTooltip(const App& app, WindowCommand id) {
  if (id == WindowCommand::PlayPause) {
    if (app.run.playerRunning.load() != 0)
      return "Pause song";
    if (app.player.pausePosition.load() != 0)
      return "Resume song";
    return "Start Plinka";
  }
  if (id == WindowCommand::None)
    return std::string();
  for (const ToolbarButton& button : toolbarButtons()) {
    if (button.id == id)
      return button.tooltip;
  }
  return std::string();
}

}  // namespace plinka
