// Closures handed to the GUI thread from other threads run there, each
// thread's in the order that thread handed them over, while the threads are
// still handing over more.
#include "gui/gui_hand_off.h"
#include "gui/qt_test_env.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>
#include <vector>

namespace plinka::gui {
namespace {

TEST(GuiHandOff, EachThreadsPostsRunOnTheGuiThreadInTheirOrder) {
  constexpr int kThreads = 2;
  constexpr int kPerThread = 2000;
  GuiHandOff handOff;
  const std::thread::id guiThread = std::this_thread::get_id();
  // Written and read on the GUI thread only: the closures run there.
  std::vector<int> seen[kThreads];
  // Written by a closure run on another thread (a fault), read here.
  std::atomic<int> runElsewhere{0};

  std::latch start(kThreads);
  auto poster = [&](int which) {
    start.arrive_and_wait();
    for (int i = 0; i < kPerThread; ++i)
      handOff.post([&, which, i] {
        if (std::this_thread::get_id() != guiThread)
          runElsewhere.fetch_add(1);
        seen[which].push_back(i);
      });
  };
  std::vector<std::thread> threads;
  for (int which = 0; which < kThreads; ++which)
    threads.emplace_back(poster, which);
  // The GUI thread runs closures while the threads still post.
  const bool allRun = processUntil([&] {
    for (const auto& s : seen)
      if (s.size() < kPerThread)
        return false;
    return true;
  });
  for (auto& t : threads)
    t.join();

  ASSERT_TRUE(allRun);
  EXPECT_EQ(runElsewhere.load(), 0);
  for (int which = 0; which < kThreads; ++which) {
    ASSERT_EQ(seen[which].size(), static_cast<size_t>(kPerThread)) << "thread " << which;
    for (int i = 0; i < kPerThread; ++i)
      ASSERT_EQ(seen[which][i], i) << "thread " << which << ": its post " << i << " ran out of turn";
  }
}

}  // namespace
}  // namespace plinka::gui
