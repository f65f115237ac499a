// Whole-file copies and replacements: every copy writes a temporary file of
// its own, so copies to one destination at once (the player's refresh of the
// local copy and a plinkactl verb's) never write into each other, and a copy
// killed at any moment leaves the destination as it was or whole.
#include "platform/files.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace plinka::test {
namespace {

std::string noise(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string bytes(n, '\0');
  for (char& c : bytes)
    c = static_cast<char>(rng());
  return bytes;
}

// A child process that waits for the start signal (the pipe's write end
// closing), copies `from` over `to` once and exits 0 when the copy said it
// was done.
pid_t startCopy(int startPipe[2], const std::string& from, const std::string& to) {
  const pid_t pid = fork();
  if (pid == 0) {
    close(startPipe[1]);
    char c;
    while (read(startPipe[0], &c, 1) > 0) {
    }
    _exit(platform::copyFile(from, to) ? 0 : 1);
  }
  return pid;
}

TEST(CopyFile, TwoCopiesToOneDestinationWithOneKilledLeaveItWholeOrUnchanged) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  TempDir dir;
  const std::string source = dir.file("share.cvf");
  const std::string destination = dir.file("Local.cvf");
  const std::string sourceBytes = noise(2 << 20, seed);
  const std::string oldBytes = noise(1 << 19, seed + 1);
  writeFile(source, sourceBytes);

  // How long one copy takes here, so the kills fall before, inside and
  // after the other copies.
  const auto began = std::chrono::steady_clock::now();
  ASSERT_TRUE(platform::copyFile(source, destination));
  const auto copyMicros =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - began).count();

  constexpr int kTrials = 12;
  for (int trial = 0; trial < kTrials; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    writeFile(destination, oldBytes);
    const bool alone = trial % 3 == 2;  // every third trial: the killed copy alone
    int startPipe[2];
    ASSERT_EQ(pipe(startPipe), 0);
    const pid_t killed = startCopy(startPipe, source, destination);
    const pid_t survivor = alone ? -1 : startCopy(startPipe, source, destination);
    close(startPipe[0]);
    close(startPipe[1]);
    usleep(static_cast<useconds_t>(std::uniform_int_distribution<int64_t>(0, copyMicros * 3 / 2)(rng)));
    kill(killed, SIGKILL);
    int status = 0;
    waitpid(killed, &status, 0);
    if (!alone) {
      ASSERT_EQ(waitpid(survivor, &status, 0), survivor);
      ASSERT_TRUE(WIFEXITED(status));
      EXPECT_EQ(WEXITSTATUS(status), 0) << "the copy that was not killed is done";
      ASSERT_EQ(readFile(destination).size(), sourceBytes.size());
      EXPECT_TRUE(readFile(destination) == sourceBytes) << "the destination holds the source's bytes";
    } else {
      const std::string now = readFile(destination);
      EXPECT_TRUE(now == oldBytes || now == sourceBytes) << "the destination is as it was, or whole";
    }
  }
}

TEST(CopyFile, LeavesNoTemporaryBehindAndKeepsAnExistingFileWhenAskedTo) {
  TempDir dir;
  const std::string source = dir.file("a");
  const std::string kept = dir.file("kept");
  writeFile(source, "new bytes");
  writeFile(kept, "old bytes");

  EXPECT_FALSE(platform::copyFile(source, kept, false));
  EXPECT_EQ(readFile(kept), "old bytes");
  EXPECT_TRUE(platform::copyFile(source, dir.file("b"), false));
  EXPECT_TRUE(platform::copyFile(source, kept, true));
  EXPECT_EQ(readFile(kept), "new bytes");
  EXPECT_FALSE(platform::copyFile(dir.file("missing"), dir.file("c")));
  EXPECT_FALSE(platform::copyFile(source, dir.file("no/folder/d")));
  EXPECT_TRUE(platform::replaceFile(dir.file("e"), "e", 1));
  EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"a", "b", "e", "kept"}));
}

}  // namespace
}  // namespace plinka::test
