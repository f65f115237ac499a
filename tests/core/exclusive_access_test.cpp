// The guard over exclusive use: it gives the use back when it goes out of
// scope, and never frees a busy code that has since passed to another job.
#include "app/app.h"
#include "app/scheduler.h"
#include "core/exclusive_access.h"
#include "db/records.h"
#include "db/song_table_open.h"
#include "support/fake_ui.h"
#include "support/song_table.h"
#include "support/temp_dir.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

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

// A job that outlives the watchdog's limit (here by half, at a fast clock) keeps its code, and so the song table, for
// as long as it tells the watchdog it is at work: it ends whole, and a job asking meanwhile gets the table only after
// it. A job that does not tell loses its code to the watchdog, and its own check stops it before its next step.
TEST(ExclusiveAccessTest, ALongJobKeepsItsCodeWhileItShowsItIsAtWork) {
  constexpr uint32_t kSteps = 300;  // half a heartbeat tick each: 150 ticks
  for (const bool tells : {true, false}) {
    SCOPED_TRACE(tells ? "tells the watchdog" : "tells nothing");
    test::TempDir dir;
    test::FakeUi ui;
    auto app = std::make_unique<App>();
    app->ui = &ui;
    // A tick lasts 10 real milliseconds: the watchdog's 101 ticks are a
    // second, longer than any pause a busy machine gives a thread.
    app->clock.speed = 100;
    const std::string path = dir.file("Plinka.cvf");
    test::makeSongTable(app->songTable, path, kSteps, [](db::TableHandle&, uint32_t) {});
    text::copy(app->settings.databasePath, path.c_str());
    startHeartbeat(*app);

    std::atomic<uint32_t> jobRunning{1};
    std::atomic<uint32_t> otherGrantedDuringJob{0};
    uint32_t steps = 0;
    std::thread other;
    {
      const ExclusiveAccess job = ExclusiveAccess::grantNow(*app, BusyCode::Maintenance);
      ASSERT_TRUE(job.held());
      const db::SongTableOpen table(*app, db::SongTableOpen::Mode::Writing);
      ASSERT_TRUE(table);
      other = std::thread([&] {
        const ExclusiveAccess access(*app, BusyCode::ListBuild, 2);
        if (access.held() && jobRunning.load() != 0)
          otherGrantedDuringJob.store(1);
      });
      for (; steps < kSteps; ++steps) {
        if (!(tells ? job.alive() : job.held()))
          break;
        app->songTable.value = steps + 1;
        db::writeField(app->songTable, steps, db::PlayCount);
        app->clock.sleepMs(500);
      }
      jobRunning.store(0);
    }
    other.join();
    if (tells) {
      EXPECT_EQ(steps, kSteps);
      EXPECT_EQ(otherGrantedDuringJob.load(), 0u);
      const db::SongTableOpen table(*app, db::SongTableOpen::Mode::Reading);
      ASSERT_TRUE(table);
      for (uint32_t k = 0; k < kSteps; ++k) {
        ASSERT_GE(db::readField(app->songTable, k, db::PlayCount), 0);
        ASSERT_EQ(app->songTable.value, k + 1) << "record " << k;
      }
    } else {
      EXPECT_LT(steps, kSteps);
    }
    stopScheduler(*app);
  }
}

}  // namespace
}  // namespace plinka
