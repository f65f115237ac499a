// Switching the computer off after a list build while nothing plays: a
// prompt gives the user 30 seconds to refuse.
#pragma once

namespace plinka {
struct PlayContext;
}

namespace plinka::play {

constexpr const char* kShutdownMessage = "Plinka will shutdown the computer in 30 seconds.";
constexpr const char* kShutdownNow = "Don't wait; do it now!";
constexpr const char* kShutdownAbort = "Abort shutdown!";
constexpr unsigned kShutdownSeconds = 30;

// Starts the shutdown thread when "Shutdown" and "Auto Build" are on and the
// player is stopped, and no shutdown prompt is already up. True when it
// started.
bool startShutdownTimer(PlayContext& app);

// The thread's body: asks, and requests the power-off unless the user
// aborted.
void runShutdownTimer(PlayContext& app);

}  // namespace plinka::play
