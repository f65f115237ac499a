// The Options window's values: the settings it edits, read into plain form
// values, checked, and stored back in the window's order. The window itself
// (gui/options_window) only shows these values and hands them back.
//
// Everything here runs on the GUI thread, the one writer of the words and
// texts the window edits; the words other threads share go through their
// atomic twins (per-State user and alt mode) or their lock (the picture
// settings).
#pragma once

#include "core/settings_record.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace plinka {

struct App;

// Longest name or pattern kept, in bytes (the slots hold 50 with the
// terminating zero).
constexpr size_t kOptionTextMax = kNameSize - 1;
// The alt modes whose names and patterns the window edits: 1 to the one
// before the last (the last is chosen only through the keys).
constexpr int kPatternModes = kAltModeCount - 1;
// Entries of the "Play up to" and "Minimum play rating is" lists, and of the
// "User Mode" list (alt modes 0-9).
constexpr int kPlayUpToChoices = 4;
constexpr int kMinRatingChoices = 11;
constexpr int kAltModeChoices = kAltModeCount;
// A list with no entry selected (its stored value lies outside the list): the
// stored value stays as it is.
constexpr int32_t kNoChoice = -1;

// One State's filter choices.
struct StateChoices {
  int32_t playUpTo = kNoChoice;   // 0 "Clean" .. 3 "Really Dirty"
  int32_t minRating = kNoChoice;  // 0-10
  int32_t user = kNoChoice;       // 0-9; stored only while the alt mode is 0
  int32_t altMode = kNoChoice;    // 0 single user, k pattern mode k
  bool noArtistRepeat = false;
  bool history = false;
};

// The file-type filters: the first eight in the record's order, then the
// types added after them, kept as bits of `newTypesOff`.
enum class FileType { Mp3, Avi, Wav, Mpeg, Midi, Wma, Asf, Wmv, Flac, Ogg, Opus, M4a, Aac, Mp4, Mkv, Webm };
constexpr int kFileTypeCount = 16;

struct OptionsForm {
  std::array<std::string, kUserCount> userNames;
  // Alt modes 1-9: entry k - 1 belongs to alt mode k.
  std::array<std::string, kPatternModes> altModeNames;
  std::array<std::string, kPatternModes> altModePatterns;
  bool typeAll = false;
  std::array<bool, kFileTypeCount> types{};
  // The State whose choices `choices` holds.
  uint32_t state = 0;
  StateChoices choices;
  // "Prepare" as typed.
  std::string prepare;
  bool fullMovie = false;
  bool autoBuild = false;
  bool dirToId = false;
  bool network = false;
  bool shutdown = false;
  bool autoMini = false;
  bool coverArt = false;
  bool buffer = false;
  bool tray = false;
  bool autoRate = false;
  bool autoPlay = false;
  bool markVideo = false;
  bool showRate = false;
  bool onTop = false;
  // "Levelling": 0 Off, 1 By song, 2 By album (a Levelling).
  int32_t levelling = 0;
};

// Every value as the settings hold it, with the current State's choices.
OptionsForm readOptions(const App& app);
StateChoices readStateChoices(const App& app, uint32_t state);
// Stores one State's choices into its slots (the user only while the State
// has no alt mode: otherwise its pattern chooses the user).
void storeStateChoices(App& app, uint32_t state, const StateChoices& choices);

// The song count typed into "Prepare": text that is not a number counts 0;
// nothing for a number too large to keep.
std::optional<uint32_t> prepareCountOf(const std::string& typed);

// A value the window refuses to store, with the field it was typed into.
struct OptionsRefusal {
  enum class Field { UserName, AltModeName, AltModePattern, Prepare };
  Field field = Field::Prepare;
  int index = 0;  // user 0-9, or alt mode 1-9 as its entry 0-8
  std::string message;
};

// The first value that cannot be stored as typed, if any.
std::optional<OptionsRefusal> checkOptions(const OptionsForm& form);

// What storing changed that the main window shows at once.
struct OptionsStored {
  std::optional<OptionsRefusal> refused;  // set: nothing was stored
  bool onTopChanged = false;
  bool coverArtChanged = false;
  bool bufferChanged = false;  // "Buffer" switched: the cache is opened or emptied
};

// "OK": checks the values, then stores them in order (names and patterns,
// "Prepare", the file types and the State's choices, "Tray", "Network" with
// "Buffer" (kept only with "Network"), then the switches) and refreshes the
// status texts. Nothing is stored when a value is refused.
OptionsStored storeOptions(App& app, const OptionsForm& form);

// "All" takes effect as soon as it is clicked, whatever closes the window.
void setTypeAll(App& app, bool all);

// "Reset": every option back to its default (see fullReset), the words that
// threads share included. The edit queue and the user's data stay. The
// current State is left for the caller to change through the State switch,
// so that its list is saved and the reset State's list loaded: returns the
// State the reset chose.
uint32_t resetOptions(App& app);

}  // namespace plinka
