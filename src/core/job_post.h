// Posting to the command slot without waiting for it: a thread that must not
// block (the GUI thread, above all) hands the post to a job thread of its own.
#pragma once

#include <cstdint>

#include "core/run_state.h"

namespace plinka {

struct CoreContext;

// What the job thread does once its post is done.
enum class AfterPost {
  Nothing,
  NoticeStatus,  // tells the status texts that the slot has changed
};

// Posts `code` with `argument` and `patience` (see post()) from a new job
// thread and returns at once. False when no job thread could be started
// (the run is ending): nothing is posted then.
bool postFromJobThread(CoreContext& app, SlotCode code, uint32_t argument, uint32_t patience,
                       AfterPost after = AfterPost::Nothing);

}  // namespace plinka
