// The guard over exclusive use: it gives the use back when it goes out of
// scope, and never frees a busy code that has since passed to another job.
#include "shell/app.h"
#include "shell/exclusive_access.h"

#include <gtest/gtest.h>

#include <memory>

namespace plinka {
namespace {

TEST(ExclusiveAccessTest, GivesTheUseBackOnLeavingItsScope) {
  auto app = std::make_unique<App>();
  {
    const ExclusiveAccess access = ExclusiveAccess::grantNow(*app, BusyCode::Import);
    ASSERT_TRUE(access.held());
    EXPECT_EQ(app->run.busyCode.load(), codeValue(BusyCode::Import));
    // Held by another code: a second guard is refused and frees nothing.
    const ExclusiveAccess second = ExclusiveAccess::grantNow(*app, BusyCode::ListBuild);
    EXPECT_FALSE(second.held());
  }
  EXPECT_EQ(app->run.busyCode.load(), 0u);
}

TEST(ExclusiveAccessTest, LeavesACodeTheWatchdogHandedToAnotherJob) {
  auto app = std::make_unique<App>();
  ExclusiveAccess stale = ExclusiveAccess::grantNow(*app, BusyCode::ListBuild);
  ASSERT_TRUE(stale.held());
  // The watchdog frees the stuck code and the import is granted meanwhile.
  app->run.busyCode.store(0);
  const ExclusiveAccess import = ExclusiveAccess::grantNow(*app, BusyCode::Import);
  ASSERT_TRUE(import.held());
  EXPECT_FALSE(stale.held());
  stale.release();
  EXPECT_EQ(app->run.busyCode.load(), codeValue(BusyCode::Import));
}

}  // namespace
}  // namespace plinka
