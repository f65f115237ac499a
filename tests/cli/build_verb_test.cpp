// plinkactl build, run as the program itself on a data folder of its own.

#include "app/settings_file.h"
#include "platform/files.h"
#include "support/play_fixture.h"
#include "support/run_plinkactl.h"

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <sys/wait.h>

namespace plinka::test {
namespace {

class BuildVerbTest : public PlayTest {
protected:
  ProgramResult plinkactl(std::vector<std::string> args) {
    args.insert(args.begin(), {"--data", dir.path()});
    return runPlinkactl(dir, args);
  }

  // The settings record as saved in the data folder.
  SettingsRecord savedSettings() {
    const std::string bytes = readFile(dir.file(kSettingsFileName));
    SettingsRecord s{};
    EXPECT_EQ(bytes.size(), kSettingsFileSize);
    if (bytes.size() == kSettingsFileSize)
      std::memcpy(&s, bytes.data() + kSettingsMagicSize, sizeof s);
    return s;
  }

  // 30 songs of ratings 5 to 10.
  static std::vector<Song> songs() {
    std::vector<Song> all = plainSongs(30);
    for (uint32_t k = 0; k < all.size(); ++k)
      all[k].score = 16u << (k % 6);
    return all;
  }
};

TEST_F(BuildVerbTest, PrintsEachChosenSongAndWritesTheStatesList) {
  makeTable(songs());
  const ProgramResult run = plinkactl({"build", "--count", "10"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::vector<std::string> printed = lines(run.out);
  ASSERT_EQ(printed.size(), 10u);
  std::vector<std::string> files;
  for (const std::string& line : printed) {
    const size_t tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << line;
    const std::string file = line.substr(tab + 1);
    const uint32_t k = static_cast<uint32_t>(std::stoul(file.substr(std::strlen("/music/song"))));
    EXPECT_EQ(line.substr(0, tab), std::to_string(5 + k % 6)) << "the rating of the song's Score";
    files.push_back(file);
  }
  EXPECT_EQ(lines(readFile(dir.file("PL1.m3u"))), files);

  const SettingsRecord saved = savedSettings();
  EXPECT_EQ(saved.currentState, 0u);
  EXPECT_EQ(saved.prepareCount, 100u) << "the user's list length is kept";
  EXPECT_EQ("/music/song" + std::to_string(saved.historySongs[0]) + ".mp3", files.back())
      << "the memory lists are saved";
}

TEST_F(BuildVerbTest, BuildsTheListOfTheStateAsked) {
  makeTable(songs());
  const ProgramResult run = plinkactl({"build", "--state", "3", "--count", "4"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(lines(readFile(dir.file("PL3.m3u"))).size(), 4u);
  EXPECT_FALSE(platform::fileExists(dir.file("PL1.m3u")));
  EXPECT_EQ(savedSettings().currentState, 0u);
}

TEST_F(BuildVerbTest, GivesUpClearlyWhenNoListCanBeBuilt) {
  struct Case {
    const char* name;
    std::vector<Song> songs;
    const char* says;
  };
  std::vector<Song> unrated = plainSongs(30);
  for (Song& s : unrated) {
    s.score = 0;
    s.target = 1000;
  }
  const Case cases[] = {
      {"19 songs", plainSongs(19), "at least 20"},
      {"every Score 0", unrated, "no song passed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    makeTable(c.songs);
    const ProgramResult run = plinkactl({"build", "--count", "5"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(platform::fileExists(dir.file("PL1.m3u")));
  }
}

TEST_F(BuildVerbTest, RefusesBadArguments) {
  makeTable(songs());
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"build", "--state", "0"},
           {"build", "--state", "11"},
           {"build", "--count", "0"},
           {"build", "--count", "ten"},
           {"build", "--count"},
           {"build", "extra"},
       }) {
    const ProgramResult run = plinkactl(args);
    EXPECT_EQ(run.exitCode, 2) << args.back();
    EXPECT_NE(run.err.find("usage: plinkactl build"), std::string::npos);
  }
}

}  // namespace
}  // namespace plinka::test
