// The background worker: one pass of the thread that runs the slow jobs
// (list building, buffering, writing cached edits) and asks for a new list
// when the list runs short.
#pragma once

#include <cstdint>

namespace plinka {

struct App;

// Work positions (shown in the Internals window).
constexpr uint32_t kWorkStart = 0;
constexpr uint32_t kWorkBuilding = 10;
constexpr uint32_t kWorkBuffering = 20;
constexpr uint32_t kWorkWritingEdits = 30;
constexpr uint32_t kWorkIdWorker = 40;
constexpr uint32_t kWorkLoudness = 50;
constexpr uint32_t kWorkIdle = 90;
constexpr uint32_t kWorkResting = 91;
constexpr uint32_t kWorkPassDone = 92;
constexpr uint32_t kWorkEnded = 100;

// Clock milliseconds the worker rests when it has nothing to do, and after
// every pass.
constexpr uint32_t kWorkerIdleMs = 10000;
constexpr uint32_t kWorkerRestMs = 500;

// One pass: the first job that is due, then a short rest.
void workerPass(App& app);

}  // namespace plinka
