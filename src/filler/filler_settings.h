// The Media Filler's settings: its 1000-byte block of the settings record,
// kept by the filler in a file of its own ("dPkFill.dat": the settings magic
// and the block), the choices of its window, and how those choices reach the
// settings the list builder reads.
//
// The filler's State is the current State: the block's defaults come from
// its entries, and a fill writes the block's user, user mode, play-up-to
// limit and minimum rating into them, so that what the window shows is what
// the build uses.
#pragma once

#include "core/settings_record.h"

#include <array>
#include <cstdint>
#include <string>

namespace plinka {
struct PlayContext;
}

namespace plinka::filler {

constexpr const char* kFillerSettingsFileName = "dPkFill.dat";
constexpr size_t kFillerMagicSize = 8;
constexpr size_t kFillerFileSize = kFillerMagicSize + sizeof(FillerSettings);

constexpr const char* kFillerTitle = "Plinka Media Filler";
constexpr const char* kResetQuestion = "This will reset all the Plinka Media Filler settings.";
constexpr const char* kResetYes = "Yes, please reset to default";
constexpr const char* kResetNo = "No, cancel this";
constexpr const char* kEmptyDirQuestion = "Delete all files in Fill directory?";
constexpr const char* kEmptyDirContinue = "Continue";
constexpr const char* kEmptyDirCancel = "Cancel";

// The "Fill Size" list: its entries and what each lets the run copy, in
// kilobytes (1024 bytes). The last entry has no budget: the run copies
// until a copy fails (the medium is full).
constexpr int kFillSizeCount = 8;
constexpr uint32_t kFillToTheEnd = 7;
constexpr std::array<const char*, kFillSizeCount> kFillSizeNames = {"128 MB",  "256 MB", "512 MB", "1024 MB",
                                                                    "2048 MB", "4 GB",   "8 GB",   "Fill"};
constexpr std::array<uint64_t, kFillSizeCount> kFillBudgetsKb = {122880,  245760,  491520,  972800,
                                                                 1945600, 3891200, 7782400, 0};

// "Play up to" entries (the naughtiness levels 0-3).
constexpr std::array<const char*, 4> kPlayUpToNames = {"Clean", "Muddy", "Dirty", "Really Dirty"};
constexpr uint32_t kHighestRating = 10;
// User modes: 0 single user, then the alt modes the window lists (all but
// the last, which only the keys choose).
constexpr uint32_t kUserModeCount = kAltModeCount;

// Puts every choice of a block read from a file into its list's range (a
// fill size outside the list becomes "4 GB", any other choice its first
// entry) and ends the fill directory with a zero, so that no value selects
// past a table.
void makeFillerBlockSafe(FillerSettings& block);

// The block's "Fill Size" entry, the default for one outside the list.
uint32_t fillSizeIndex(const FillerSettings& block);

// Reads "dPkFill.dat" of the data folder into app.settings.fillerSettings:
// the first 8 bytes are passed over, the next 1000 are the block. A missing
// or short file gives the Reset defaults (over the block the main settings
// file brought, whose fill directory is kept). True when the file was read.
bool loadFillerSettings(PlayContext& app);

// Writes the magic and the block to "dPkFill.dat" of the data folder under a
// temporary name, then renames it over the old one. False when it could not
// be written (the old file is then whole).
bool saveFillerSettings(const PlayContext& app);

// A dropped path becomes the fill directory only when it holds no '.'.
bool droppedPathAccepted(const std::string& path);

// "Open Output Dir" opens the folder only when its text is longer than this.
constexpr size_t kShortestOpenableOutput = 3;

// The new media types' boxes, in the window's order, with their bits.
struct NewTypeBox {
  const char* name;
  uint32_t bit;
};
constexpr std::array<NewTypeBox, 8> kNewTypeBoxes = {{{"FLAC", kNewTypeBitFlac},
                                                      {"Ogg", kNewTypeBitOgg},
                                                      {"Opus", kNewTypeBitOpus},
                                                      {"M4A", kNewTypeBitM4a},
                                                      {"AAC", kNewTypeBitAac},
                                                      {"MP4", kNewTypeBitMp4},
                                                      {"MKV", kNewTypeBitMkv},
                                                      {"WebM", kNewTypeBitWebm}}};

// Before a fill: the block's file types go into the settings' filters
// (typeXxx and newTypesOff), and its user, user mode, minimum rating and
// play-up-to limit into the current State's entries. Called while no other
// thread reads them (the filler runs no other worker).
void applyFillerChoices(PlayContext& app, const FillerSettings& block);

}  // namespace plinka::filler
