// The heartbeat: one tick of the scheduler thread that starts the list
// command processor and the player-side jobs, frees a busy code held too
// long, counts offline mode down and turns the quit request into leaving.
#pragma once

#include <cstdint>

namespace plinka {

struct App;

// Heartbeat sleeps (clock milliseconds): short while a request waits with the
// player running and nothing busy, so a user command starts quickly.
constexpr uint32_t kHeartbeatFastMs = 50;
constexpr uint32_t kHeartbeatIdleMs = 1000;

// How long to sleep before the next tick.
uint32_t heartbeatInterval(const App& app);

// Step 4 of a tick, also taken between ticks as soon as a request is posted
// or a job frees the busy code: with a request pending, no processor running
// and no job busy, turns the quit into leaving or starts a list command
// processor. True when it did either. Counts nothing, so the watchdog and
// the other counters still advance once per whole tick.
bool startProcessorIfDue(App& app);

// One tick: watchdog, key windows, starting the processor or turning the quit
// into leaving, the player-side jobs and offline counting, diagnostics.
void heartbeatTick(App& app);

}  // namespace plinka
