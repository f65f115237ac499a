#include "core/data_folders.h"

#include "platform/files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace plinka;
using namespace plinka::test;

namespace {

TEST(DataFolders, DataGoesToTheUserFolderOnlyWithTheMarkerOnAFixedDrive) {
  struct Case {
    bool removable;
    bool marker;
    bool userFolder;
  } cases[] = {
      {true, true, false},  // a carried installation keeps its data with it
      {true, false, false},
      {false, true, true},
      {false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "removable " << c.removable << ", marker " << c.marker);
    TempDir root;
    const std::string program = root.file("opt/plinka/");
    std::filesystem::create_directories(program);
    if (c.marker)
      writeFile(program + "DefSet.txt", "");
    const std::string home = root.file("home/me/.local/share");  // not there yet

    const Folders folders = settleFolders(root.file("opt/plinka"), c.removable, home);
    EXPECT_EQ(folders.program, program);
    if (c.userFolder) {
      EXPECT_EQ(folders.data, home + "/Quillmar/Plinka/");
      EXPECT_TRUE(platform::folderExists(folders.data));
    } else {
      EXPECT_EQ(folders.data, program);
      EXPECT_FALSE(platform::folderExists(home));
    }
  }
}

TEST(DataFolders, ExistingUserFoldersAreNoError) {
  TempDir root;
  writeFile(root.file("DefSet.txt"), "");
  std::filesystem::create_directories(root.file("share/Quillmar/Plinka"));
  writeFile(root.file("share/Quillmar/Plinka/dPlinka.dat"), "kept");
  const Folders folders = settleFolders(root.path(), false, root.file("share/"));
  EXPECT_EQ(folders.data, root.file("share/Quillmar/Plinka/"));
  EXPECT_EQ(readFile(folders.data + "dPlinka.dat"), "kept");
}

}  // namespace
