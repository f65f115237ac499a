#include "library/folder_names.h"

#include "library/tag_bytes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

using namespace plinka;
using namespace plinka::library;
using plinka::test::TempDir;

namespace {

SettingsRecord settingsWith(bool dirToId) {
  SettingsRecord s{};
  s.typeMp3 = s.typeAvi = s.typeWav = s.typeMpeg = s.typeMidi = s.typeWma = s.typeAsf = s.typeWmv = 1;
  s.dirToId = dirToId ? 1 : 0;
  return s;
}

// Creates the file (and its folders) under dir and returns its full path.
std::string makeFile(const TempDir& dir, const std::string& relative, const std::string& bytes) {
  const std::string path = dir.file(relative);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  plinka::test::writeFile(path, bytes);
  return path;
}

RecordTexts recordTextsOf(const SettingsRecord& s, const std::string& path) {
  TagReader reader;
  EXPECT_EQ(readTag(reader, path.c_str()), 1) << path;
  RecordTexts out;
  applyRecordRules(s, path.c_str(), reader.result, out);
  return out;
}

}  // namespace

TEST(FolderNames, LastComponentOfAPathText) {
  struct Case {
    const char* text;
    const char* last;
  } cases[] = {
      {"/music/Artist/Album/", "Album"},  // a final '/' is ignored
      {"/music/song.mp3", "song.mp3"},
      {"/music/ab", "ab"},
      {"song.mp3", "song.mp3"},  // no '/': the whole text
      {"ab", "ab"},              // two characters or fewer: the whole text
      {"/", "/"},
      {"", ""},
      {"/music/a/", "/music/a/"},  // a one-character component: the whole text
      {"/x/y", "/x/y"},
      {"Album/", "Album/"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(lastComponentOf(c.text), c.last) << c.text;
}

TEST(FolderNames, AlbumAndArtistFromTheFolders) {
  struct Case {
    const char* path;
    const char* album;
    const char* artist;
  } cases[] = {
      {"D:/Music/Some Band/First Album/01 Opening.mp3", "First Album", "Some Band"},
      {"/home/me/Music/Band/Album/track.mp3", "Album", "Band"},
      {"/Album/track.mp3", "Album", "No Data"},        // the parent is the root, which has no name
      {"/track.mp3", "/", "No Data"},                  // directly in the root
      {"/music/a/track.mp3", "/music/a/", "No Data"},  // a folder name too short to cut off
      {"/music/x/Album/track.mp3", "Album", "/music/x"},
      {"track.mp3", "No Data", "No Data"},  // no folder at all
  };
  for (const auto& c : cases) {
    char album[kTagTextSize], artist[kTagTextSize];
    folderNames(c.path, album, sizeof album, artist, sizeof artist);
    EXPECT_STREQ(album, c.album) << c.path;
    EXPECT_STREQ(artist, c.artist) << c.path;
  }
}

TEST(FolderNames, RecordTextsOfAFileWithoutATag) {
  TempDir dir;
  const std::string path = makeFile(dir, "D:/Music/Some Band/First Album/01 Opening.mp3", std::string(200, '\x55'));

  const RecordTexts on = recordTextsOf(settingsWith(true), path);
  EXPECT_STREQ(on.name, "01 Opening");
  EXPECT_STREQ(on.album, "First Album");
  EXPECT_STREQ(on.artist, "Some Band");
  EXPECT_STREQ(on.comment, "No Data");

  const RecordTexts off = recordTextsOf(settingsWith(false), path);
  EXPECT_STREQ(off.name, "01 Opening");
  EXPECT_STREQ(off.album, "No Data");
  EXPECT_STREQ(off.artist, "No Data");
}

TEST(FolderNames, TagTextsWinOverFolderNames) {
  using namespace plinka::test::tags;
  TempDir dir;
  const std::string path =
      makeFile(dir, "Music/Folder Band/Folder Album/track.mp3", tag(3, frame(3, "TPE1", latin1("Tag Band"))));
  TagReader reader;
  ASSERT_EQ(readTag(reader, path.c_str()), 1);
  EXPECT_STREQ(reader.result.year, "No Data");
  RecordTexts out;
  applyRecordRules(settingsWith(true), path.c_str(), reader.result, out);
  EXPECT_STREQ(out.artist, "Tag Band");
  EXPECT_STREQ(out.album, "Folder Album");
  EXPECT_STREQ(out.name, "track");
}

TEST(FolderNames, TitleLosesItsExtensionOnlyWhenItEndsInAnEnabledType) {
  SettingsRecord wavOff = settingsWith(false);
  wavOff.typeWav = 0;
  struct Case {
    const char* title;
    SettingsRecord settings;
    const char* name;
  } cases[] = {
      {"01 Opening.mp3", settingsWith(false), "01 Opening"},
      {"Live.at.the.Hall.mp3", settingsWith(false), "Live.at.the.Hall"},
      {"Tag Title.WAV", settingsWith(false), "Tag Title"},
      {"Tag Title.wav", wavOff, "Tag Title.wav"},
      {"Plain Title", settingsWith(false), "Plain Title"},
      {"Best of mp3", settingsWith(false), "Best of mp3"},  // no '.' to cut at
      {"Intro.mp3 (Remix)", settingsWith(false), "Intro.mp3 (Remix)"},
  };
  for (const auto& c : cases) {
    TagResult tag{};
    std::strcpy(tag.title, c.title);
    for (char* t : {tag.artist, tag.album, tag.comment, tag.year})
      std::strcpy(t, kNoData);
    RecordTexts out;
    applyRecordRules(c.settings, "/music/x.mp3", tag, out);
    EXPECT_STREQ(out.name, c.name) << c.title;
  }
}
