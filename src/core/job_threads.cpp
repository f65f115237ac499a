#include "core/job_threads.h"

#include <system_error>
#include <vector>

namespace plinka {

JobThreads::~JobThreads() {
  close();
  waitAll();
}

bool JobThreads::start(std::function<void()> body) {
  std::vector<std::thread> finished;
  {
    std::lock_guard lock(mutex_);
    for (auto it = jobs_.begin(); it != jobs_.end();) {
      if (it->done->load()) {
        finished.push_back(std::move(it->thread));
        it = jobs_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& thread : finished) {
    thread.join();
  }
  std::lock_guard lock(mutex_);
  if (closed_) {
    return false;
  }
  auto done = std::make_shared<std::atomic<bool>>(false);
  try {
    std::thread thread([body = std::move(body), done] {
      body();
      done->store(true);
    });
    jobs_.push_back({std::move(thread), done});
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void JobThreads::waitAll() {
  for (;;) {
    std::list<Job> running;
    {
      std::lock_guard lock(mutex_);
      if (jobs_.empty()) {
        return;
      }
      running.swap(jobs_);
    }
    for (auto& job : running) {
      job.thread.join();
    }
  }
}

void JobThreads::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
}

}  // namespace plinka
