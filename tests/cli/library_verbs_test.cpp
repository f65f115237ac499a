#include "cli/library_verbs.h"

#include "library/tag_bytes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace plinka;
using plinka::test::TempDir;

namespace {

struct Outcome {
  int code;
  std::string out, err;
};

Outcome run(int (*verb)(int, char**), std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args)
    argv.push_back(a.data());
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int code = verb(static_cast<int>(argv.size()), argv.data());
  std::fflush(stdout);
  std::fflush(stderr);
  Outcome o{code, testing::internal::GetCapturedStdout(), ""};
  o.err = testing::internal::GetCapturedStderr();
  return o;
}

}  // namespace

TEST(LibraryVerbs, ChecksumPrintsUpperCaseHex) {
  TempDir dir;
  test::writeFile(dir.file("abc"), "abc");
  const Outcome ok = run(cli::runChecksumVerb, {"checksum", dir.file("abc")});
  EXPECT_EQ(ok.code, 0);
  EXPECT_EQ(ok.out, "0x6262C4C4\n");

  const Outcome missing = run(cli::runChecksumVerb, {"checksum", dir.file("missing")});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "plinkactl: cannot read " + dir.file("missing") + "\n");

  EXPECT_EQ(run(cli::runChecksumVerb, {"checksum"}).code, 2);
  EXPECT_EQ(run(cli::runChecksumVerb, {"checksum", "a", "b"}).code, 2);
}

TEST(LibraryVerbs, TagsPrintsTheReading) {
  using namespace plinka::test::tags;
  TempDir dir;
  test::writeFile(dir.file("song.mp3"), tag(3, frame(3, "TIT2", latin1("Title")) + frame(3, "TPE1", latin1("Band"))));
  const Outcome ok = run(cli::runTagsVerb, {"tags", dir.file("song.mp3")});
  EXPECT_EQ(ok.code, 0);
  EXPECT_EQ(ok.out.rfind("title=Title\nartist=Band\nalbum=No Data\ncomment=No Data\nyear=No Data\n"
                         "track_gain=none\nalbum_gain=none\nstored_loudness=",
                         0),
            0u)
      << ok.out;

  const Outcome missing = run(cli::runTagsVerb, {"tags", dir.file("missing.mp3")});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find("cannot read"), std::string::npos);
  EXPECT_EQ(run(cli::runTagsVerb, {"tags"}).code, 2);
}
