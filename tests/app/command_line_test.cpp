#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace plinka;

namespace {

TEST(CommandLine, TokenReader) {
  struct Case {
    std::string line;
    int n;
    int result;
    std::string token;
  } cases[] = {
      {"plinka /s", 0, kTokenFound, "plinka"},
      {"plinka /s", 1, kTokenFound, "/s"},
      {"plinka /s", 2, kTokenMissing, ""},
      {"", 0, kTokenMissing, ""},
      {"   plinka\t\t  a   b  ", 2, kTokenFound, "b"},
      {"   plinka\t\t  a   b  ", 3, kTokenMissing, ""},
      {"\"/usr/my apps/plinka\" \"My  Music/s\" x", 0, kTokenFound, "/usr/my apps/plinka"},
      {"\"/usr/my apps/plinka\" \"My  Music/s\" x", 1, kTokenFound, "My  Music/s"},
      {"\"/usr/my apps/plinka\" \"My  Music/s\" x", 2, kTokenFound, "x"},
      {"plinka \"a\tb\"", 1, kTokenFound, "a b"},
      {"plinka a\"b c\"d e", 1, kTokenFound, "ab cd"},
      {"plinka \"\" /s", 1, kTokenEmpty, ""},
      {"plinka \"/s", 1, kTokenOddQuotes, ""},
      {"plinka \"/s", 0, kTokenOddQuotes, ""},
  };
  for (const auto& c : cases) {
    std::string token = "stale";
    EXPECT_EQ(readToken(c.line, c.n, token), c.result) << c.line << " #" << c.n;
    EXPECT_EQ(token, c.token) << c.line << " #" << c.n;
  }
}

TEST(CommandLine, SwitchesCountByTheirLastCharacterOnly) {
  struct Case {
    std::string line;
    bool filler;
    bool startPlaying;
  } cases[] = {
      {"plinka", false, false},
      {"plinka /F", true, false},
      {"plinka -f", true, false},
      {"plinka stuff", true, false},
      {"plinka /s", false, true},
      {"plinka S", false, true},
      {"plinka words", false, true},
      {"plinka /x", false, false},
      {"plinka /x -S\t/f", true, true},
      {"plinka \"my music/s\"", false, true},
      {"\"/usr/my apps/plinkas\"", false, false},  // the program name is no switch
      {"plinka /s \"/f", false, false},            // one unmatched quote: no switch at all
      {"plinka \"\" /s", false, false},            // reading stops at an empty token
  };
  for (const auto& c : cases) {
    const Switches s = readSwitches(c.line);
    EXPECT_EQ(s.filler, c.filler) << c.line;
    EXPECT_EQ(s.startPlaying, c.startPlaying) << c.line;
  }
}

TEST(CommandLine, ArgumentsJoinIntoALineThatReadsBackTheSame) {
  std::vector<std::string> args = {"/usr/bin/plinka", "My Music/s", "-f", "a\tb", ""};
  std::vector<char*> argv;
  for (auto& a : args)
    argv.push_back(a.data());
  const std::string line = commandLineOf(static_cast<int>(argv.size()), argv.data());
  EXPECT_EQ(line, "/usr/bin/plinka \"My Music/s\" -f \"a\tb\" \"\"");

  std::string token;
  for (int n = 0; n < 4; ++n) {
    EXPECT_EQ(readToken(line, n, token), kTokenFound);
    EXPECT_EQ(token, n == 3 ? std::string("a b") : args[n]);
  }
  EXPECT_EQ(readToken(line, 4, token), kTokenEmpty);
}

}  // namespace
