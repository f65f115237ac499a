// The four status texts of the main window, built from the shared state, and
// the one-shot message any job may leave for the next refresh.
#pragma once

#include "core/front_end.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace plinka {

struct App;

// Longest one-shot message kept, in bytes.
constexpr size_t kOneShotMessageMax = 599;

// The activity text, in place of "Plinka Ready", while the song table holds
// too few songs for the list builder to choose from.
constexpr const char kTooFewSongsText[] = "Import at least 20 songs";

struct StatusState {
  // The one-shot message, shown once in the activity text. Written by any
  // job through setOneShotMessage; read by refreshes. Guarded by
  // messageMutex.
  std::mutex messageMutex;
  std::string message;
  // 1 while the message waits to be shown. Set with the message; cleared by
  // the refresh that shows it and by jobs that start afresh.
  std::atomic<uint32_t> messagePending{0};
};

// Leaves a message for the next refresh (cut to kOneShotMessageMax bytes).
void setOneShotMessage(App& app, const std::string& text);

// Builds the four texts. Apart from reading, it settles two things: an
// un-buffered notice is shown once (the stage becomes buffered), a partly
// buffered stage becomes buffered on one draw in six; and a pending one-shot
// message is taken.
StatusTexts composeStatus(App& app);

// Builds the texts and hands them to the front end. Called from any thread
// after a visible change.
void refreshStatus(App& app);

}  // namespace plinka
