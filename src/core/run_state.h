// The run state: the command slot through which every thread asks for work or
// for exclusive use of the upcoming list and the song table, the busy code
// that says who has that use now, and the two spin locks that keep them in
// order. All values are 32-bit words shared by every thread.
#pragma once

#include "core/busy_code.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace plinka {

struct CoreContext;

namespace play {
// The shared words below carry these; their values live with their owners:
// the player's requests in play/player.h, the list commands in
// play/list_commands.h.
enum class PlayerRequest : uint32_t;
enum class ListCommand : uint32_t;
}  // namespace play

// The codes of the end of the run: the quit asked for, the run leaving (the
// deferred edits being written), the run ended.
enum class ClosingCode : uint32_t { Quit = 66, Leaving = 665, Ended = 666 };

// Command slot codes: 1-19 are list commands, 20-39 requests for exclusive
// access, then the codes of the end of the run. The slot is a plain word;
// these name what it may hold when read.
constexpr uint32_t kFirstAccessCode = 20;
constexpr uint32_t kLastAccessCode = 39;
constexpr uint32_t kQuitCode = static_cast<uint32_t>(ClosingCode::Quit);
constexpr uint32_t kLeavingCode = static_cast<uint32_t>(ClosingCode::Leaving);
constexpr uint32_t kEndedCode = static_cast<uint32_t>(ClosingCode::Ended);

// What a poster places in the command slot: a list command, a busy code
// asking for exclusive access, or the quit. Only these make one, so every
// poster names its code.
class SlotCode {
public:
  constexpr SlotCode(play::ListCommand command) : value_(static_cast<uint32_t>(command)) {}
  constexpr SlotCode(BusyCode code) : value_(codeValue(code)) {}
  constexpr SlotCode(ClosingCode code) : value_(static_cast<uint32_t>(code)) {}
  constexpr uint32_t value() const { return value_; }

private:
  uint32_t value_;
};
// Number of list command handlers (index 1-19; 0 is unused).
constexpr uint32_t kCommandHandlerCount = 20;

// buildState values.
constexpr uint32_t kBuildIdle = 0;
constexpr uint32_t kBuildWanted = 10;
constexpr uint32_t kOfflineFirst = 1000;
constexpr uint32_t kOfflineLast = 1998;
constexpr uint32_t kOfflineLocked = 1999;
// Offline mode ends by itself once the counter passes this value.
constexpr uint32_t kOfflineEnd = 1600;

// Wakes the threads that wait on the run state: every change a waiter may be
// waiting for (a request placed or granted, a busy code freed, a player
// request, the end of the App) bumps a generation count and wakes them all.
// A waiter reads the generation, tests its own condition, and then waits for
// the generation to move on or for its deadline, so no change between the
// test and the wait is missed.
class WakeSignal {
public:
  using Deadline = std::chrono::steady_clock::time_point;

  uint64_t generation() const { return generation_.load(); }
  // After a change: wakes every waiter.
  void notify();
  // Waits until the generation differs from `seen` or the deadline passes.
  // True when it moved on (the waiter then tests its condition again).
  bool waitChange(uint64_t seen, Deadline deadline);

private:
  std::mutex mutex_;
  std::condition_variable changed_;
  // Written under mutex_ by notify(); read by waiters.
  std::atomic<uint64_t> generation_{0};
};

// A shared 32-bit word whose every write wakes the run state's waiters, so
// that no writer can forget to: the command slot, the busy code and the
// player request are what the heartbeat, the requesters and the player wait
// on. `Value` is what the word holds: a plain number, or a code type with a
// 32-bit underlying type (the player's requests).
template <typename Value = uint32_t> class SignalledWord {
public:
  explicit SignalledWord(WakeSignal& signal) : signal_(signal) {}
  SignalledWord(const SignalledWord&) = delete;
  SignalledWord& operator=(const SignalledWord&) = delete;

  Value load() const { return static_cast<Value>(value_.load()); }
  void store(Value value) {
    value_.store(static_cast<uint32_t>(value));
    signal_.notify();
  }
  SignalledWord& operator=(Value value) {
    store(value);
    return *this;
  }
  Value exchange(Value value) {
    const uint32_t previous = value_.exchange(static_cast<uint32_t>(value));
    signal_.notify();
    return static_cast<Value>(previous);
  }
  bool compare_exchange_strong(Value& expected, Value desired) {
    uint32_t seen = static_cast<uint32_t>(expected);
    const bool swapped = value_.compare_exchange_strong(seen, static_cast<uint32_t>(desired));
    expected = static_cast<Value>(seen);
    if (swapped) {
      signal_.notify();
    }
    return swapped;
  }
  bool compare_exchange_weak(Value& expected, Value desired) { return compare_exchange_strong(expected, desired); }

private:
  std::atomic<uint32_t> value_{0};
  WakeSignal& signal_;
};

struct RunState {
  // Wakes the waiters on the words below. Notified by every write of
  // commandSlot, busyCode and playerRequest, by the end of the App and by
  // the playback's end of a song; waited on by the heartbeat, requesters,
  // posters, the player and every nap.
  WakeSignal wake;
  // Code of the pending request, 0 = none. Written under slotLock by posters
  // and the processor; written directly by the heartbeat (the leaving code,
  // watchdog clearing), the end of the run (the ended code) and the window
  // close. Read by all.
  SignalledWord<> commandSlot{wake};
  // Argument of the pending request. Written with commandSlot under slotLock;
  // read by the processor.
  std::atomic<uint32_t> commandArgument{0};
  // Code of the job that owns the list and the song table, 0 = none. Set by
  // the processor under slotLock; cleared by the owner (releaseExclusive) or
  // by the heartbeat's watchdog. Read by all.
  SignalledWord<> busyCode{wake};
  // Spin lock over commandSlot, commandArgument and every change of busyCode.
  // Taken by exchange by posters, the processor and owners releasing; freed
  // by the watchdog when left held.
  std::atomic<uint32_t> slotLock{0};
  // Held while a list command processor runs; at most one runs. Taken and
  // freed by the processor, read by the heartbeat.
  std::atomic<uint32_t> processorLock{0};
  // Last non-zero code the processor took out of the slot. Written by the
  // processor; read by the Internals window.
  std::atomic<uint32_t> lastTakenCommand{0};
  // Threads currently inside post(). Written by posters; read by the
  // Internals window.
  std::atomic<uint32_t> posterCount{0};
  // Heartbeat ticks spent with a request pending or a job busy. Written by
  // the heartbeat, and set back to 0 by a long job that still holds its
  // busy code (stillHolding, the import, the maintenance passes); read by
  // the Internals window.
  std::atomic<uint32_t> watchdogCounter{0};
  // 1 while the player is started. Written by the main window's commands, the
  // start-playing switch and the player thread; read by all.
  std::atomic<uint32_t> playerRunning{0};
  // Request to the player thread (play::PlayerRequest::None = none). Written
  // by the main window's commands, the list commands and the player (which
  // takes it by exchange and puts a start back only into an empty word);
  // read by the player.
  SignalledWord<play::PlayerRequest> playerRequest{wake};
  // Songs on the upcoming list. Written by the list itself at every change
  // (see UpcomingList::mirrorCountInto); read by all.
  std::atomic<int32_t> listCount{0};
  // 0 idle; 1-999 list building (10 = build wanted); 1000-1998 database
  // offline, counting up once a tick; 1999 offline locked. Written by the
  // list builder, the background worker, the heartbeat and menu commands;
  // read by all.
  // Signalled: the background worker's idle wait ends when a list is wanted.
  SignalledWord<> buildState{wake};
  // Diagnostics mode ("Test Functions"). Written by the main window; read by
  // the heartbeat and the status texts.
  std::atomic<uint32_t> diagnostics{0};
  // Diagnostics tick counter 0-100. Written by the heartbeat; read by the
  // status texts.
  std::atomic<uint32_t> diagnosticsTick{0};
  // Asks long jobs to stop early. Written by "Stop Building", a repeated
  // window close and the windows that cancel work; cleared by the jobs when
  // they start; read by every long job.
  std::atomic<uint32_t> stopRequest{0};
  // Step of the background worker. Written by the worker; read by the
  // Internals window.
  std::atomic<uint32_t> workPosition{0};
  // Heartbeat ticks left during which a digit key chooses a user / an alt
  // mode. Written by the keyboard handler and the heartbeat; read by the
  // keyboard handler.
  std::atomic<int32_t> userKeyWindow{0};
  std::atomic<int32_t> altKeyWindow{0};
  // Set when the App ends: every scheduler loop and waiting request gives up
  // at once. Written by stopScheduler; read by every loop and wait.
  std::atomic<uint32_t> appEnding{0};
};

// True for the codes of the end of the run (ClosingCode).
constexpr bool isClosingCode(uint32_t code) { return code == kQuitCode || code == kLeavingCode || code == kEndedCode; }

// Sleeps ms clock milliseconds; returns false, early, once the App is ending.
bool napMs(CoreContext& app, uint32_t ms);

// How a wait on the run state ended.
enum class WaitEnd { Ready, TimedOut, AppEnding };

// Waits up to ms clock milliseconds for ready() to hold, waking on every
// change of the run state. ready() is called without any lock held.
template <typename Ready> WaitEnd waitFor(CoreContext& app, uint32_t ms, Ready ready);

// The real time at which ms clock milliseconds from now have passed.
WakeSignal::Deadline deadlineIn(const CoreContext& app, uint32_t ms);
// True once the App is ending.
bool isAppEnding(const CoreContext& app);
// The App's run state (for the waits above, where App is not yet complete).
RunState& runStateOf(CoreContext& app);

// How a post ended.
enum class PostOutcome {
  // The slot was dealt with under the lock, or already held the code. This
  // does not mean that this request is the one in it: a request finding
  // another code there is dropped.
  Settled,
  // The run is ending, the code is the busy code, or the lock could not be
  // had.
  Refused,
};

// Places a request in the command slot. patience below 5 keeps trying while
// the slot lock cannot be taken; from 5 upwards one failure gives up. Each
// wait for a taken slot lasts patience x 8 ms, at most 20 of them.
PostOutcome post(CoreContext& app, SlotCode code, uint32_t argument, uint32_t patience);

// How a request for exclusive use ended.
enum class AccessOutcome {
  Granted,     // the caller now owns the list and the song table
  NotGranted,  // it does not
};

// Asks for exclusive use of the list and the song table under `code`. A
// request that gives up takes its code back out of the slot, so nobody is
// granted it later.
AccessOutcome requestExclusive(CoreContext& app, BusyCode code, uint32_t argument, uint32_t patience);

// For a program that runs one job alone, with no processor thread (the
// command-line verbs): makes `code` the busy code at once when no job holds
// it.
AccessOutcome grantExclusiveNow(CoreContext& app, BusyCode code);
// Gives exclusive use back. Owners call it on every path.
void releaseExclusive(CoreContext& app);
// Gives exclusive use back only while the busy code is still `code`: an owner
// whose code the watchdog freed (and another job may hold now) leaves it be.
void releaseExclusiveIfHeld(CoreContext& app, BusyCode code);

// Takes the pending code out of the slot (remembering it as the last taken
// command) and returns it.
uint32_t takePendingCommand(CoreContext& app);

// One list command processor: moves the pending code into the busy code, then
// either grants exclusive access (20-39) or runs list command 1-19 through
// app.commandHandlers and frees the busy code.
enum class ProcessorRun {
  Done,         // it ran, or found nothing it may take
  AnotherRuns,  // another processor holds the processor lock
};
ProcessorRun runProcessor(CoreContext& app);

template <typename Ready> WaitEnd waitFor(CoreContext& app, uint32_t ms, Ready ready) {
  const WakeSignal::Deadline deadline = deadlineIn(app, ms);
  WakeSignal& wake = runStateOf(app).wake;
  for (;;) {
    const uint64_t seen = wake.generation();
    if (isAppEnding(app)) {
      return WaitEnd::AppEnding;
    }
    if (ready()) {
      return WaitEnd::Ready;
    }
    if (!wake.waitChange(seen, deadline)) {
      return isAppEnding(app) ? WaitEnd::AppEnding : ready() ? WaitEnd::Ready : WaitEnd::TimedOut;
    }
  }
}

}  // namespace plinka
