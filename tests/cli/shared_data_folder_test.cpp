// Several programs on one data folder at once: the terminal player plays
// and builds from the song table while plinkactl imports two more folders
// into it at the same time, builds lists from it and fills a device folder. Nobody crashes, the table ends with every
// song once, and only the player writes the settings.
#include "db/records.h"
#include "db/table.h"
#include "support/run_plinkactl.h"
#include "support/temp_dir.h"
#include "support/tone_wav.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <mutex>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace plinka::test {
namespace {

constexpr std::chrono::seconds kStalled{60};

// plinkactl's terminal player, fed keys through a pipe; its output is read
// as it comes, so a test can wait for a line.
class TerminalPlayer {
public:
  explicit TerminalPlayer(const std::string& data) {
    int keys[2], output[2];
    EXPECT_EQ(pipe(keys), 0);
    EXPECT_EQ(pipe(output), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, keys[0], 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_adddup2(&actions, output[1], 2);
    posix_spawn_file_actions_addclose(&actions, keys[1]);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    const std::string program = PLINKACTL_PATH;
    std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>("--data"),
                               const_cast<char*>(data.c_str()), const_cast<char*>("play"), nullptr};
    EXPECT_EQ(posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(keys[0]);
    close(output[1]);
    keys_ = keys[1];
    reader_ = std::thread([this, fd = output[0]] {
      char buffer[4096];
      for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
        const std::lock_guard<std::mutex> hold(lock_);
        text_.append(buffer, static_cast<size_t>(n));
        changed_.notify_all();
      }
      close(fd);
      const std::lock_guard<std::mutex> hold(lock_);
      ended_ = true;
      changed_.notify_all();
    });
  }
  ~TerminalPlayer() {
    if (keys_ >= 0)
      quit();
  }

  void press(char key) {
    const char line[2] = {key, '\n'};
    EXPECT_EQ(write(keys_, line, 2), 2);
  }
  // Waits for the n-th line that starts with `start`; false when the player
  // ended first, or has not written it after a minute (a stalled player).
  bool waitForLine(const std::string& start, size_t n) {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait_for(hold, kStalled, [&] { return count(start) >= n || ended_; });
    return count(start) >= n;
  }
  // Quits as the user does and returns the exit status.
  int quit() {
    press('q');
    close(keys_);
    keys_ = -1;
    int status = 0;
    waitpid(pid_, &status, 0);
    reader_.join();
    return status;
  }
  std::string output() {
    const std::lock_guard<std::mutex> hold(lock_);
    return text_;
  }

private:
  size_t count(const std::string& start) const {
    size_t n = 0;
    for (const std::string& line : lines(text_))
      n += line.rfind(start, 0) == 0 ? 1 : 0;
    return n;
  }

  pid_t pid_ = -1;
  int keys_ = -1;
  std::thread reader_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::string text_;    // everything the player wrote (guarded by lock_; the reader writes, the test reads)
  bool ended_ = false;  // the output's end was seen (guarded by lock_)
};

// Short WAV files in forty artists' folders (a list takes one song of an
// artist at a time).
std::set<std::string> wavFiles(const std::string& folder, int count, uint32_t ms) {
  std::set<std::string> files;
  for (int i = 0; i < count; ++i) {
    const std::string album = folder + "artist " + std::to_string(i % 40) + "/album/";
    std::filesystem::create_directories(album);
    const std::string path = album + "tone " + std::to_string(i) + ".wav";
    writeToneWav(path, ms, 200.0 + i, 8000);
    files.insert(path);
  }
  return files;
}

TEST(SharedDataFolder, ImportAndBuildsBesideAPlayingPlayerLoseNothing) {
  TempDir dir;
  const std::string data = dir.file("data/");
  std::set<std::string> songs = wavFiles(dir.file("first/"), 30, 4000);
  const std::set<std::string> second = wavFiles(dir.file("second/"), 400, 50);
  const std::set<std::string> third = wavFiles(dir.file("third/"), 400, 50);
  const ProgramResult first = runPlinkactl(dir, {"--data", data, "import", dir.file("first/")});
  ASSERT_EQ(first.exitCode, 0) << first.err;
  const std::string settings = readFile(data + "dPlinka.dat");

  setenv("PLINKA_SILENT", "1", 1);
  TerminalPlayer player(data);
  ASSERT_TRUE(player.waitForLine("Now playing: ", 1)) << player.output();

  // A second player is refused; the verbs below work beside this one.
  TempDir refusedScratch;
  const ProgramResult refused = runPlinkactl(refusedScratch, {"--data", data, "play"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("the player is running on this data folder"), std::string::npos) << refused.err;

  // Two imports at once would take the same free slots for different
  // songs, were they not kept apart.
  TempDir importScratch, otherImportScratch, buildScratch;
  auto import = std::async(std::launch::async, [&] {
    return runPlinkactl(importScratch, {"--data", data, "import", dir.file("second/")});
  });
  auto otherImport = std::async(std::launch::async, [&] {
    return runPlinkactl(otherImportScratch, {"--data", data, "import", dir.file("third/")});
  });
  auto builds = std::async(std::launch::async, [&] {
    std::vector<ProgramResult> results;
    for (int k = 0; k < 4; ++k)
      results.push_back(runPlinkactl(buildScratch, {"--data", data, "build", "--state", "2", "--count", "5"}));
    return results;
  });
  const std::string device = dir.file("device/");
  std::filesystem::create_directories(device);
  TempDir fillScratch;
  auto fill = std::async(std::launch::async, [&] {
    return runPlinkactl(fillScratch, {"--data", data, "fill", device, "--size", "1", "--number"});
  });
  // Skips make the player write the table (play counts, the list) meanwhile.
  for (size_t k = 2; k <= 6; ++k) {
    player.press('s');
    ASSERT_TRUE(player.waitForLine("Now playing: ", k)) << player.output();
  }

  for (const ProgramResult& imported : {import.get(), otherImport.get()}) {
    EXPECT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_NE(imported.out.find("added=400 "), std::string::npos) << imported.out;
    EXPECT_NE(imported.err.find("the player is running on this data folder"), std::string::npos) << imported.err;
  }
  for (const ProgramResult& built : builds.get()) {
    EXPECT_EQ(built.exitCode, 0) << built.err;
    EXPECT_EQ(lines(built.out).size(), 5u) << built.out;
  }
  const ProgramResult filled = fill.get();
  EXPECT_EQ(filled.exitCode, 0) << filled.err;
  EXPECT_FALSE(std::filesystem::is_empty(device));
  EXPECT_EQ(readFile(data + "dPlinka.dat"), settings) << "only the player writes the settings, and it has not yet";

  const int status = player.quit();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << player.output();

  songs.insert(second.begin(), second.end());
  songs.insert(third.begin(), third.end());
  db::TableHandle table;
  const std::string path = data + "Plinka.cvf";
  std::strcpy(table.path, path.c_str());
  ASSERT_TRUE(db::openMapped(table));
  std::multiset<std::string> names;
  for (uint32_t slot = 0; slot < table.slotCount; ++slot) {
    if (!db::isInUse(db::slotStatus(table, slot)))
      continue;
    ASSERT_GE(db::readField(table, slot, db::FileName), 0);
    if (table.text[0] != '\0')
      names.insert(table.text);
  }
  db::closeTable(table);
  EXPECT_EQ(names.size(), songs.size()) << "every song once";
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), songs);
}

}  // namespace
}  // namespace plinka::test
