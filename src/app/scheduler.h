// The long-lived scheduler threads (heartbeat and background worker) and the
// short-lived job threads, all kept here so that they are joined before the
// App they use goes away.
#pragma once

#include <thread>

namespace plinka {

struct App;

// The long-lived threads; the short-lived ones are the context's jobThreads.
struct Scheduler {
  std::thread heartbeat;
  std::thread worker;
  std::thread player;
};

// The heartbeat loop: refreshes the status texts, then ticks until the slot
// reaches the end of the run, and ends the run.
void heartbeatLoop(App& app);
// The background worker loop: passes until the slot reaches the leaving or the
// ended code, then work position 100.
void workerLoop(App& app);

// Starts the heartbeat and the background worker threads.
void startScheduler(App& app);
void startHeartbeat(App& app);
void startWorker(App& app);
// Starts the player thread (separately: a program without playback runs the
// scheduler alone). The playback service must be set before.
void startPlayer(App& app);

// Tells every loop and wait that the App is ending and joins every thread.
// Safe to call more than once.
void stopScheduler(App& app);

}  // namespace plinka
