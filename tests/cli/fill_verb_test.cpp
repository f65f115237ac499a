// plinkactl fill, run as the program itself on a data folder of its own.
#include "app/app.h"
#include "app/settings_file.h"
#include "core/settings_defaults.h"
#include "db/table.h"
#include "platform/files.h"
#include "support/run_plinkactl.h"
#include "support/song_table.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace plinka::test {
namespace {

class FillVerbTest : public ::testing::Test {
protected:
  // 22 ripe songs of 300 KB, their table and the settings in the data folder.
  FillVerbTest() {
    App app;
    app.folders.data = data.path();
    app.folders.program = data.path();
    firstRunDefaults(app.settings, app.folders);
    shareSettings(app);
    for (uint32_t k = 0; k < 22; ++k) {
      songs.push_back(media.file("song" + std::to_string(k) + ".mp3"));
      writeFile(songs.back(), std::string(300 * 1024, static_cast<char>('a' + k)));
    }
    makeSongTable(app.songTable, app.settings.databasePath, 22, [this](db::TableHandle& h, uint32_t k) {
      putText(h, k, db::FileName, songs[k]);
      for (uint32_t u = 0; u < kUserCount; ++u) {
        putNumber(h, k, db::scoreField(u), 16);
        putNumber(h, k, db::targetField(u), 100000);
      }
    });
    app.listFileKept.store(1);
    EXPECT_TRUE(saveSettings(app));
  }

  ProgramResult plinkactl(std::vector<std::string> args) {
    args.insert(args.begin(), {"--data", data.path()});
    return runPlinkactl(data, args);
  }

  TempDir data;
  TempDir media;
  TempDir out;
  std::vector<std::string> songs;
};

TEST_F(FillVerbTest, FillsUpToTheSizeWithNumberedCopiesAndAProgressLineEach) {
  const std::string settings = readFile(data.file(kSettingsFileName));
  const ProgramResult run = plinkactl({"fill", out.path(), "--size", "1", "--number"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // 1024 KB: 724, 424, 124 left, and the fourth song reaches the budget.
  const std::vector<std::string> printed = lines(run.out);
  ASSERT_EQ(printed.size(), 4u) << run.out;
  for (size_t k = 0; k < printed.size(); ++k) {
    const std::string prefix = std::to_string(k + 1) + "\t" + out.path() + "00" + std::to_string(k) + " song";
    EXPECT_EQ(printed[k].substr(0, prefix.size()), prefix) << printed[k];
  }
  EXPECT_EQ(printed[0].substr(printed[0].rfind('\t')), "\t0MB to go") << "724 KB is 0 whole MB";
  EXPECT_NE(run.err.find("4 songs"), std::string::npos) << run.err;
  const std::string copied =
      printed[2].substr(printed[2].find('\t') + 1, printed[2].rfind('\t') - printed[2].find('\t') - 1);
  const std::string name = copied.substr(copied.rfind('/') + 5);
  EXPECT_EQ(readFile(copied), readFile(media.file(name)));
  EXPECT_EQ(readFile(data.file(kSettingsFileName)), settings) << "a fill writes no settings";
  EXPECT_FALSE(platform::fileExists(data.file("dPkFill.dat")));
}

TEST_F(FillVerbTest, RefusesBadArgumentsAndAMissingFolder) {
  const std::vector<std::vector<std::string>> bad = {
      {"fill", "--size", "5"},
      {"fill", out.path()},
      {"fill", out.path(), "--size", "0"},
      {"fill", out.path(), "--size", "lots"},
      {"fill", out.path(), "--size", "5", "--state", "11"},
      {"fill", out.path(), "--size", "5", "--empty"},
  };
  for (const std::vector<std::string>& args : bad) {
    const ProgramResult run = plinkactl(args);
    EXPECT_EQ(run.exitCode, 2) << args.back();
    EXPECT_NE(run.err.find("usage: plinkactl fill"), std::string::npos) << run.err;
  }
  const ProgramResult missing = plinkactl({"fill", out.file("none"), "--size", "fill"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find(out.file("none")), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace plinka::test
