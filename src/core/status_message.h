// The one-shot message any job may leave for the window's status texts, and
// the notice that the state those texts show has changed. The texts
// themselves are composed above this layer.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace plinka {

struct CoreContext;

// Longest one-shot message kept, in bytes.
constexpr size_t kOneShotMessageMax = 599;

struct StatusState {
  // The one-shot message, shown once in the activity text. Written by any
  // job through setOneShotMessage; read by refreshes. Guarded by
  // messageMutex.
  std::mutex messageMutex;
  std::string message;
  // 1 while the message waits to be shown. Set with the message; cleared by
  // the refresh that shows it and by jobs that start afresh.
  std::atomic<uint32_t> messagePending{0};
  // Called by noticeStatusChanged: turns the shared state into the window's
  // texts. Set once before any thread starts (the App sets it to its own
  // refresh); empty: nothing is shown.
  std::function<void()> changed;
};

// Leaves a message for the next refresh (cut to kOneShotMessageMax bytes).
void setOneShotMessage(CoreContext& app, const std::string& text);

// Tells the front end that what the status texts show has changed. Called
// from any thread after a visible change.
void noticeStatusChanged(CoreContext& app);

}  // namespace plinka
