// A fresh App with a scripted front end and a fast clock, and a way to wait
// for what real threads do without timing them.
#pragma once

#include "app/app.h"
#include "support/fake_ui.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace plinka::test {

// Polls until `done` holds or a generous deadline passes; returns whether it
// held.
inline bool waitUntil(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(60)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

// Clock ticks are counted in whole real milliseconds, so at speed k any
// measured span can read up to k ticks short.
inline uint64_t tickGranularity(const App& app) { return app.clock.speed.load(); }

class SchedulerTest : public ::testing::Test {
protected:
  explicit SchedulerTest(uint32_t speed = 1000) {
    app->ui = &ui;
    app->clock.speed = speed;
  }

  // Declared before the App so that it outlives the App's threads.
  FakeUi ui;
  std::unique_ptr<App> app = std::make_unique<App>();
};

}  // namespace plinka::test
