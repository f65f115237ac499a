// Monotonic milliseconds and sleeping, with a speed factor so that tests can
// run time faster: at speed k a sleep of t ms takes t/k real ms and the tick
// count advances k times as fast.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace plinka::platform {

class Clock {
public:
  // Milliseconds since an arbitrary start, scaled by the speed factor.
  uint64_t tickMs() const;
  void sleepMs(uint32_t ms) const;
  // The real time that ms clock milliseconds last (what sleepMs(ms) sleeps),
  // for waits that must also wake on an event.
  std::chrono::microseconds realSpan(uint32_t ms) const;

  // Written by tests before threads start; read by every sleeping thread.
  std::atomic<uint32_t> speed{1};
};

// FILETIME-style high word of the current time: (100 ns units since 1601) >> 32.
uint32_t fileTimeHighWord();

}  // namespace plinka::platform
