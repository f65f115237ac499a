// The command line: a token reader that keeps a double-quoted stretch as one
// token, and the two switches read from it.
#pragma once

#include "core/settings_record.h"

#include <string>

namespace plinka {

// Results of readToken.
constexpr int kTokenFound = 1;      // token n copied
constexpr int kTokenMissing = 2;    // fewer than n + 1 tokens; token is empty
constexpr int kTokenOddQuotes = 3;  // an odd number of double quotes: nothing read
constexpr int kTokenEmpty = 4;      // token n is empty (it held only quotes)

// Copies token n (0 = the program name) into `token`. Tabs count as blanks,
// tokens are split at runs of blanks, a double-quoted stretch keeps its blanks
// and the quotes themselves are dropped.
int readToken(const std::string& commandLine, int n, std::string& token);

struct Switches {
  bool filler = false;        // an argument ending in "f": run the Media Filler alone
  bool startPlaying = false;  // an argument ending in "s": start playing at launch
};

// Reads tokens 1, 2, 3 ... while they are found; each counts by its last
// character only, in either case, so "/F", "-f" and "stuff" all mean filler.
Switches readSwitches(const std::string& commandLine);

// Whether the player plays from launch on: the "s" switch, or "Auto Play"
// set in the Options window.
bool playsAtLaunch(const Switches& switches, const SettingsRecord& settings);

// The arguments joined into one line the way the system's own command line
// looks: separated by blanks, an argument that is empty or holds blanks or
// tabs wrapped in double quotes.
std::string commandLineOf(int argc, char** argv);

}  // namespace plinka
