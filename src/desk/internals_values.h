// The numbers behind the rating scheme and the run-time read-outs, as the
// Internals window shows and edits them. The window only moves texts between
// its fields and these records; checking what was typed and storing it into
// the settings happens here.
#pragma once

#include "core/settings_record.h"

#include <array>
#include <cstdint>
#include <string>

namespace plinka {

struct App;

// Entries of the auto-rate speed list.
constexpr uint32_t kAutoRateSpeedCount = 3;
constexpr const char* kAutoRateSpeedNames[kAutoRateSpeedCount] = {"Slow", "Normal", "Fast"};

// The editable fields as typed.
struct InternalsEntries {
  std::array<std::string, 10> ratingValue;
  std::string targetValue;
  std::string defaultImport;
  std::string bufferSize;
  bool lameCheck = false;
  uint32_t autoRateSpeed = 1;  // index into kAutoRateSpeedNames
};

// The fields as the settings hold them now.
InternalsEntries internalsEntriesOf(const SettingsRecord& settings);

// "Default": ratings 1, 2, 4 ... 512, target 1000, default import 16.
// "Alternate": ratings 1, 4, 8 ... 1024, target 2000, default import 32.
// Neither touches the buffer size, the LAME check or the auto-rate speed.
void applyDefaultScheme(InternalsEntries& entries);
void applyAlternateScheme(InternalsEntries& entries);

// A field's text as an unsigned 32-bit number: decimal digits only, spaces
// around them allowed. False for anything else (empty, a sign, letters, a
// value past 4294967295).
bool parseUnsigned(const std::string& text, uint32_t& value);

// Stores the entries into the settings. A rating value that is not a number
// stores 0. Target Value, Default Import and Buffer Size must be numbers:
// when one is not, nothing at all is stored and the message naming the
// field is returned. Returns an empty text when everything was stored.
std::string storeInternals(SettingsRecord& settings, const InternalsEntries& entries);

// The run-time read-outs, each as the window shows it.
struct InternalsReadouts {
  std::string buildTime;  // the build pass's time limit
  std::string currRate;   // the playing song's score
  std::string lbBuffer;   // edits waiting in the deferred edit queue
  std::string hashStat;
  std::string dbAverage;
  std::string listState;  // buildState
  std::string workPos;    // background worker's step, cache writer's step
  std::string waiting;    // command slot, last taken code, posters; busy code; processor lock
  std::string loudness;   // the loudness job's progress, and whether it runs now
};

// Reads the read-outs; any thread.
InternalsReadouts internalsReadouts(App& app);

}  // namespace plinka
