// plinkactl's maintain verb, run as the program itself on a data folder whose
// song table a test has filled.
#include "db/table.h"
#include "support/run_plinkactl.h"
#include "support/song_table.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace plinka;
using plinka::test::TempDir;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

struct DataFolder {
  TempDir dir;
  std::string data() const { return dir.file("data/"); }
  std::string table() const { return data() + "Plinka.cvf"; }

  // The song table the data folder's first use finds: one record per
  // FileName, user u's Score 100 + u.
  explicit DataFolder(const std::vector<std::string>& fileNames) {
    std::filesystem::create_directories(data());
    db::TableHandle h;
    test::makeSongTable(h, table(), static_cast<uint32_t>(fileNames.size()), [&](db::TableHandle& t, uint32_t k) {
      test::putText(t, k, db::FileName, fileNames[k]);
      for (uint32_t u = 0; u < 10; ++u)
        test::putNumber(t, k, db::scoreField(u), 100 + u);
    });
  }

  test::ProgramResult run(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--data", data(), "maintain"});
    return test::runPlinkactl(dir, args, dir.path());
  }

  // FileName and user 4's Score of every record in use.
  std::vector<std::pair<std::string, uint32_t>> records() const {
    db::TableHandle h;
    std::snprintf(h.path, sizeof h.path, "%s", table().c_str());
    std::vector<std::pair<std::string, uint32_t>> out;
    EXPECT_TRUE(db::openMapped(h));
    for (uint32_t s = 0; s < h.slotCount; ++s) {
      if (db::getStatus(h, s) != static_cast<int32_t>(db::kStatusInUse))
        continue;
      db::readField(h, s, db::FileName);
      const std::string name = h.text;
      db::readField(h, s, db::scoreField(3));
      out.emplace_back(name, h.value);
    }
    db::closeTable(h);
    return out;
  }
};

TEST(MaintainVerb, ABadArgumentGivesTheUsageAndChangesNothing) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"bogus"},
      {"remove-duplicates", "extra"},
      {"copy-ratings", "3", "3"},
      {"copy-ratings", "0", "3"},
      {"copy-ratings", "3"},
      {"upscore", "11"},
      {"upscore", "two"},
      {"upscore", "-1"},
      {"redefault", "0"},
      {"save-playlist"},
      {"save-playlist", ""},
  };
  DataFolder f({"/m/a.mp3", "/m/a.mp3"});
  const std::string before = test::readFile(f.table());
  for (const std::vector<std::string>& args : cases) {
    const test::ProgramResult run = f.run(args);
    const std::string label = args.empty() ? "(none)" : args[0];
    EXPECT_EQ(run.exitCode, 2) << label;
    if (std::find(args.begin(), args.end(), "") != args.end())
      EXPECT_THAT(run.err, HasSubstr("is empty")) << label;
    else
      EXPECT_THAT(run.err, StartsWith("usage: plinkactl maintain ")) << label;
    EXPECT_EQ(run.out, "") << label;
    EXPECT_EQ(test::readFile(f.table()), before) << label;
  }
}

TEST(MaintainVerb, AFunctionRunsWithoutAskingAndPrintsTheStatusLinesItEndsWith) {
  DataFolder f({"/m/a.mp3", "/m/b.mp3", "/m/a.mp3"});
  test::ProgramResult run = f.run({"remove-duplicates"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "Finished\n" + f.table() + "\n");
  EXPECT_THAT(run.err, Not(HasSubstr("Yes, please run function")));

  run = f.run({"copy-ratings", "1", "4"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_THAT(f.records(), ElementsAre(std::pair<std::string, uint32_t>("/m/a.mp3", 100),
                                       std::pair<std::string, uint32_t>("/m/b.mp3", 100)));

  // A relative FILE is the working folder's.
  run = f.run({"save-playlist", "all.m3u"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(test::readFile(f.dir.file("all.m3u")), "/m/a.mp3\r\n/m/b.mp3\r\n");

  run = f.run({"save-playlist", f.dir.file("missing folder/all.m3u")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(run.err, HasSubstr("cannot write"));
}

}  // namespace
