#include "app/background_worker.h"

#include "app/app.h"
#include "library/edit_queue.h"
#include "library/loudness_job.h"

namespace plinka {

namespace {

constexpr uint32_t kRebufferBelow = 5;
constexpr uint32_t kBufferingListAbove = 5;
constexpr uint32_t kEditsToWriteAbove = 50;
constexpr int32_t kShortListBelow = 10;
constexpr int32_t kHashingListAbove = 20;
constexpr uint32_t kHashingBuildBelow = 11;

}  // namespace

void workerPass(App& app) {
  RunState& run = app.run;
  run.workPosition.store(kWorkStart);

  const uint32_t build = run.buildState.load();
  const int32_t listCount = run.listCount.load();
  // Edits waiting in the deferred queue; -1 (all bits set) means none kept.
  const uint32_t editsWaiting = static_cast<uint32_t>(library::editsWaiting(app));
  const uint32_t rebufferValue = app.shared.rebufferValue.load();

  if (build >= 1 && build <= kBuildWanted) {
    if (build == kBuildWanted || build == 1) {
      run.workPosition.store(kWorkBuilding);
      callHook(app.hooks.buildList);
    }
  } else if (rebufferValue < kRebufferBelow && app.bufferCache.stage.load() == library::BufferStage::Buffered &&
             listCount > static_cast<int32_t>(kBufferingListAbove)) {
    run.workPosition.store(kWorkBuffering);
    callHook(app.hooks.bufferingRun);
  } else if (editsWaiting > kEditsToWriteAbove && editsWaiting != 0xFFFFFFFFu &&
             app.editQueue.writerRunning.load() == 0 && build < kOfflineFirst) {
    run.workPosition.store(kWorkWritingEdits);
    callHook(app.hooks.cacheWriter);
  } else if (listCount < kShortListBelow && (build == kBuildIdle || build > kOfflineFirst)) {
    // Also ends offline mode, even a locked one.
    run.buildState.store(kBuildWanted);
  } else if (app.shared.hashStat.load() == 0 && listCount > kHashingListAbove && build < kHashingBuildBelow &&
             app.idWorker.running.load() == 0) {
    run.workPosition.store(kWorkIdWorker);
    callHook(app.hooks.startIdWorker);
  } else if (app.shared.levelling.load() != static_cast<uint32_t>(Levelling::Off) && app.loudness.running.load() == 0 &&
             listCount >= library::kLoudnessShortestList && build < kHashingBuildBelow &&
             app.clock.tickMs() >= app.loudness.restUntil.load()) {
    // Songs whose loudness is not known yet: measured one at a time.
    run.workPosition.store(kWorkLoudness);
    library::startLoudnessJob(app);
  } else {
    run.workPosition.store(kWorkIdle);
    // Idle, but a list wanted (the player or a command asks for one, or the
    // list runs short) is seen at once.
    waitFor(app, kWorkerIdleMs, [&run] {
      const uint32_t state = run.buildState.load();
      return state == kBuildWanted || state == 1 ||
             (run.listCount.load() < kShortListBelow && (state == kBuildIdle || state > kOfflineFirst));
    });
  }

  run.workPosition.store(kWorkResting);
  napMs(app, kWorkerRestMs);
  run.workPosition.store(kWorkPassDone);
}

}  // namespace plinka
