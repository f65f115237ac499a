// Changing the listening State: the old State's upcoming list is saved to its
// list file and the new State's saved list takes its place.
//
// Choices (the "State" menu, the Options window) only record the State
// wanted; one switcher at a time carries them out, under exclusive access,
// and takes the newest choice each time, so two quick choices end in the
// second State and never run two changes of the list at once.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace plinka {

struct App;

// Patience of a State change's request for exclusive access.
constexpr uint32_t kStateSwitchPatience = 10;

// No State choice waiting.
constexpr int32_t kNoStateWanted = -1;

struct StateSwitchState {
  // The newest State chosen and not yet carried out, kNoStateWanted when
  // none. Written by the choosers (GUI thread); exchanged by the switcher.
  std::atomic<int32_t> wanted{kNoStateWanted};
  // 1 while a switcher runs. Taken by exchange by whoever starts one; freed
  // by the switcher when nothing is left to do.
  std::atomic<uint32_t> running{0};
  // Woken each time a switcher frees `running`, for those that wait until
  // every choice has been carried out (awaitStateSwitches).
  std::mutex idleMutex;
  std::condition_variable idle;
};

// Records State `newState` (0-9) as the one wanted and makes sure a switcher
// carries it out on a job thread. Returns at once; an index out of range is
// ignored.
void requestStateSwitch(App& app, uint32_t newState);

// As requestStateSwitch, but the switcher runs on the calling thread, unless
// one runs already (which then carries the choice out). Blocks while it waits
// for exclusive access: run it on a job thread.
void switchState(App& app, uint32_t newState);

// Returns once every State chosen so far has been carried out (or has
// lapsed): waits for a switcher that runs on another thread, and carries out
// on the calling thread a choice that no switcher has taken. Blocks: run it
// on a job thread.
void awaitStateSwitches(App& app);

// The switcher: while a choice waits, takes exclusive access, makes the
// newest choice the current State (nothing for the current State), and
// gives the access back. Returns at once when another switcher runs. A
// choice for which exclusive access is refused (the run ends) or not
// granted in time lapses.
void runStateSwitcher(App& app);

}  // namespace plinka
