// An import killed outright (SIGKILL, as by a crash or a power cut) at
// random moments: each time the song table still opens, every record in use
// names a file of the folder, and a last import completes the set with no
// song twice.
#include "library/tag_bytes.h"
#include "support/run_plinkactl.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace plinka;

namespace {

// The FileName column of the records `dump` prints, slot 0's empty record
// left out.
std::vector<std::string> dumpedFileNames(const std::string& dump) {
  std::vector<std::string> names;
  for (const std::string& line : test::lines(dump)) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos)
      continue;
    const std::string name = line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
    if (!name.empty())
      names.push_back(name);
  }
  return names;
}

// Starts `plinkactl --data DATA import MUSIC` and returns its process id.
pid_t startImport(const std::string& data, const std::string& music) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int quiet = open("/dev/null", O_RDWR);
    dup2(quiet, 0);
    dup2(quiet, 1);
    dup2(quiet, 2);
    execl(PLINKACTL_PATH, PLINKACTL_PATH, "--data", data.c_str(), "import", music.c_str(), nullptr);
    _exit(127);
  }
  return pid;
}

TEST(ImportKill, KilledAtRandomMomentsTheTableStaysWholeAndALastImportCompletesIt) {
  test::TempDir dir;
  const std::string music = dir.file("music/"), data = dir.file("data/");
  std::set<std::string> files;
  for (int i = 0; i < 5000; ++i) {
    const std::string folder = music + "Artist " + std::to_string(i / 100) + "/";
    if (i % 100 == 0)
      std::filesystem::create_directories(folder);
    using namespace test::tags;
    const std::string path = folder + "Song " + std::to_string(i) + ".mp3";
    test::writeFile(path, tag(3, frame(3, "TIT2", latin1("Song " + std::to_string(i)))) + std::string(200, 'x'));
    files.insert(path);
  }
  std::filesystem::create_directories(data);

  // How long a whole import takes here, so the kills fall inside one.
  const auto start = std::chrono::steady_clock::now();
  const pid_t timed = startImport(data, music);
  int status = 0;
  ASSERT_EQ(waitpid(timed, &status, 0), timed);
  const auto whole = std::chrono::steady_clock::now() - start;
  std::filesystem::remove_all(data);
  std::filesystem::create_directories(data);

  std::mt19937 rng(20261210);
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const pid_t pid = startImport(data, music);
    std::this_thread::sleep_for(whole * (rng() % 1000) / 1000);
    kill(pid, SIGKILL);
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    const test::ProgramResult dump = test::runPlinkactl(dir, {"--data", data, "dump"});
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    const std::vector<std::string> names = dumpedFileNames(dump.out);
    for (const std::string& name : names)
      ASSERT_TRUE(files.count(name)) << "a record names " << name;
    RecordProperty("songs_after_kill_" + std::to_string(round), static_cast<int>(names.size()));
    // Now and then the folder is emptied of songs again, so that kills land
    // early in an import too.
    if (round % 2 == 1) {
      std::filesystem::remove_all(data);
      std::filesystem::create_directories(data);
    }
  }

  const test::ProgramResult last = test::runPlinkactl(dir, {"--data", data, "import", music});
  ASSERT_EQ(last.exitCode, 0) << last.err;
  const test::ProgramResult dump = test::runPlinkactl(dir, {"--data", data, "dump"});
  ASSERT_EQ(dump.exitCode, 0) << dump.err;
  const std::vector<std::string> names = dumpedFileNames(dump.out);
  EXPECT_EQ(names.size(), files.size()) << "every file once";
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), files);
}

}  // namespace
