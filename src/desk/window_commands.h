// The main window's commands: everything the user asks of the main window
// (toolbar, menus, tray, keys, internal posts) arrives here as a numbered
// command. A command sets a player request, posts a code to the command slot,
// changes a setting or opens a window; what only the window itself can do is
// handed back as effects for the front end to apply.
//
// Everything here runs on the GUI thread and returns at once: every post to
// the command slot and every change of State runs on a job thread.
#pragma once

#include "core/window_command_ids.h"

#include <cstdint>
#include <string>

namespace plinka {

struct App;

// Search window modes.
constexpr uint32_t kSearchNormal = 0;
constexpr uint32_t kSearchTopSongs = 98;
constexpr uint32_t kSearchByArtist = 99;

// Patience of the window's posts to the command slot.
constexpr uint32_t kWindowPostPatience = 10;

// The program's name and version, shown where nothing is playing.
constexpr char kProgramTitle[] = "Plinka 1.4";
// The longest tray tip, in bytes.
constexpr size_t kTrayTipMax = 127;

// The texts of the prompt shown when the rating keypad cannot be used.
constexpr char kOfflineText[] = "Database is currently Offline.";
constexpr char kOfflineOk[] = "OK";
constexpr char kOfflineHelp[] = "View ReadMe";

// What the front end must do itself after a command.
struct WindowEffects {
  bool minimise = false;    // WindowCommand::PlayPause with autoMini
  bool maximise = false;    // WindowCommand::Maximise
  bool applyOnTop = false;  // WindowCommand::OnTop (settings.onTop already toggled)
  bool endRun = false;      // WindowCommand::EndRun: the window saves settings and goes
  bool repaint = false;     // the now-playing area must be painted again
  bool playing = false;     // PlayPause started the player: the play button shows Pause
};

// Runs one main-window command; `parameter` is the command's second value (the
// song's record for WindowCommand::SongDetailsOf; for the list menu's row
// commands WindowCommand::ListDetails, WindowCommand::PlayNext,
// WindowCommand::Remove, WindowCommand::PlayNow and
// WindowCommand::ListSongsByArtist the id of the chosen row). Unknown ids do
// nothing.
WindowEffects runWindowCommand(App& app, WindowCommand id, uint32_t parameter);

// The seek bar was moved to barValue (0-1000): asks the player to play from
// that share of the song, unless a player request or a seek is pending.
void seekFromBar(App& app, uint32_t barValue);

// The tray icon's tip: the current song's title while the player runs, else
// the program's name; at most kTrayTipMax bytes.
std::string trayTip(const App& app);

// A left click at (x, y) on the now-playing area of a window width x height:
// switches between the cover and the disc picture in the upper area, or
// plays at once the song of the quick-link row drawn under the click. True
// when the now-playing area must be painted again.
bool pictureClick(App& app, int x, int y, uint32_t width, uint32_t height);

// The record of row `row` (0 = the first song) of quick-link list `list`
// (10-13), -1 when the lists are out of date or there is no such row.
int32_t quickLinkRecord(const App& app, uint32_t list, uint32_t row);

}  // namespace plinka
