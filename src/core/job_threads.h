// The short-lived job threads (list command processors, loaders, prompts),
// kept in one place so that they are joined before the state they use goes
// away.
#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace plinka {

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

}  // namespace plinka
