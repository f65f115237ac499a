#include "app/app.h"
#include "play/list_file.h"

#include "platform/files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

using namespace plinka;
using namespace plinka::test;

namespace {

play::ListRow rowFor(const std::string& fileName) {
  play::ListRow row;
  row.column[play::Title] = "title of " + fileName;
  row.column[play::FileName] = fileName;
  return row;
}

TEST(PlaylistWriter, WritesEachPathInListOrderAndLeavesOutWhatALineCannotHold) {
  TempDir dir;
  const std::string longest = "/" + std::string(598, 'a');  // 599 characters fit a line
  const std::string tooLong = "/" + std::string(599, 'b');
  play::UpcomingList list;
  for (const std::string& name : {std::string("/music/one.mp3"), tooLong, std::string("/music/two\rthree.mp3"), longest,
                                  std::string("/music/new\nline.mp3"), std::string("/music/#1 Hits/x.mp3")})
    list.append(rowFor(name));
  writeFile(dir.file("out.m3u"), std::string(5000, 'o'));  // replaced, not overwritten in part

  ASSERT_TRUE(play::writeList(list, dir.file("out.m3u")));
  EXPECT_EQ(readFile(dir.file("out.m3u")), "/music/one.mp3\r\n" + longest + "\r\n/music/#1 Hits/x.mp3\r\n");
}

TEST(PlaylistWriter, AFileThatCannotBeMadeIsReported) {
  TempDir dir;
  play::UpcomingList list;
  list.append(rowFor("/music/one.mp3"));
  EXPECT_FALSE(play::writeList(list, dir.file("no such folder/out.m3u")));
}

TEST(PlaylistWriter, EachStateHasItsListFileInTheDataFolder) {
  App app;
  app.folders.data = "/data/";
  app.settings.currentState = 0;
  EXPECT_EQ(play::stateListFileName(app), "/data/PL1.m3u");
  app.settings.currentState = 9;
  EXPECT_EQ(play::stateListFileName(app), "/data/PL10.m3u");
}

}  // namespace
