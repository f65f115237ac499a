#include "core/job_post.h"

#include "core/core_context.h"

namespace plinka {

bool postFromJobThread(CoreContext& app, SlotCode code, uint32_t argument, uint32_t patience, AfterPost after) {
  // The context outlives every job thread: the App joins them before it ends.
  CoreContext* running = &app;
  return app.jobThreads.start([running, code, argument, patience, after] {
    post(*running, code, argument, patience);
    if (after == AfterPost::NoticeStatus)
      noticeStatusChanged(*running);
  });
}

}  // namespace plinka
