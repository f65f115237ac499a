#include "app/single_instance.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

using namespace plinka;

TEST(SingleInstance, ASecondPlayerIsRefusedUntilTheFirstLetsGo) {
  test::TempDir dir;
  const std::string path = dir.file("Plinka.exe.lock");
  platform::InstanceLock first, second;
  ASSERT_TRUE(claimSingleInstance(first, path));
  EXPECT_FALSE(claimSingleInstance(second, path));
  first.release();
  EXPECT_TRUE(claimSingleInstance(second, path));
}
