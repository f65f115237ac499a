// The table lock between processes: a child process holds the lock the way
// another program on the same data folder would, and steps through its
// holds at the test's word, sent down a pipe.
#include "platform/table_lock.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace plinka::platform {
namespace {

using namespace std::chrono_literals;

// Long enough that only the holder's release can end a wait for it: a
// missed wake-up shows as the test running out of time.
constexpr std::chrono::milliseconds kUntilWoken = 1h;

char readByte(int fd) {
  char c = 0;
  return read(fd, &c, 1) == 1 ? c : '\0';
}

void writeByte(int fd, char c) { ASSERT_EQ(write(fd, &c, 1), 1); }

// A child process that takes the given holds on the table, says 'h', then
// lets go of one hold per byte it reads (the last one first), saying 'r'
// after each, and ends when it has none left.
class Holder {
public:
  Holder(const std::string& table, std::initializer_list<LockKind> kinds) {
    int down[2], up[2];
    EXPECT_EQ(pipe(down), 0);
    EXPECT_EQ(pipe(up), 0);
    pid_ = fork();
    if (pid_ == 0) {
      close(down[1]);
      close(up[0]);
      setTableLockWait(0ms);
      std::vector<std::unique_ptr<TableLock>> holds;
      for (LockKind kind : kinds) {
        holds.push_back(std::make_unique<TableLock>());
        if (holds.back()->acquire(table, kind) != TableLockResult::Taken)
          _exit(2);
      }
      const char said = 'h';
      if (write(up[1], &said, 1) != 1)
        _exit(3);
      while (!holds.empty() && readByte(down[0]) != '\0') {
        holds.pop_back();
        const char released = 'r';
        if (write(up[1], &released, 1) != 1)
          _exit(3);
      }
      _exit(0);
    }
    close(down[0]);
    close(up[1]);
    toChild_ = down[1];
    fromChild_ = up[0];
    EXPECT_EQ(readByte(fromChild_), 'h') << "the child took its holds";
  }
  ~Holder() {
    // The reading end stays open until the child has ended: a release not
    // waited for may still be saying 'r'.
    close(toChild_);
    int status = 0;
    waitpid(pid_, &status, 0);
    close(fromChild_);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  // Lets go of the child's last hold, without waiting for it to say so.
  void releaseOne() { writeByte(toChild_, 'x'); }
  void releaseOneAndWait() {
    releaseOne();
    EXPECT_EQ(readByte(fromChild_), 'r');
  }

private:
  pid_t pid_ = -1;
  int toChild_ = -1, fromChild_ = -1;
};

class TableLockTest : public ::testing::Test {
protected:
  void TearDown() override {
    setTableLockWait(10s);
    setLockFaults({});
  }
  test::TempDir dir;
  std::string table = dir.file("songs.cvf");
};

TEST_F(TableLockTest, ReadersShareAndAWriterKeepsEveryoneElseOut) {
  setTableLockWait(0ms);
  {
    Holder reader(table, {LockKind::Shared});
    TableLock shared, exclusive;
    EXPECT_EQ(shared.acquire(table, LockKind::Shared), TableLockResult::Taken);
    EXPECT_EQ(exclusive.acquire(table, LockKind::Exclusive), TableLockResult::Busy);
    EXPECT_FALSE(exclusive.held());
    // A raise that fails keeps the shared hold.
    EXPECT_EQ(shared.acquire(table, LockKind::Exclusive), TableLockResult::Busy);
    EXPECT_TRUE(shared.held());
    EXPECT_EQ(shared.kind(), LockKind::Shared);
  }
  Holder writer(table, {LockKind::Exclusive});
  TableLock shared;
  EXPECT_EQ(shared.acquire(table, LockKind::Shared), TableLockResult::Busy);
  EXPECT_EQ(std::filesystem::path(tableLockPath(table)).filename(), ".songs.cvf.lock");
}

TEST_F(TableLockTest, OpensInOneProcessNeverWaitForEachOther) {
  setTableLockWait(0ms);
  TableLock a, b, c;
  EXPECT_EQ(a.acquire(table, LockKind::Shared), TableLockResult::Taken);
  EXPECT_EQ(b.acquire(table, LockKind::Exclusive), TableLockResult::Taken);
  // Another path to the same file shares the same lock.
  EXPECT_EQ(c.acquire(dir.path() + "./songs.cvf", LockKind::Exclusive), TableLockResult::Taken);
  c.release();
  b.release();
  // Only the reader is left here: another process may read, not write.
  {
    pid_t child = fork();
    if (child == 0) {
      TableLock shared, exclusive;
      const bool ok = shared.acquire(table, LockKind::Shared) == TableLockResult::Taken &&
                      exclusive.acquire(table, LockKind::Exclusive) == TableLockResult::Busy;
      _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  a.release();
  EXPECT_FALSE(a.held());
}

TEST_F(TableLockTest, AWaitEndsWhenTheHolderLetsGo) {
  // A writer elsewhere letting go wakes the wait.
  {
    Holder writer(table, {LockKind::Exclusive});
    setTableLockWait(kUntilWoken);
    writer.releaseOne();
    TableLock shared;
    EXPECT_EQ(shared.acquire(table, LockKind::Shared), TableLockResult::Taken);
  }
  // A holder that keeps reading but gives up writing lets readers in, and
  // a write waits for its last read.
  Holder both(table, {LockKind::Shared, LockKind::Exclusive});
  setTableLockWait(kUntilWoken);
  both.releaseOne();
  TableLock shared;
  EXPECT_EQ(shared.acquire(table, LockKind::Shared), TableLockResult::Taken);
  shared.release();
  both.releaseOne();
  TableLock exclusive;
  EXPECT_EQ(exclusive.acquire(table, LockKind::Exclusive), TableLockResult::Taken);
}

TEST_F(TableLockTest, WithoutInotifyAWaitStillEndsWhenTheHolderLetsGo) {
  Holder writer(table, {LockKind::Exclusive});
  LockFaults faults;
  faults.noInotify = true;
  setLockFaults(faults);
  setTableLockWait(kUntilWoken);
  // Let go while the wait below is under way: only looking again finds it.
  std::thread later([&] {
    std::this_thread::sleep_for(50ms);
    writer.releaseOne();
  });
  TableLock shared;
  EXPECT_EQ(shared.acquire(table, LockKind::Shared), TableLockResult::Taken);
  later.join();
}

TEST_F(TableLockTest, AFileSystemWithoutLocksIsNotBusy) {
  LockFaults faults;
  faults.noLocking = true;
  setLockFaults(faults);
  setTableLockWait(kUntilWoken);
  TableLock exclusive;
  EXPECT_EQ(exclusive.acquire(table, LockKind::Exclusive), TableLockResult::Unsupported) << "told at once";
  EXPECT_FALSE(exclusive.held());

  FileLock network;
  test::writeFile(table, "x");
  EXPECT_EQ(network.acquire(table, LockKind::Exclusive), LockResult::Unsupported);
  EXPECT_EQ(network.acquire(table, LockKind::Shared), LockResult::Unsupported);
  setLockFaults({});
  EXPECT_EQ(network.acquire(table, LockKind::Exclusive), LockResult::Taken);
}

}  // namespace
}  // namespace plinka::platform
