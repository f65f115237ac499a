// The ids of the main window's commands: the toolbar's buttons, the menus'
// entries, the keys and the commands the engine posts to the main window.
// This is their one home; the engine and every front end use these names.
#pragma once

#include <cstdint>

namespace plinka {

enum class WindowCommand : uint32_t {
  None = 0,  // no command (a key that posts nothing)
  PlayPause = 1,
  Stop = 2,
  Restart = 3,
  LastSong = 4,
  Skip = 5,
  Rate = 6,
  Search = 7,
  Database = 9,
  Options = 10,
  Help = 11,
  WriteCachedEdits = 2004,
  Maximise = 2005,
  About = 2006,
  OnTop = 2008,
  Exit = 2012,
  ClearList = 2014,
  ListDetails = 2015,
  PlayNext = 2016,
  Remove = 2017,
  SaveAsPlaylist = 2018,
  PlayNow = 2019,
  BuildNow = 2020,
  StopBuilding = 2021,
  QuitWithoutSaving = 2022,
  RefreshNetworkCache = 2023,
  SongsByArtist = 2024,
  OpenFiller = 2025,
  LockOffline = 2026,
  SetOffline = 2027,
  Nothing = 2028,
  TopSongs = 2029,
  EndRun = 2031,
  SongDetailsOf = 2032,
  ListSongsByArtist = 2033,
  // Picture menus: PictureBase + value (1 cover, 2 disc, from
  // kCoverChoiceQuickLinks a quick-link list).
  PictureBase = 2100,
  PictureFirst = 2101,
  PictureLast = 2199,
  Cover = 2101,
  Disc = 2102,
  QuickLinkFirst = 2110,  // and the three after it: the four quick-link lists
  // "User", "Mode" and "State" submenus: base + index.
  UserBase = 2200,
  UserLast = 2219,
  ModeBase = 2220,
  ModeLast = 2239,
  StateBase = 2240,
  StateLast = 2259,
  LastSongKey = 5250,
  CurrentSongDetails = 5352,
  TestFunctions = 7777,
};

// WindowCommand::Database's parameter for the first import asked for in the
// Welcome window: the Database window opens with its folder chooser already
// open.
constexpr uint32_t kDatabaseFirstImport = 1;

// The number a command travels as (a menu entry's data, a posted message).
constexpr uint32_t codeValue(WindowCommand command) { return static_cast<uint32_t>(command); }
// The command a number carried that way stands for.
constexpr WindowCommand windowCommand(uint32_t id) { return static_cast<WindowCommand>(id); }
// The entry `index` places after `base` in a numbered submenu (pictures,
// users, alt modes, States).
constexpr WindowCommand operator+(WindowCommand base, uint32_t index) { return windowCommand(codeValue(base) + index); }
// The index of `command` within the submenu that starts at `base`.
constexpr uint32_t operator-(WindowCommand command, WindowCommand base) { return codeValue(command) - codeValue(base); }

}  // namespace plinka
