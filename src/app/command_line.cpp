#include "app/command_line.h"

#include <algorithm>

namespace plinka {

int readToken(const std::string& commandLine, int n, std::string& token) {
  token.clear();
  if (std::count(commandLine.begin(), commandLine.end(), '"') % 2 != 0)
    return kTokenOddQuotes;
  if (n < 0)
    return kTokenMissing;

  const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  size_t i = 0;
  const size_t end = commandLine.size();
  for (int index = 0;; ++index) {
    while (i < end && isBlank(commandLine[i]))
      ++i;
    if (i == end)
      return kTokenMissing;
    // One token: up to the next blank outside quotes.
    std::string current;
    bool quoted = false;
    for (; i < end && (quoted || !isBlank(commandLine[i])); ++i) {
      const char c = commandLine[i];
      if (c == '"')
        quoted = !quoted;
      else
        current += c == '\t' ? ' ' : c;
    }
    if (index == n) {
      token = current;
      return token.empty() ? kTokenEmpty : kTokenFound;
    }
  }
}

Switches readSwitches(const std::string& commandLine) {
  Switches switches;
  std::string token;
  for (int n = 1; readToken(commandLine, n, token) == kTokenFound; ++n) {
    char last = token.back();
    if (last >= 'A' && last <= 'Z')
      last = static_cast<char>(last - 'A' + 'a');
    if (last == 'f')
      switches.filler = true;
    else if (last == 's')
      switches.startPlaying = true;
  }
  return switches;
}

bool playsAtLaunch(const Switches& switches, const SettingsRecord& settings) {
  return switches.startPlaying || settings.autoPlay != 0;
}

std::string commandLineOf(int argc, char** argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i] ? argv[i] : "";
    if (i > 0)
      line += ' ';
    if (arg.empty() || arg.find_first_of(" \t") != std::string::npos)
      line += '"' + arg + '"';
    else
      line += arg;
  }
  return line;
}

}  // namespace plinka
