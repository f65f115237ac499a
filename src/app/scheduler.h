// The long-lived scheduler threads (heartbeat and background worker) and the
// short-lived job threads, all kept here so that they are joined before the
// App they use goes away.
#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace plinka {

struct App;

// Short-lived threads (list command processors, loaders, prompts). Finished
// ones are joined when the next one starts; the rest when the App ends.
class JobThreads {
public:
  JobThreads() = default;
  JobThreads(const JobThreads&) = delete;
  JobThreads& operator=(const JobThreads&) = delete;
  ~JobThreads();

  // Runs body on a new thread. False when it could not start (the App is
  // ending, or the system has no thread to give).
  bool start(std::function<void()> body);
  // Joins every job thread, including any started meanwhile.
  void waitAll();
  // Refuses new starts from now on.
  void close();

private:
  struct Job {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::mutex mutex_;
  std::list<Job> jobs_;
  bool closed_ = false;
};

struct Scheduler {
  std::thread heartbeat;
  std::thread worker;
  std::thread player;
  JobThreads jobThreads;
};

// The heartbeat loop: refreshes the status texts, then ticks until the slot
// reaches the end of the run, and ends the run.
void heartbeatLoop(App& app);
// The background worker loop: passes until the slot reaches 665 or 666, then
// work position 100.
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
