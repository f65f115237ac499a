#include "core/run_state.h"

#include "core/core_context.h"

#include <cstdint>
#include <thread>

namespace plinka {

namespace {

// Sleep between tries for a taken slot lock.
constexpr uint32_t kLockRetryMs = 1;
constexpr int kPostLockTries = 3;
constexpr int kPostSlotWaits = 20;
constexpr uint32_t kPatienceUnitMs = 8;
constexpr uint32_t kRequestPollMs = 100;
constexpr uint32_t kRequestPollLimit = 51;
// Patience from which a post gives up after one failure to take the lock,
// and request polls stop after kRequestPollLimit.
constexpr uint32_t kPatientFrom = 5;
// Patience above which a request first waits while anything is pending.
constexpr uint32_t kLongWaitAbove = 10;

// Keeps posterCount right on every return.
struct PosterCount {
  explicit PosterCount(RunState& run) : run_(run) { run_.posterCount.fetch_add(1); }
  ~PosterCount() { run_.posterCount.fetch_sub(1); }
  RunState& run_;
};

// Takes the slot lock with a 1 ms sleep before each try (processor). The
// lock is never held while its holder waits for anything, so this ends.
void lockSlotSleeping(CoreContext& app) {
  do {
    app.clock.sleepMs(kLockRetryMs);
  } while (app.run.slotLock.exchange(1) != 0);
}

void unlockSlot(CoreContext& app) { app.run.slotLock.exchange(0); }

bool ending(const CoreContext& app) { return app.run.appEnding.load() != 0; }

}  // namespace

void WakeSignal::notify() {
  {
    std::lock_guard lock(mutex_);
    generation_.fetch_add(1);
  }
  changed_.notify_all();
}

bool WakeSignal::waitChange(uint64_t seen, Deadline deadline) {
  std::unique_lock lock(mutex_);
  return changed_.wait_until(lock, deadline, [&] { return generation_.load() != seen; });
}

RunState& runStateOf(CoreContext& app) { return app.run; }

bool isAppEnding(const CoreContext& app) { return ending(app); }

WakeSignal::Deadline deadlineIn(const CoreContext& app, uint32_t ms) {
  return std::chrono::steady_clock::now() + app.clock.realSpan(ms);
}

bool napMs(CoreContext& app, uint32_t ms) {
  if (ending(app)) {
    return false;
  }
  if (ms == 0) {
    std::this_thread::yield();
    return true;
  }
  // Only the end of the App cuts a nap short.
  return waitFor(app, ms, [] { return false; }) != WaitEnd::AppEnding;
}

PostOutcome post(CoreContext& app, SlotCode slotCode, uint32_t argument, uint32_t patience) {
  RunState& run = app.run;
  const uint32_t code = slotCode.value();
  if (run.commandSlot.load() == code) {
    return PostOutcome::Settled;
  }
  PosterCount counted(run);
  if (isClosingCode(run.commandSlot.load()) || run.busyCode.load() == code) {
    return PostOutcome::Refused;
  }
  for (;;) {
    // Each wait ends as soon as the slot empties.
    for (int wait = 0; wait < kPostSlotWaits && run.commandSlot.load() != 0; ++wait) {
      if (waitFor(app, patience * kPatienceUnitMs, [&run] { return run.commandSlot.load() == 0; }) ==
          WaitEnd::AppEnding) {
        return PostOutcome::Refused;
      }
    }
    bool locked = false;
    for (int attempt = 0; attempt < kPostLockTries; ++attempt) {
      if (run.slotLock.exchange(1) == 0) {
        locked = true;
        break;
      }
      if (!napMs(app, kLockRetryMs)) {
        return PostOutcome::Refused;
      }
    }
    if (locked) {
      const uint32_t held = run.commandSlot.load();
      if (held == 0 || held == code || code == kQuitCode) {
        const uint32_t previous = run.commandSlot.exchange(code);
        if (previous != 0 && previous != code && code != kQuitCode) {
          run.commandSlot.store(previous);
        } else {
          run.commandArgument.store(argument);
        }
      }
      // Another code in the slot stays; this request is dropped.
      unlockSlot(app);
      return PostOutcome::Settled;
    }
    if (patience >= kPatientFrom) {
      return PostOutcome::Refused;
    }
  }
}

AccessOutcome requestExclusive(CoreContext& app, BusyCode busyCode, uint32_t argument, uint32_t patience) {
  RunState& run = app.run;
  const uint32_t code = codeValue(busyCode);
  if (run.busyCode.load() == code) {
    return AccessOutcome::Granted;
  }
  if (isClosingCode(run.commandSlot.load())) {
    return AccessOutcome::NotGranted;
  }
  if (patience > kLongWaitAbove && (run.commandSlot.load() != 0 || run.busyCode.load() != 0)) {
    if (!napMs(app, (patience - kLongWaitAbove) * 1000)) {
      return AccessOutcome::NotGranted;
    }
  }
  if (post(app, busyCode, argument, patience) != PostOutcome::Settled) {
    return AccessOutcome::NotGranted;
  }
  // Wakes as soon as the processor grants the code or the slot changes; a
  // poll interval that passes without either counts towards the limit.
  const auto settled = [&run, code] { return run.busyCode.load() == code || run.commandSlot.load() != code; };
  uint32_t polls = 0;
  while (!settled()) {
    if (patience >= kPatientFrom && polls >= kRequestPollLimit) {
      break;
    }
    const WaitEnd end = waitFor(app, kRequestPollMs, settled);
    if (end == WaitEnd::AppEnding) {
      break;
    }
    if (end == WaitEnd::TimedOut) {
      ++polls;
    }
  }
  // Decided under the slot lock, where the processor grants: granted after
  // all, or the code taken back so that nobody is granted it later.
  lockSlotSleeping(app);
  const bool granted = run.busyCode.load() == code;
  if (!granted && run.commandSlot.load() == code) {
    run.commandSlot.store(0);
  }
  unlockSlot(app);
  return granted ? AccessOutcome::Granted : AccessOutcome::NotGranted;
}

void releaseExclusive(CoreContext& app) {
  RunState& run = app.run;
  while (run.slotLock.exchange(1) != 0) {
    std::this_thread::yield();
  }
  run.busyCode.store(0);
  unlockSlot(app);
}

void releaseExclusiveIfHeld(CoreContext& app, BusyCode code) {
  RunState& run = app.run;
  while (run.slotLock.exchange(1) != 0) {
    std::this_thread::yield();
  }
  uint32_t expected = codeValue(code);
  run.busyCode.compare_exchange_strong(expected, 0);
  unlockSlot(app);
}

AccessOutcome grantExclusiveNow(CoreContext& app, BusyCode busyCode) {
  RunState& run = app.run;
  const uint32_t code = codeValue(busyCode);
  if (isClosingCode(run.commandSlot.load()))
    return AccessOutcome::NotGranted;
  lockSlotSleeping(app);
  uint32_t expected = 0;
  const bool granted = run.busyCode.compare_exchange_strong(expected, code) || expected == code;
  unlockSlot(app);
  return granted ? AccessOutcome::Granted : AccessOutcome::NotGranted;
}

uint32_t takePendingCommand(CoreContext& app) {
  RunState& run = app.run;
  lockSlotSleeping(app);
  const uint32_t code = run.commandSlot.exchange(0);
  if (code != 0) {
    run.lastTakenCommand.store(code);
  }
  unlockSlot(app);
  return code;
}

ProcessorRun runProcessor(CoreContext& app) {
  RunState& run = app.run;
  // The ended code is refused like the quit and leaving codes: the end of the
  // run is never taken as a command.
  if (run.busyCode.load() != 0 || isClosingCode(run.commandSlot.load())) {
    return ProcessorRun::Done;
  }
  if (run.processorLock.exchange(1) != 0) {
    return ProcessorRun::AnotherRuns;
  }
  lockSlotSleeping(app);
  const uint32_t argument = run.commandArgument.load();
  const uint32_t code = run.commandSlot.load();
  const uint32_t owner = run.busyCode.exchange(code);
  if (owner != 0 || isClosingCode(code)) {
    run.busyCode.store(owner);
    unlockSlot(app);
    run.processorLock.exchange(0);
    run.wake.notify();
    return ProcessorRun::Done;
  }
  // The code leaves the slot in the same lock hold that made it the busy
  // code, so a quit posted in between is never wiped out with it.
  run.commandSlot.store(0);
  if (code != 0) {
    run.lastTakenCommand.store(code);
  }
  unlockSlot(app);

  if (code >= kFirstAccessCode && code <= kLastAccessCode) {
    // Exclusive access granted; the requester releases it.
    run.processorLock.exchange(0);
    run.wake.notify();
    return ProcessorRun::Done;
  }
  if (code > 0 && code < kCommandHandlerCount && app.commandHandlers[code]) {
    app.commandHandlers[code](argument);
  }
  run.busyCode.store(0);
  run.processorLock.exchange(0);
  // The heartbeat may be waiting to start the next processor.
  run.wake.notify();
  return ProcessorRun::Done;
}

}  // namespace plinka
