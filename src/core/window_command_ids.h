// The ids of the main window's commands: the toolbar's buttons, the menus'
// entries, the keys and the commands the engine posts to the main window.
// This is their one home; the engine and every front end use these names.
#pragma once

#include <cstdint>

namespace plinka {

constexpr uint32_t kCmdPlayPause = 1;
constexpr uint32_t kCmdStop = 2;
constexpr uint32_t kCmdRestart = 3;
constexpr uint32_t kCmdLastSong = 4;
constexpr uint32_t kCmdSkip = 5;
constexpr uint32_t kCmdRate = 6;
constexpr uint32_t kCmdSearch = 7;
constexpr uint32_t kCmdDatabase = 9;
// kCmdDatabase's parameter for the first import asked for in the Welcome
// window: the Database window opens with its folder chooser already open.
constexpr uint32_t kDatabaseFirstImport = 1;
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

}  // namespace plinka
