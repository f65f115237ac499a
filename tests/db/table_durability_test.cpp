// What a table file goes through when the disk fills, the process dies
// half-way or the header is damaged: growth takes real blocks or nothing,
// a new table appears whole or not at all, a shrink can be cut between its
// steps, a sort killed at any moment keeps every record once, a header
// promising absurdly many slots is refused up front, and a path that is not
// a regular file is refused without waiting.
#include "db/sort.h"
#include "db/table.h"
#include "platform/collate.h"
#include "platform/table_lock.h"
#include "support/table_fixture.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

namespace {

// A table of FileName and Name with `records` songs in use, each with its
// own file name and a name from a small pool (so equal keys occur), spread
// over `slots` slots with free and never-used ones between them.
std::vector<std::string> makeSongs(const std::string& path, uint32_t slots, uint32_t records) {
  TableHandle h;
  makeTable(h, path, {kTypeText1000, kTypeText64}, slots);
  std::mt19937 rng(7);
  std::vector<std::string> names;
  for (uint32_t s = 0; s < slots; ++s) {
    const bool used = names.size() < records && (slots - s <= records - names.size() || rng() % 8 != 0);
    EXPECT_TRUE(setStatus(h, s, used ? kStatusInUse : (s % 2 ? kStatusFree : kStatusNeverUsed)));
    if (!used)
      continue;
    names.push_back("/music/song " + std::to_string(s) + ".mp3");
    writeText(h, s, 1, names.back());
    writeText(h, s, 2, "Name " + std::to_string(rng() % 500));
  }
  closeTable(h);
  std::sort(names.begin(), names.end());
  return names;
}

// The file names of the records in use, sorted; empty when the table does
// not open.
std::vector<std::string> songsIn(const std::string& path) {
  TableHandle h;
  std::vector<std::string> names;
  if (!openAt(h, path, 0))
    return names;
  for (uint32_t s = 0; s < h.slotCount; ++s)
    if (getStatus(h, s) == static_cast<int32_t>(kStatusInUse))
      names.push_back(readText(h, s, 1));
  closeTable(h);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(TableDurability, ASortKilledAtAnyMomentKeepsEverySongOnce) {
  test::TempDir dir;
  const std::string path = dir.file("t.cvf");
  const std::vector<std::string> songs = makeSongs(path, 5000, 4400);
  const std::string unsorted = test::readFile(path);

  // How often a whole sort asks its progress hook, counted on a copy.
  uint32_t calls = 0;
  {
    const std::string copy = dir.file("copy.cvf");
    test::writeFile(copy, unsorted);
    TableHandle h;
    ASSERT_TRUE(openAt(h, copy, 1));
    ASSERT_TRUE(sortByField(h, 2, [&] { return ++calls, true; }));
    closeTable(h);
    ASSERT_EQ(songsIn(copy), songs);
    std::filesystem::remove(copy);
  }
  ASSERT_GT(calls, 20u);

  // Killed while keys are made, while the new file is written, just before
  // it takes the table's name, and (calls + 1: never) not at all.
  for (uint32_t killAt : {1u, calls / 4, calls / 2, 3 * calls / 4, calls - 1, calls, calls + 1}) {
    test::writeFile(path, unsorted);
    const pid_t pid = fork();
    if (pid == 0) {
      TableHandle h;
      if (!openAt(h, path, 1))
        _exit(1);
      uint32_t n = 0;
      const bool sorted = sortByField(h, 2, [&] {
        if (++n == killAt)
          raise(SIGKILL);
        return true;
      });
      closeTable(h);
      _exit(sorted ? 0 : 2);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const std::string what = "killed at call " + std::to_string(killAt) + " of " + std::to_string(calls);
    const bool killed = killAt <= calls;
    EXPECT_TRUE(killed ? WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL
                       : WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << what;
    EXPECT_EQ(songsIn(path), songs) << what;
    if (killed) {
      EXPECT_EQ(test::readFile(path), unsorted) << what << ": the table is the old one until the new one is whole";
    }
  }

  EXPECT_EQ(filesIn(dir), 1u) << "the finished sort removed what the killed ones left";

  // The finished sort: names in order, every slot where the sort put it.
  TableHandle h;
  ASSERT_TRUE(openAt(h, path, 0));
  std::string last;
  for (uint32_t s = 0; s < songs.size(); ++s) {
    ASSERT_EQ(getStatus(h, s), static_cast<int32_t>(kStatusInUse)) << s;
    const std::string name = readText(h, s, 2);
    ASSERT_LE(platform::collate(last.c_str(), name.c_str()), 0) << s;
    last = name;
  }
  closeTable(h);
}

TEST(TableDurability, ASortThatIsToldToStopLeavesTheTableAsItWas) {
  test::TempDir dir;
  const std::string path = dir.file("t.cvf");
  const std::vector<std::string> songs = makeSongs(path, 3000, 2500);
  const std::string before = test::readFile(path);
  for (uint32_t stopAt : {1u, 12u, 20u}) {
    TableHandle h;
    ASSERT_TRUE(openAt(h, path, 1));
    uint32_t n = 0;
    EXPECT_FALSE(sortByField(h, 2, [&] { return ++n < stopAt; })) << stopAt;
    EXPECT_EQ(n, stopAt);
    EXPECT_TRUE(h.isMapped() && h.openForWriting) << "the handle keeps its table";
    EXPECT_EQ(countInUse(h), songs.size());
    closeTable(h);
    EXPECT_EQ(test::readFile(path), before) << stopAt;
    EXPECT_EQ(filesIn(dir), 1u) << "the sorted file was not left behind";
  }
}

TEST(TableDurability, PathsThatAreNotRegularFilesAreRefusedAtOnce) {
  test::TempDir dir;
  const std::string fifo = dir.file("fifo.cvf");
  const std::string folder = dir.file("folder.cvf");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  for (const std::string& path : {fifo, folder, std::string("/dev/null")}) {
    // In a child with a deadline: an open that waits on the FIFO would
    // otherwise hang the suite.
    const pid_t pid = fork();
    if (pid == 0) {
      alarm(10);
      TableHandle h;
      for (uint32_t writable : {0u, 1u}) {
        if (openAt(h, path, writable) || h.refusal != OpenRefusal::NotAFile || h.isOpen())
          _exit(1);
        std::strcpy(h.path, path.c_str());
        h.writable = writable;
        if (openPlain(h) || h.isOpen())
          _exit(2);
      }
      _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << path << " status " << status;
  }
  EXPECT_FALSE(std::filesystem::exists(platform::tableLockPath(fifo))) << "no lock file beside what is no table";
  EXPECT_FALSE(std::filesystem::exists(platform::tableLockPath(folder)));
}

TEST(TableDurability, AWriteOpenMapsOnlyTheDeclaredSlots) {
  test::TempDir dir;
  const std::string path = dir.file("t.cvf");
  ASSERT_TRUE(createSongTable(path.c_str()));
  // A tail of 1 GiB behind the declared slots, sparse, as damage might leave.
  const uint64_t tailed = (uint64_t{1} << 30) + 26636;
  ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(tailed)), 0);
  TableHandle h;
  ASSERT_TRUE(openAt(h, path, 1));
  EXPECT_EQ(h.map.size(), h.slotAreaOffset + uint64_t{h.slotCount} * h.slotSize);
  // The table works as ever: it grows into the tail, whose bytes are zero.
  const int32_t s = allocate(h);
  ASSERT_GE(s, 0);
  writeText(h, static_cast<uint32_t>(s), FileName, "/music/a.mp3");
  EXPECT_EQ(h.slotCount, 20u);
  EXPECT_EQ(h.map.size(), h.slotAreaOffset + uint64_t{h.slotCount} * h.slotSize);
  closeTable(h);
  ASSERT_TRUE(openAt(h, path, 0));
  EXPECT_EQ(countInUse(h), 2u);
  EXPECT_EQ(readText(h, static_cast<uint32_t>(s), FileName), "/music/a.mp3");
  closeTable(h);
}
