// The main window's commands: everything the user asks of the main window
// (toolbar, menus, tray, keys, internal posts) arrives here as a numbered
// command. A command sets a player request, posts a code to the command slot,
// changes a setting or opens a window; what only the window itself can do is
// handed back as effects for the front end to apply.
//
// Everything here runs on the GUI thread and returns at once: every post to
// the command slot and every change of State runs on a job thread.
#pragma once

#include <cstdint>
#include <string>

namespace plinka {

struct App;

// Command ids.
constexpr uint32_t kCmdPlayPause = 1;
constexpr uint32_t kCmdStop = 2;
constexpr uint32_t kCmdRestart = 3;
constexpr uint32_t kCmdLastSong = 4;
constexpr uint32_t kCmdSkip = 5;
constexpr uint32_t kCmdRate = 6;
constexpr uint32_t kCmdSearch = 7;
constexpr uint32_t kCmdDatabase = 9;
constexpr uint32_t kCmdOptions = 10;
constexpr uint32_t kCmdHelp = 11;
constexpr uint32_t kCmdWriteCachedEdits = 2004;
constexpr uint32_t kCmdMaximise = 2005;
constexpr uint32_t kCmdAbout = 2006;
constexpr uint32_t kCmdOnTop = 2008;
constexpr uint32_t kCmdExit = 2012;
constexpr uint32_t kCmdClearList = 2014;
constexpr uint32_t kCmdListDetails = 2015;
constexpr uint32_t kCmdPlayNext = 2016;
constexpr uint32_t kCmdRemove = 2017;
constexpr uint32_t kCmdSaveAsPlaylist = 2018;
constexpr uint32_t kCmdPlayNow = 2019;
constexpr uint32_t kCmdBuildNow = 2020;
constexpr uint32_t kCmdStopBuilding = 2021;
constexpr uint32_t kCmdQuitWithoutSaving = 2022;
constexpr uint32_t kCmdRefreshNetworkCache = 2023;
constexpr uint32_t kCmdSongsByArtist = 2024;
constexpr uint32_t kCmdOpenFiller = 2025;
constexpr uint32_t kCmdLockOffline = 2026;
constexpr uint32_t kCmdSetOffline = 2027;
constexpr uint32_t kCmdNothing = 2028;
constexpr uint32_t kCmdTopSongs = 2029;
constexpr uint32_t kCmdEndRun = 2031;
constexpr uint32_t kCmdSongDetailsOf = 2032;
constexpr uint32_t kCmdListSongsByArtist = 2033;
// Picture menus: kCmdPictureBase + value (1 cover, 2 disc, 10-13 a list).
constexpr uint32_t kCmdPictureBase = 2100;
constexpr uint32_t kCmdPictureFirst = 2101;
constexpr uint32_t kCmdPictureLast = 2199;
constexpr uint32_t kCmdCover = 2101;
constexpr uint32_t kCmdDisc = 2102;
constexpr uint32_t kCmdQuickLinkFirst = 2110;  // 2110-2113: the four quick-link lists
// "User", "Mode" and "State" submenus: base + index.
constexpr uint32_t kCmdUserBase = 2200;
constexpr uint32_t kCmdUserLast = 2219;
constexpr uint32_t kCmdModeBase = 2220;
constexpr uint32_t kCmdModeLast = 2239;
constexpr uint32_t kCmdStateBase = 2240;
constexpr uint32_t kCmdStateLast = 2259;
constexpr uint32_t kCmdLastSongKey = 5250;
constexpr uint32_t kCmdCurrentSongDetails = 5352;
constexpr uint32_t kCmdTestFunctions = 7777;

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
  bool minimise = false;    // command 1 with autoMini
  bool maximise = false;    // 2005
  bool applyOnTop = false;  // 2008 (settings.onTop already toggled)
  bool endRun = false;      // 2031: the window saves settings and goes
  bool repaint = false;     // the now-playing area must be painted again
};

// Runs one main-window command; `parameter` is the command's second value
// (the song's record for 2032; for the list menu's row commands 2015-2017,
// 2019 and 2033 the id of the chosen row). Unknown ids do nothing.
WindowEffects runWindowCommand(App& app, uint32_t id, uint32_t parameter);

// The seek bar was moved to barValue (0-1000): asks the player to play from
// that share of the song, unless a player request or a seek is pending.
void seekFromBar(App& app, uint32_t barValue);

// The tray icon's tip: the current song's title while the player runs, else
// the program's name; at most kTrayTipMax bytes.
std::string trayTip(const App& app);

// A left click at (x, y) on the now-playing area of a window `width` wide:
// switches between the cover and the disc picture in the upper area, or
// plays the song of a quick-link row that was clicked. True when the
// now-playing area must be painted again.
bool pictureClick(App& app, int x, int y, uint32_t width);

// The record of row `row` of quick-link list `list` (10-13), -1 when there
// is no such row. Quick-link lists are not built yet, so every row is -1.
int32_t quickLinkRecord(const App& app, uint32_t list, uint32_t row);

}  // namespace plinka
