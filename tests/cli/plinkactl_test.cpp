// plinkactl's table verbs, run as the program itself.
#include "db/table.h"
#include "support/run_plinkactl.h"
#include "support/table_fixture.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace plinka;
using namespace plinka::db;
using namespace plinka::db::testing;

TEST(Plinkactl, CreateThenInfoAndDump) {
  test::TempDir dir;
  const std::string path = dir.file("Plinka.cvf");
  test::ProgramResult run = test::runPlinkactl(dir, {"create", path});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  run = test::runPlinkactl(dir, {"info", path});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "fields=44 slots=10 inuse=1 occupied=1 bytes=26636\n");

  TableHandle h;
  std::strcpy(h.path, path.c_str());
  h.writable = 1;
  ASSERT_TRUE(openMapped(h));
  const int32_t s = allocate(h);
  writeText(h, s, FileName, "/music/Band/Album/01 Song.mp3");
  writeText(h, s, Artist, "The Band");
  writeNumber(h, s, PlayCount, 7);
  writeNumber(h, s, scoreField(0), 0xFFFFFFFF);
  allocate(h);
  ASSERT_TRUE(setStatus(h, 2, 11));  // occupied, not in use: not dumped
  closeTable(h);

  run = test::runPlinkactl(dir, {"dump", path});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  std::string empty = "0", song = "1";
  for (uint32_t f = 1; f <= 44; ++f) {
    empty += f <= 9 ? "\t" : "\t0";
    song += "\t";
    song += f == 1    ? "/music/Band/Album/01 Song.mp3"
            : f == 3  ? "The Band"
            : f <= 9  ? ""
            : f == 12 ? "4294967295"
            : f == 44 ? "7"
                      : "0";
  }
  EXPECT_EQ(run.out, empty + "\n" + song + "\n");
  run = test::runPlinkactl(dir, {"info", path});
  EXPECT_EQ(run.out, "fields=44 slots=20 inuse=2 occupied=3 bytes=43196\n");
}

TEST(Plinkactl, FindListsEveryMatchFromSlotZeroOn) {
  test::TempDir dir;
  const std::string path = dir.file("Plinka.cvf");
  ASSERT_TRUE(createSongTable(path.c_str()));
  TableHandle h;
  std::strcpy(h.path, path.c_str());
  h.writable = 1;
  ASSERT_TRUE(openMapped(h));
  writeText(h, 0, Artist, "Queen");
  for (int i = 1; i <= 5; ++i)
    writeText(h, allocate(h), Name, i % 2 ? "queen of hearts" : "king");
  ASSERT_TRUE(setStatus(h, 3, kStatusFree));
  closeTable(h);

  struct Case {
    const char* text;
    const char* out;
  } cases[] = {{"QUEEN", "0\n1\n5\n"}, {"king", "2\n4\n"}, {"nobody", ""}};
  for (const auto& c : cases) {
    const test::ProgramResult run = test::runPlinkactl(dir, {"find", path, c.text});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, c.out) << c.text;
  }
}

TEST(Plinkactl, BadArgumentsAndUnusableFiles) {
  test::TempDir dir;
  const std::string notTable = dir.file("notes.txt");
  test::writeFile(notTable, "DATA0000 not a table at all");
  const std::string missing = dir.file("missing.cvf");
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    const char* err;
  } cases[] = {
      {{}, 2, "usage: plinkactl [--data DIR] VERB"},
      {{"frobnicate"}, 2, "unknown verb frobnicate"},
      {{"info", "a", "b"}, 2, "usage: plinkactl info [FILE]\n"},
      {{"dump", "a", "b"}, 2, "usage: plinkactl dump [FILE]\n"},
      {{"find", notTable}, 2, "usage: plinkactl find FILE TEXT\n"},
      {{"create"}, 2, "usage: plinkactl create FILE\n"},
      {{"info", notTable}, 1, "plinkactl: cannot open song table "},
      {{"dump", missing}, 1, "No such file or directory"},
      {{"find", notTable, "x"}, 1, "not a table file"},
      {{"create", dir.file("no/such/folder.cvf")}, 1, "plinkactl: cannot create song table "},
      // Empty words name nothing; they never fall back to a default folder.
      {{"--data", "", "info"}, 2, "argument 2 is empty"},
      {{"--data", dir.path(), "import", ""}, 2, "argument 4 is empty"},
      {{"info", ""}, 2, "argument 2 is empty"},
      {{"create", ""}, 2, "argument 2 is empty"},
      {{"find", "", "x"}, 2, "argument 2 is empty"},
  };
  for (const auto& c : cases) {
    const test::ProgramResult run = test::runPlinkactl(dir, c.args);
    const std::string what = c.args.empty() ? "(no verb)" : c.args[0];
    EXPECT_EQ(run.exitCode, c.exitCode) << what;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << what << ": " << run.err;
    EXPECT_EQ(run.out, "") << what;
  }
}

TEST(Plinkactl, InfoAndDumpRefuseWhatIsNotARegularFileAtOnce) {
  test::TempDir dir;
  const std::string fifo = dir.file("fifo.cvf");
  const std::string folder = dir.file("folder.cvf");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  for (const std::string& path : {fifo, folder, std::string("/dev/null")})
    for (const char* verb : {"info", "dump"}) {
      const test::ProgramResult run = test::runPlinkactl(dir, {verb, path});
      EXPECT_EQ(run.exitCode, 1) << verb << " " << path;
      EXPECT_NE(run.err.find("not a regular file"), std::string::npos) << verb << " " << path << ": " << run.err;
    }
}

// create makes only new files: a table full of songs, or any other file (or
// a link) at the name, is refused and left exactly as it was.
TEST(Plinkactl, CreateNeverReplacesWhatIsThere) {
  test::TempDir dir;
  const std::string table = dir.file("Plinka.cvf");
  ASSERT_TRUE(createSongTable(table.c_str()));
  {
    TableHandle h;
    std::strcpy(h.path, table.c_str());
    h.writable = 1;
    ASSERT_TRUE(openMapped(h));
    for (int i = 0; i < 7; ++i)
      writeText(h, allocate(h), FileName, ("/music/" + std::to_string(i) + ".mp3").c_str());
    closeTable(h);
  }
  const std::string notes = dir.file("notes.txt");
  test::writeFile(notes, "shopping: milk\n");
  const std::string link = dir.file("link.cvf");
  ASSERT_EQ(symlink(notes.c_str(), link.c_str()), 0);
  const std::string dangling = dir.file("dangling.cvf");
  ASSERT_EQ(symlink(dir.file("nowhere").c_str(), dangling.c_str()), 0);

  for (const std::string& path : {table, notes, link, dangling, dir.path()}) {
    const std::string before = test::readFile(path);
    const test::ProgramResult run = test::runPlinkactl(dir, {"create", path});
    EXPECT_EQ(run.exitCode, 2) << path;
    EXPECT_NE(run.err.find("already exists"), std::string::npos) << run.err;
    EXPECT_EQ(test::readFile(path), before) << path;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("nowhere"))) << "no table made behind a link";
  EXPECT_NE(test::runPlinkactl(dir, {"info", table}).out.find(" inuse=8 "), std::string::npos)
      << "the seven songs are all there";
}
