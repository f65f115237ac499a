// Starting a program that lives on by itself.
#include "platform/process.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

namespace plinka::test {
namespace {

TEST(StartDetachedTest, StartsTheProgramWithoutLeavingAChildBehind) {
  TempDir dir;
  const std::string program = dir.file("note");
  writeFile(program, "#!/bin/sh\nprintf '%s|%s' \"$1\" \"$2\" > done.tmp\nmv done.tmp done.txt\n");
  ASSERT_EQ(chmod(program.c_str(), 0755), 0);

  ASSERT_TRUE(platform::startDetached(program, {"/f", "two words"}, dir.path()));
  // Neither the program nor the process between is this process's child.
  int status = 0;
  errno = 0;
  EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (readFile(dir.file("done.txt")).empty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_EQ(readFile(dir.file("done.txt")), "/f|two words");
}

TEST(StartDetachedTest, ReportsAProgramThatCannotStart) {
  TempDir dir;
  const std::string notExecutable = dir.file("plain");
  writeFile(notExecutable, "#!/bin/sh\n");
  EXPECT_FALSE(platform::startDetached(dir.file("missing"), {}, dir.path()));
  EXPECT_FALSE(platform::startDetached(notExecutable, {}, dir.path()));
  EXPECT_FALSE(platform::startDetached("/bin/true", {}, dir.file("no-such-folder")));
  EXPECT_FALSE(platform::startDetached("", {}, dir.path()));
}

}  // namespace
}  // namespace plinka::test
