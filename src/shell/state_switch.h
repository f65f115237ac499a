// Changing the listening State: the old State's upcoming list is saved to its
// list file and the new State's saved list takes its place.
#pragma once

#include <cstdint>

namespace plinka {

struct App;

// Exclusive-access code and patience of a State change.
constexpr uint32_t kStateSwitchCode = 37;
constexpr uint32_t kStateSwitchPatience = 10;

// Makes State `newState` (0-9) the current one: under exclusive access
// writes the list to the old State's list file, empties the list and reads
// the new State's list file into it. Nothing happens for the current State,
// an index out of range, or when exclusive access is not granted. Blocks
// while it waits for exclusive access: run it on a job thread.
void switchState(App& app, uint32_t newState);

}  // namespace plinka
