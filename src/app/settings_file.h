// The settings file "dPlinka.dat": the 8-byte magic "PLIN1401" followed by the
// 7000-byte settings record exactly as it lies in memory. Loading takes over
// files of earlier layouts, makes sure the song table exists and shows the
// Welcome window on a first run; saving also keeps the State's list file.
#pragma once

#include "core/settings_record.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace plinka {

struct App;

constexpr const char* kSettingsFileName = "dPlinka.dat";
constexpr size_t kSettingsMagicSize = 8;
constexpr size_t kSettingsFileSize = kSettingsMagicSize + sizeof(SettingsRecord);

// Versions as loading sees them: the magic's three digits, except these two.
constexpr uint32_t kSettingsVersionCurrent = 1000;  // "401"
constexpr uint32_t kSettingsVersionForeign = 1001;  // not a settings file of this program

struct LoadOutcome {
  bool fileFound = false;            // a settings file was read (data folder, else program folder)
  uint32_t version = 0;              // when found: 1000, 1001 or the magic's digits
  bool welcomeShown = false;         // first run or another version
  bool importRequested = false;      // the Welcome window answered "Import music now"
  bool mustEnd = false;              // too old to take over: the caller ends the process
  bool songTableCreated = false;     // no song table existed; a new empty one was made
  bool songTableUnreadable = false;  // a song table exists but cannot be opened; left alone
  bool settingsCutShort = false;     // the file ended inside a text, which kept its default
  // A newer version's (or another program's) file in the data folder is
  // copied aside before any save can replace it: the copy's path, empty when
  // none was made.
  std::string unknownFileKeptAs;
};

// Loads app.settings from the settings file and takes over older layouts.
// Uses app.folders and app.ui, and app.songTable to check the song table
// (closed again on return). Never ends the process itself.
LoadOutcome loadSettings(App& app);

// Writes the settings file to the data folder, replacing the old one only
// once the new one is complete. Then, unless the list is marked not to be
// saved (app.listFileKept), writes the current State's list file when the list has rows and deletes it when not.
// False when the settings file or the list file could not be written; when
// the settings file fails, the list file is left alone.
bool saveSettings(App& app);

// The settings file's record: app.settings with the twins' current values
// (and the edit queue's count as localBufferCount), copied under imageLock.
SettingsRecord settingsImage(App& app);

// "Reset": the main settings file is loaded again (which brings back the
// block stored there, fill directory included) and the block gets its
// defaults. Asks nothing: the start-up's questions were asked at the start.
void resetFillerSettings(App& app);

}  // namespace plinka
