// The random source: the kernel generator path and the arithmetic fallback.

#include "app/app.h"
#include "core/random_source.h"

#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <thread>
#include <vector>

namespace plinka::test {
namespace {

TEST(RandomSourceTest, BoundsOfZeroAndOneGiveOneWithoutTouchingTheState) {
  for (const uint32_t fallback : {0u, 1u}) {
    auto app = std::make_unique<App>();
    app->random.forceFallback = fallback;
    app->random.state = 777;
    EXPECT_EQ(drawRandom(*app, 0), 1u);
    EXPECT_EQ(drawRandom(*app, 1), 1u);
    EXPECT_EQ(app->random.state.load(), 777u);
  }
}

TEST(RandomSourceTest, GeneratorGivesOneToNAndKeepsTheValue) {
  auto app = std::make_unique<App>();
  std::set<uint32_t> seen;
  for (int i = 0; i < 600; ++i) {
    const uint32_t v = drawRandom(*app, 6);
    ASSERT_GE(v, 1u);
    ASSERT_LE(v, 6u);
    ASSERT_EQ(app->random.state.load(), v);
    seen.insert(v);
  }
  EXPECT_EQ(seen.size(), 6u) << "every face turns up in 600 draws";
}

TEST(RandomSourceTest, FallbackArithmetic) {
  struct Case {
    const char* name;
    uint32_t state, tick, n;
    uint32_t value, stateAfter;
  };
  const Case cases[] = {
      {"zero state, tick 256: square wraps to 0", 0, 256, 6, 0, 0},
      {"zero state, tick 200 gives 40000; 976 less nine hundreds", 0, 200, 100, 76, 40000},
      {"halved square plus the tick's low byte", 3, 0x105, 1000, 2, 9},
      {"square taken on 32 bits", 0x10001, 0x300, 50, 0, 0},
      {"product taken on 32 bits", 0, 200, 200000, 104549, 40000},
      {"n itself can come out", 0, 91, 2, 2, 8281},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto app = std::make_unique<App>();
    app->random.forceFallback = 1;
    app->random.useFixedTick = 1;
    app->random.fixedTick = c.tick;
    app->random.state = c.state;
    EXPECT_EQ(drawRandom(*app, c.n), c.value);
    EXPECT_EQ(app->random.state.load(), c.stateAfter);
  }
}

TEST(RandomSourceTest, FallbackReadsTheClockWhenNoTickIsFixed) {
  auto app = std::make_unique<App>();
  app->random.forceFallback = 1;
  for (int i = 0; i < 1000; ++i) {
    const uint32_t v = drawRandom(*app, 10);
    ASSERT_LE(v, 10u);
  }
}

TEST(RandomSourceTest, StateTravelsWithTheSettingsRecord) {
  auto app = std::make_unique<App>();
  app->settings.randomState = 12345;
  loadRandomState(*app);
  EXPECT_EQ(app->random.state.load(), 12345u);
  drawRandom(*app, 1000);
  const uint32_t drawn = app->random.state.load();
  storeRandomState(*app);
  EXPECT_EQ(+app->settings.randomState, drawn);
}

TEST(RandomSourceTest, ThreadsDrawAtTheSameTime) {
  for (const uint32_t fallback : {0u, 1u}) {
    auto app = std::make_unique<App>();
    app->random.forceFallback = fallback;
    std::atomic<bool> outside{false};
    std::vector<std::thread> drawers;
    for (int t = 0; t < 4; ++t) {
      drawers.emplace_back([&] {
        for (int i = 0; i < 500; ++i) {
          if (drawRandom(*app, 6) > 6) {
            outside = true;
          }
        }
      });
    }
    for (auto& drawer : drawers) {
      drawer.join();
    }
    EXPECT_FALSE(outside.load()) << fallback;
  }
}

}  // namespace
}  // namespace plinka::test
