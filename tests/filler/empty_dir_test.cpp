// Empty Dir: only the files directly in the fill folder go.
#include "filler/empty_dir.h"
#include "platform/files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace plinka::test {
namespace {

TEST(EmptyDir, DeletesOnlyTheFilesDirectlyInTheFolder) {
  TempDir dir;
  TempDir outside;
  const std::string fill = dir.file("player");
  ASSERT_TRUE(platform::makeFolder(fill));
  ASSERT_TRUE(platform::makeFolder(fill + "/Podcasts"));
  writeFile(fill + "/000 a.mp3", "a");
  writeFile(fill + "/notes.txt", "not music either");
  writeFile(fill + "/.hidden", "h");
  writeFile(fill + "/Podcasts/kept.mp3", "k");
  writeFile(outside.file("elsewhere.mp3"), "e");
  ASSERT_EQ(::symlink(outside.file("elsewhere.mp3").c_str(), (fill + "/link.mp3").c_str()), 0);
  ASSERT_EQ(::symlink(outside.path().c_str(), (fill + "/linked folder").c_str()), 0);

  const filler::EmptyDirResult r = filler::emptyFillDirectory(fill, outside.path() + "not-home");
  EXPECT_FALSE(r.refused);
  EXPECT_EQ(r.deleted, 3u);
  EXPECT_FALSE(platform::fileExists(fill + "/000 a.mp3"));
  EXPECT_FALSE(platform::fileExists(fill + "/notes.txt"));
  EXPECT_FALSE(platform::fileExists(fill + "/.hidden"));
  EXPECT_TRUE(platform::fileExists(fill + "/Podcasts/kept.mp3"));
  EXPECT_TRUE(platform::fileExists(outside.file("elsewhere.mp3")));
  EXPECT_TRUE(platform::fileExists(fill + "/link.mp3")) << "a link is neither followed nor deleted";
}

// The refusal is judged on its own: the root folder is never handed to the
// deletion, even in a test.
TEST(EmptyDir, RefusesTheRootAndTheHomeFolderAndDeletesNothingInAMissingOne) {
  TempDir home;
  TempDir other;
  writeFile(home.file("letter.txt"), "keep me");
  const std::string homeLink = other.file("home link");
  ASSERT_EQ(::symlink(home.path().c_str(), homeLink.c_str()), 0);
  struct Case {
    std::string folder;
    bool refused;
  };
  const Case cases[] = {
      {"/", true},           {"/tmp/..", true}, {home.path(), true}, {homeLink, true}, {home.file("missing"), false},
      {other.path(), false}, {"", false}};
  for (const Case& c : cases)
    EXPECT_EQ(filler::emptyDirRefuses(c.folder, home.path()), c.refused) << c.folder;

  EXPECT_TRUE(filler::emptyFillDirectory(home.path(), home.path()).refused);
  EXPECT_TRUE(filler::emptyFillDirectory(homeLink, home.path()).refused);
  const filler::EmptyDirResult missing = filler::emptyFillDirectory(home.file("missing"), home.path());
  EXPECT_FALSE(missing.refused);
  EXPECT_EQ(missing.deleted, 0u);
  EXPECT_TRUE(platform::fileExists(home.file("letter.txt")));
}

}  // namespace
}  // namespace plinka::test
