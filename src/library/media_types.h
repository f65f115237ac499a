// Media file types: from a file name's ending, whether the player handles the
// file, whether it is audio or video, and whether the user's file-type filter
// lets it through.
#pragma once

#include "core/front_end.h"
#include "core/settings_record.h"

#include <cstdint>
#include <vector>

namespace plinka::library {

// Media type codes. 0 means unknown or switched off; 15 and above is video.
constexpr uint32_t kMediaNone = 0;
constexpr uint32_t kMediaMp3 = 1;
constexpr uint32_t kMediaWav = 2;
constexpr uint32_t kMediaMidi = 3;
constexpr uint32_t kMediaWma = 4;
constexpr uint32_t kMediaAsf = 5;
constexpr uint32_t kMediaFlac = 6;
constexpr uint32_t kMediaOgg = 7;  // Ogg Vorbis: ".ogg", ".oga"
constexpr uint32_t kMediaOpus = 8;
constexpr uint32_t kMediaM4a = 9;
constexpr uint32_t kMediaAac = 10;
constexpr uint32_t kMediaAvi = 16;
constexpr uint32_t kMediaMpeg = 17;
constexpr uint32_t kMediaWmv = 18;
constexpr uint32_t kMediaMp4 = 19;
constexpr uint32_t kMediaMkv = 20;
constexpr uint32_t kMediaWebm = 21;
// Media type codes from this value on are video.
constexpr uint32_t kFirstVideoType = 16;

// The code for a file name or path, judged by its last three characters
// (ASCII letters lower-cased) and, failing those, by its last four ("mpeg",
// "flac", "opus", "webm").
// The first ending that matches decides: its code when its own filter or
// "All" is on, else 0. Only the ending counts, not a dot before it.
uint32_t mediaType(const SettingsRecord& settings, const char* nameOrPath);

// The `newTypesOff` bit (kNewTypeBit...) of a type added after the first
// nine; 0 for the first nine and for unknown codes.
uint32_t newTypeBit(uint32_t code);

// True for the video codes (15 and above).
inline bool isVideo(uint32_t code) { return code >= 15; }

// The file dialog's filter pairs, in the order the dialog offers them.
std::vector<FileFilter> fileDialogFilters();

// The 1-based filter pair a caller pre-selects in the file dialog.
constexpr int kFilterMedia = 1;
constexpr int kFilterPlaylists = 2;
constexpr int kFilterDatabases = 3;

}  // namespace plinka::library
