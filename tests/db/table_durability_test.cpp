// What a table file goes through when the disk fills, the process dies
// half-way or the header is damaged: growth takes real blocks or nothing,
// a new table appears whole or not at all, a shrink can be cut between its
// steps, and a header promising absurdly many slots is refused up front.
#include "db/table.h"
#include "support/temp_dir.h"
#include "table_fixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace plinka;
using namespace plinka::db;
using namespace plinka::db::testing;

namespace {

// Runs `body` in a child process whose files cannot grow beyond `limit`
// bytes, as on a full disk: a write or an allocation past it fails (the
// signal the system would send instead is ignored). The child's exit code,
// or 128 + the signal that ended it.
int inChildWithFileLimit(off_t limit, const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit r{};
    getrlimit(RLIMIT_FSIZE, &r);
    r.rlim_cur = static_cast<rlim_t>(limit);
    if (setrlimit(RLIMIT_FSIZE, &r) != 0)
      _exit(100);
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool openAt(TableHandle& h, const std::string& path, uint32_t writable) {
  std::strcpy(h.path, path.c_str());
  h.writable = writable;
  return openMapped(h);
}

// The files in the folder, leaving out the table's lock file, which stays.
size_t filesIn(const test::TempDir& dir) {
  size_t n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    n += entry.path().extension() == ".lock" ? 0 : 1;
  return n;
}

}  // namespace

TEST(TableDurability, AGrowTheDiskCannotHoldGivesNoSlotAndTheTableStaysSound) {
  test::TempDir dir;
  const std::string path = dir.file("t.cvf");
  ASSERT_TRUE(createSongTable(path.c_str()));
  const off_t size = static_cast<off_t>(test::readFile(path).size());

  // The first record after creation must grow the table (only 9 free).
  const int child = inChildWithFileLimit(size, [&] {
    TableHandle h;
    if (!openAt(h, path, 1))
      return 1;
    if (allocate(h) != -1)
      return 2;  // a slot handed out although the table could not grow
    if (!h.isMapped() || !h.openForWriting || h.slotCount != 10 || countInUse(h) != 1)
      return 3;
    closeTable(h);
    return 0;
  });
  EXPECT_EQ(child, 0);

  EXPECT_EQ(test::readFile(path).size(), static_cast<size_t>(size)) << "nothing half-grown is left";
  TableHandle h;
  ASSERT_TRUE(openAt(h, path, 1));
  EXPECT_EQ(h.slotCount, 10u);
  EXPECT_EQ(allocate(h), 1) << "with room again, the grow goes through";
  EXPECT_EQ(h.slotCount, 20u);
  closeTable(h);
}

TEST(TableDurability, GrowthTakesRealBlocks) {
  test::TempDir dir;
  const std::string path = dir.file("t.cvf");
  ASSERT_TRUE(createSongTable(path.c_str()));
  TableHandle h;
  ASSERT_TRUE(openAt(h, path, 1));
  for (int i = 0; i < 300; ++i)
    ASSERT_GE(allocate(h), 0);
  ASSERT_GT(h.slotCount, 300u);
  closeTable(h);
  // A file extended without blocks (holes) would take its blocks only when a
  // record is written through the mapping, where a full disk is fatal.
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_GE(static_cast<int64_t>(st.st_blocks) * 512, static_cast<int64_t>(st.st_size));
}

TEST(TableDurability, ACreationThatFailsLeavesTheTableThatWasThere) {
  test::TempDir dir;
  const std::string path = dir.file("Plinka.cvf");
  ASSERT_TRUE(createSongTable(path.c_str()));
  TableHandle h;
  ASSERT_TRUE(openAt(h, path, 1));
  for (int i = 0; i < 5; ++i)
    writeText(h, static_cast<uint32_t>(allocate(h)), FileName, "/music/song" + std::to_string(i) + ".mp3");
  closeTable(h);
  const std::string before = test::readFile(path);

  // Room for the header and field table, not for the slots.
  EXPECT_EQ(inChildWithFileLimit(10000, [&] { return createSongTable(path.c_str()) ? 1 : 0; }), 0);
  EXPECT_EQ(test::readFile(path), before);
  EXPECT_EQ(filesIn(dir), 1u) << "no half-made file is left beside it";

  // A creation that succeeds replaces the table in one step.
  ASSERT_TRUE(createSongTable(path.c_str()));
  EXPECT_EQ(test::readFile(path).size(), 26636u);
  EXPECT_EQ(filesIn(dir), 1u);
}

TEST(TableDurability, AShrinkCutBetweenItsStepsLeavesATableThatOpens) {
  test::TempDir dir;
  const std::string path = dir.file("t.cvf");
  TableHandle h;
  makeTable(h, path, {kTypeText64, kTypeNumber}, 200);
  for (uint32_t s = 0; s < 120; ++s) {
    ASSERT_TRUE(setStatus(h, s * 5 / 3, kStatusInUse));
    writeNumber(h, s * 5 / 3, 2, s);
  }
  ASSERT_TRUE(applyCapacityRule(h));
  ASSERT_EQ(h.slotCount, 163u);
  const uint32_t slotSize = h.slotSize;
  closeTable(h);
  const std::string shrunk = test::readFile(path);
  ASSERT_EQ(fileWord(shrunk, 1360), 163u);

  // The new count is written first; the cut follows. Dying in between
  // leaves the longer file under the smaller count.
  test::writeFile(path, shrunk + std::string(37 * slotSize, '\0'));
  ASSERT_TRUE(openAt(h, path, 1));
  EXPECT_EQ(h.slotCount, 163u);
  EXPECT_EQ(countInUse(h), 120u);
  for (uint32_t s = 0; s < 120; ++s)
    ASSERT_EQ(readNumber(h, s, 2), s);
  closeTable(h);
}

TEST(TableDurability, AHeaderPromisingMoreSlotsThanMemoryCanIndexIsRefused) {
  test::TempDir dir;
  const std::string path = dir.file("huge.cvf");
  // The smallest slots there are (a status and one byte), so the file that
  // backs the promise is sparse and small on disk.
  const uint32_t types[] = {0};
  TableHandle h;
  ASSERT_TRUE(createTableFile(h, path.c_str(), types, 1));
  const uint64_t slotArea = h.slotAreaOffset;
  const uint64_t slotSize = h.slotSize;
  closeTable(h);
  const uint32_t slots = 0xF0000000u;
  const int fd = ::open(path.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, static_cast<off_t>(slotArea + slots * slotSize)), 0);
  ASSERT_EQ(pwrite(fd, &slots, 4, kSlotCountOffset), 4);
  ::close(fd);

  for (uint32_t writable : {0u, 1u}) {
    EXPECT_FALSE(openAt(h, path, writable));
    EXPECT_EQ(h.refusal, OpenRefusal::TooManySlots);
    EXPECT_FALSE(h.isOpen());
    EXPECT_TRUE(h.inUseFlags.empty());
  }
}
