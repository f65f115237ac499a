// Default values of the settings record: the first-run record, the full reset
// (Options "Reset"), the State reset, the rating block reset (Internals
// "Default") and the Media Filler block's "Reset".
#pragma once

#include "core/core_context.h"
#include "core/settings_record.h"

namespace plinka {

// The filler block's default "Fill Size" entry ("4 GB").
constexpr uint32_t kDefaultFillSize = 5;

// A new record as a first run sees it: zeroed, full reset, rating block reset,
// the song table in the data folder and the filler block's defaults.
void firstRunDefaults(SettingsRecord& s, const Folders& folders);

// Every option back to its default, then the State reset. Leaves the user's
// data alone: databasePath, windowPlacement, randomState, the rating block,
// recentSongs, historySongs, recentArtists, importSource and fillerSettings.
void fullReset(SettingsRecord& s);

// The ten States back to their defaults, with the buffer, auto-rate and
// shutdown options that belong with them.
void stateReset(SettingsRecord& s);

// ratingValue 1, 2, 4 ... 512, targetValue 1000, defaultImportValue 16.
void ratingBlockReset(SettingsRecord& s);

// The filler block's "Reset": fill size "4 GB", the file types and the
// current State's choices taken from the record, "Empty Dir" off, "Add
// Number" on. The fill directory and the re-buffer value stay as they are.
void fillerBlockReset(FillerSettings& block, const SettingsRecord& from);

}  // namespace plinka
