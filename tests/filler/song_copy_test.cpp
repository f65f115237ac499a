// Copying a song into the fill directory: whole or not at all, and a fill
// onto a real, small medium that runs out of room.
#include "filler/fill_fixture.h"
#include "filler/filler_settings.h"
#include "filler/song_copy.h"
#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace plinka::test {
namespace {

// The temporary files left in a folder: names that begin with the stem.
size_t temporaryFilesIn(const std::string& folder) {
  size_t n = 0;
  for (const std::string& name : namesIn(folder))
    n += name.rfind(filler::kCopyTempName, 0) == 0 ? 1 : 0;
  return n;
}

TEST(SongCopy, CopiesWholeOrLeavesNothingUnderTheSongsName) {
  TempDir dir;
  const std::string song = dir.file("song.mp3");
  writeFile(song, std::string(200000, 'x') + "end");
  platform::makeFolder(dir.file("out"));
  platform::makeFolder(dir.file("folder.mp3"));
  const std::string temp = dir.file("out/") + filler::kCopyTempName;
  writeFile(dir.file("out/old.mp3"), "an older copy");

  struct Case {
    const char* name;
    std::string source;
    std::string target;
    filler::CopyEnd end;
    int error;
  };
  const Case cases[] = {
      {"new name", song, dir.file("out/000 song.mp3"), filler::CopyEnd::Copied, 0},
      {"replaces", song, dir.file("out/old.mp3"), filler::CopyEnd::Copied, 0},
      {"no source", dir.file("gone.mp3"), dir.file("out/gone.mp3"), filler::CopyEnd::SourceFailed, ENOENT},
      {"source is a folder", dir.file("folder.mp3"), dir.file("out/folder.mp3"), filler::CopyEnd::SourceFailed, EISDIR},
      {"no fill folder", song, dir.file("missing/song.mp3"), filler::CopyEnd::TargetFailed, ENOENT},
  };
  for (const Case& c : cases) {
    const std::string caseTemp =
        c.name == std::string("no fill folder") ? dir.file("missing/") + filler::kCopyTempName : temp;
    const filler::CopyResult r = filler::copySong(c.source, c.target, caseTemp, nullptr);
    EXPECT_EQ(r.end, c.end) << c.name;
    EXPECT_EQ(r.error, c.error) << c.name;
    if (c.end == filler::CopyEnd::Copied)
      EXPECT_EQ(readFile(c.target), readFile(song)) << c.name;
    else
      EXPECT_FALSE(platform::fileExists(c.target)) << c.name;
    EXPECT_EQ(temporaryFilesIn(dir.file("out")), 0u) << c.name;
  }

  // A stop during the copy: nothing under the name, no temporary file.
  const std::atomic<uint32_t> stop{1};
  EXPECT_EQ(filler::copySong(song, dir.file("out/stopped.mp3"), temp, &stop).end, filler::CopyEnd::Stopped);
  EXPECT_FALSE(platform::fileExists(dir.file("out/stopped.mp3")));
  EXPECT_EQ(temporaryFilesIn(dir.file("out")), 0u);

  // Another copy's temporary file under the plain stem is not written into.
  writeFile(temp, "another copy's bytes");
  EXPECT_EQ(filler::copySong(song, dir.file("out/second.mp3"), temp, nullptr).end, filler::CopyEnd::Copied);
  EXPECT_EQ(readFile(temp), "another copy's bytes");
  EXPECT_EQ(readFile(dir.file("out/second.mp3")), readFile(song));
}

// Left-over temporary files go when a run starts, except those of a copy
// whose process still runs.
TEST(SongCopy, OnlyTheTemporaryFilesOfEndedProcessesAreRemoved) {
  TempDir dir;
  const std::string stem = dir.file(filler::kCopyTempName);
  const std::string mine = stem + "." + std::to_string(::getpid()) + ".00ff";
  writeFile(stem, "old");
  writeFile(mine, "running");
  writeFile(stem + ".999999999.00ff", "ended");
  writeFile(dir.file("000 song.mp3"), "song");
  filler::removeLeftTemporaryFiles(dir.path());
  const std::string kept = std::string(filler::kCopyTempName) + "." + std::to_string(::getpid()) + ".00ff";
  EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{kept, "000 song.mp3"}));
}

// A small file system of its own, mounted for the test and unmounted after.
class SmallMedium {
public:
  SmallMedium(const std::string& folder, const char* options) : folder_(folder) {
    mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options) == 0;
    error_ = errno;
  }
  ~SmallMedium() {
    if (mounted_)
      ::umount2(folder_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  int error() const { return error_; }

private:
  std::string folder_;
  bool mounted_ = false;
  int error_ = 0;
};

// A fill onto a 1 MB medium with songs of 150 KB: with a budget larger
// than the medium the run ends with a message naming the song that did not
// fit; without one ("Fill") a full medium is the normal end. Either way
// every file on it is whole and no temporary file is left.
TEST_F(FillTest, AFillOntoASmallMediumEndsCleanlyWithEveryFileWhole) {
  makeSongs(24, 150 * 1024);
  for (const uint64_t budgetKb : {filler::kFillBudgetsKb[0], filler::kFillBudgetsKb[filler::kFillToTheEnd]}) {
    TempDir mountPoint;
    const SmallMedium medium(mountPoint.path(), "size=1m");
    if (!medium.mounted())
      GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(medium.error());
    app->run.listCount.store(0);
    filler::FillJob j = job(budgetKb);
    j.folder = mountPoint.path();
    const std::atomic<uint32_t> stop{0};
    const filler::FillOutcome outcome = filler::runFill(*app, j, stop);

    EXPECT_EQ(outcome.end, filler::FillEnd::MediumFull) << outcome.message;
    EXPECT_GE(outcome.copied, 4u);
    EXPECT_LE(outcome.copied, 6u);
    if (budgetKb != 0) {
      EXPECT_NE(outcome.message.find("is full"), std::string::npos) << outcome.message;
      EXPECT_NE(outcome.message.find(mountPoint.path()), std::string::npos) << outcome.message;
    } else {
      EXPECT_TRUE(outcome.message.empty()) << outcome.message;
    }
    const std::vector<std::string> files = filesIn(mountPoint.path());
    EXPECT_EQ(files.size(), outcome.copied);
    for (const std::string& name : files) {
      // "NNN songK.mp3": the same bytes as songK.
      const std::string song = media.file(name.substr(4));
      EXPECT_EQ(readFile(mountPoint.file(name)), readFile(song)) << name;
    }
  }
}

}  // namespace
}  // namespace plinka::test
