// plinkactl's verbs over a data folder, run as the program itself.
#include "library/tag_bytes.h"
#include "support/run_plinkactl.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

using namespace plinka;
using plinka::test::TempDir;

namespace {

std::string mp3(const std::string& title) {
  using namespace test::tags;
  return tag(3, frame(3, "TIT2", latin1(title)) + frame(3, "TPE1", latin1("Band"))) + std::string(100, 'x');
}

void put(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  test::writeFile(path, bytes);
}

// The FileName column of every record `dump` prints, slot 0's empty record
// left out.
std::vector<std::string> dumpedFileNames(const std::string& dump) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start < dump.size()) {
    const size_t end = dump.find('\n', start);
    const std::string line = dump.substr(start, end - start);
    const size_t tab = line.find('\t');
    const std::string name = line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
    if (!name.empty())
      names.push_back(name);
    start = end + 1;
  }
  return names;
}

struct DataFolder {
  TempDir dir;
  std::string data() const { return dir.file("data/"); }
  std::string music(const std::string& rest = "") const { return dir.file("music/") + rest; }
  test::ProgramResult run(std::vector<std::string> args, const std::string& cwd = "/") const {
    args.insert(args.begin(), {"--data", data()});
    return test::runPlinkactl(dir, args, cwd);
  }
};

TEST(DataVerbs, ImportFillsTheDataFolderSongTableOnce) {
  DataFolder f;
  put(f.music("Band/one.mp3"), mp3("One"));
  put(f.music("Band/two.mp3"), mp3("Two"));
  put(f.music("cover.jpg"), "not music");

  test::ProgramResult run = f.run({"import", f.music()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "added=2 skipped=0\n");
  EXPECT_NE(run.err.find("Import Complete"), std::string::npos) << run.err;
  EXPECT_TRUE(std::filesystem::exists(f.data() + "dPlinka.dat"));

  run = f.run({"import", f.music()});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "added=0 skipped=2\n");

  run = f.run({"dump"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<std::string> names = dumpedFileNames(run.out);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{f.music("Band/one.mp3"), f.music("Band/two.mp3")}));
  EXPECT_NE(run.out.find("\tOne\tBand\t"), std::string::npos) << run.out;

  run = f.run({"info"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out.rfind("fields=44 slots=20 inuse=3 occupied=3 ", 0), 0u) << run.out;
}

TEST(DataVerbs, TheSourceIsTakenAsTheUserNamesIt) {
  struct Case {
    const char* label;
    std::string source;
    std::string cwd;
    std::vector<std::string> imported;  // under the music folder
  } cases[] = {
      // The same sources as the Database window's import table, read alike.
      {"folder without a final '/'", "music/Band", "", {"Band/one.mp3", "Band/two.mp3"}},
      {"folder with a final '/'", "music/Band/", "", {"Band/one.mp3", "Band/two.mp3"}},
      {"playlist", "music/list.m3u", "", {"loose.mp3"}},
      {"a file stands for its folder", "music/Band/one.mp3", "", {"Band/one.mp3", "Band/two.mp3"}},
      {"relative folder", "Band/", "music", {"Band/one.mp3", "Band/two.mp3"}},
      {"folder through '..'", "Band/../Band", "music", {"Band/one.mp3", "Band/two.mp3"}},
  };
  for (const Case& c : cases) {
    DataFolder f;
    put(f.music("Band/one.mp3"), mp3("One"));
    put(f.music("Band/two.mp3"), mp3("Two"));
    put(f.music("loose.mp3"), mp3("Loose"));
    put(f.music("list.m3u"), "#EXTM3U\r\n" + f.music("loose.mp3") + "\r\n");
    const test::ProgramResult run = f.run({"import", c.source}, f.dir.path() + c.cwd);
    ASSERT_EQ(run.exitCode, 0) << c.label << ": " << run.err;
    std::vector<std::string> expected;
    for (const std::string& name : c.imported)
      expected.push_back(f.music(name));
    std::vector<std::string> imported = dumpedFileNames(f.run({"dump"}).out);
    std::sort(imported.begin(), imported.end());
    EXPECT_EQ(imported, expected) << c.label;
  }
}

TEST(DataVerbs, ImportLeavesTheStateListFileAlone) {
  DataFolder f;
  put(f.music("one.mp3"), mp3("One"));
  ASSERT_EQ(f.run({"info"}).exitCode, 0);  // first use: settings and table made
  const std::string list = f.music("one.mp3") + "\r\n";
  test::writeFile(f.data() + "PL1.m3u", list);
  ASSERT_EQ(f.run({"import", f.music()}).exitCode, 0);
  EXPECT_EQ(test::readFile(f.data() + "PL1.m3u"), list);
}

TEST(DataVerbs, BadSourcesAndArgumentsAreRefused) {
  DataFolder f;
  put(f.music("one.mp3"), mp3("One"));
  ASSERT_EQ(mkfifo(f.music("pipe").c_str(), 0600), 0);
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string err;
  } cases[] = {
      {{"import"}, 2, "usage: plinkactl import SOURCE\n"},
      {{"import", "a", "b"}, 2, "usage: plinkactl import SOURCE\n"},
      {{"import", f.music("missing/")}, 1, "plinkactl: no such folder or playlist: " + f.music("missing/")},
      {{"import", ""}, 2, "argument 4 is empty"},
      {{"import", f.music("missing")}, 1, "plinkactl: no such folder or playlist: " + f.music("missing")},
      {{"import", f.music("pipe")}, 1, "is neither a folder nor a file"},
      {{"import", f.music("dir.m3u/")}, 1, "no such folder or playlist"},
      {{"dump", "a", "b"}, 2, "usage: plinkactl dump [FILE]\n"},
      {{"info", "a", "b"}, 2, "usage: plinkactl info [FILE]\n"},
  };
  for (const Case& c : cases) {
    const test::ProgramResult run = f.run(c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.args[0];
    EXPECT_NE(run.err.find(c.err), std::string::npos) << c.args[0] << ": " << run.err;
    EXPECT_EQ(run.out, "") << c.args[0];
  }
  // Nothing was imported by any of them.
  EXPECT_EQ(dumpedFileNames(f.run({"dump"}).out), std::vector<std::string>{});
}

TEST(DataVerbs, AnUnusableSongTableIsReported) {
  DataFolder f;
  put(f.music("one.mp3"), mp3("One"));
  put(f.data() + "Plinka.cvf", "DATA0000 damaged");
  for (const std::vector<std::string>& args : {std::vector<std::string>{"import", f.music()}, {"dump"}, {"info"}}) {
    const test::ProgramResult run = f.run(args);
    EXPECT_EQ(run.exitCode, 1) << args[0];
    EXPECT_NE(run.err.find("cannot open song table"), std::string::npos) << args[0] << ": " << run.err;
    EXPECT_EQ(run.out, "") << args[0];
  }
}

}  // namespace

// A data folder named relative to the working folder is kept as a full path,
// so the song table its settings name is found from any working folder.
TEST(DataVerbs, ARelativeDataFolderStoresFullPaths) {
  DataFolder f;
  put(f.music("Band/one.mp3"), mp3("One"));
  const test::ProgramResult imported = test::runPlinkactl(f.dir, {"--data", "data", "import", f.music()}, f.dir.path());
  ASSERT_EQ(imported.exitCode, 0) << imported.err;
  const test::ProgramResult dump = f.run({"dump"}, "/");
  ASSERT_EQ(dump.exitCode, 0) << dump.err;
  EXPECT_EQ(dumpedFileNames(dump.out), std::vector<std::string>{f.music("Band/one.mp3")});
}
