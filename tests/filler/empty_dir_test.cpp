// Empty Dir: only the files directly in the fill folder go, and never from a
// folder that holds the user's own things.
#include "filler/empty_dir.h"
#include "filler/fill_fixture.h"
#include "platform/files.h"
#include "support/temp_dir.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace plinka::test {
namespace {

using EmptyDirTest = FillTest;

TEST_F(EmptyDirTest, DeletesOnlyTheFilesDirectlyInTheFolder) {
  makeSongs(3, 10);
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

  const filler::EmptyDirResult r = filler::emptyFillDirectory(*app, fill, outside.path() + "not-home");
  EXPECT_FALSE(r.refused) << r.refusal;
  EXPECT_EQ(r.deleted, 3u);
  EXPECT_FALSE(platform::fileExists(fill + "/000 a.mp3"));
  EXPECT_FALSE(platform::fileExists(fill + "/notes.txt"));
  EXPECT_FALSE(platform::fileExists(fill + "/.hidden"));
  EXPECT_TRUE(platform::fileExists(fill + "/Podcasts/kept.mp3"));
  EXPECT_TRUE(platform::fileExists(outside.file("elsewhere.mp3")));
  EXPECT_TRUE(platform::fileExists(fill + "/link.mp3")) << "a link is neither followed nor deleted";
}

// The path checks are judged on their own: the root folder is never handed
// to the deletion, even in a test.
TEST_F(EmptyDirTest, RefusesTheRootTheHomeFolderAndRelativePathsAndDeletesNothingInAMissingOne) {
  makeSongs(3, 10);
  TempDir home;
  TempDir other;
  writeFile(home.file("letter.txt"), "keep me");
  const std::string homeLink = other.file("home link");
  ASSERT_EQ(::symlink(home.path().c_str(), homeLink.c_str()), 0);
  struct Case {
    std::string folder;
    bool refused;
  };
  const Case cases[] = {{"/", true},     {"/tmp/..", true},  {home.path(), true},   {homeLink, true},
                        {"Music", true}, {"./player", true}, {other.path(), false}, {home.file("missing"), false},
                        {"", false}};
  for (const Case& c : cases)
    EXPECT_EQ(filler::emptyDirRefuses(c.folder, home.path()), c.refused) << c.folder;

  EXPECT_EQ(filler::emptyFillDirectory(*app, home.path(), home.path()).refusal, filler::kEmptyDirRefused);
  EXPECT_TRUE(filler::emptyFillDirectory(*app, homeLink, home.path()).refused);
  const filler::EmptyDirResult missing = filler::emptyFillDirectory(*app, home.file("missing"), home.path());
  EXPECT_FALSE(missing.refused);
  EXPECT_EQ(missing.deleted, 0u);
  EXPECT_TRUE(platform::fileExists(home.file("letter.txt")));
}

// The data folder (settings, song table, lists), the song table's and the
// program's folders, and a folder that holds a song of the table (under any
// path that leads to it) are refused with the reason, and keep every file.
TEST_F(EmptyDirTest, RefusesFoldersThatHoldTheUsersDataOrSongs) {
  makeSongs(3, 10);
  TempDir home;
  TempDir program;
  TempDir library;
  TempDir player;
  app->folders.program = program.path();
  writeFile(data.file("dPlinka.dat"), "settings");
  writeFile(data.file("PL1.m3u"), "list");
  writeFile(program.file("plinka"), "program");
  // One song of the table among other files, reached through a link too.
  const std::string loose = library.file("loose.mp3");
  writeFile(loose, "not in the table");
  writeFile(player.file("old.mp3"), "old");
  ASSERT_EQ(::symlink(media.path().c_str(), home.file("media link").c_str()), 0);

  struct Case {
    std::string folder;
    const char* why;  // a word the message must hold
  } cases[] = {
      {data.path(), "data folder"},      {program.path(), "program"},   {media.path(), "a song of the song table"},
      {home.file("media link"), "song"}, {media.path() + "/.", "song"},
  };
  for (const Case& c : cases) {
    const filler::EmptyDirResult r = filler::emptyFillDirectory(*app, c.folder, home.path());
    EXPECT_TRUE(r.refused) << c.folder;
    EXPECT_NE(r.refusal.find(c.why), std::string::npos) << r.refusal;
    EXPECT_EQ(r.deleted, 0u) << c.folder;
  }
  EXPECT_TRUE(platform::fileExists(data.file("dPlinka.dat")));
  EXPECT_TRUE(platform::fileExists(program.file("plinka")));
  for (const std::string& song : songPaths)
    EXPECT_TRUE(platform::fileExists(song)) << song;

  // The song table kept apart from the data folder: its folder is refused.
  const std::string tableFolder = library.file("table");
  ASSERT_TRUE(platform::makeFolder(tableFolder));
  const std::string movedTable = tableFolder + "/Plinka.cvf";
  ASSERT_EQ(::rename(app->settings.databasePath, movedTable.c_str()), 0);
  text::copy(app->settings.databasePath, movedTable.c_str());
  EXPECT_NE(filler::emptyDirRefusal(*app, tableFolder, home.path()).find("song table"), std::string::npos);

  // A folder of files the table does not name is emptied.
  EXPECT_EQ(filler::emptyDirRefusal(*app, library.path(), home.path()), "");
  const filler::EmptyDirResult emptied = filler::emptyFillDirectory(*app, player.path(), home.path());
  EXPECT_FALSE(emptied.refused) << emptied.refusal;
  EXPECT_EQ(emptied.deleted, 1u);
}

}  // namespace
}  // namespace plinka::test
