#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace plinka::platform {

uint64_t Clock::tickMs() const {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  const uint64_t ms = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
  return ms * speed.load();
}

std::chrono::microseconds Clock::realSpan(uint32_t ms) const {
  const uint32_t k = speed.load() == 0 ? 1 : speed.load();
  // Keep sub-millisecond precision so a sped-up 1 ms sleep still yields.
  return std::chrono::microseconds(uint64_t(ms) * 1000 / k);
}

void Clock::sleepMs(uint32_t ms) const { std::this_thread::sleep_for(realSpan(ms)); }

uint32_t fileTimeHighWord() {
  // Seconds between 1601-01-01 and 1970-01-01.
  constexpr uint64_t epochGap = 11644473600ull;
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const uint64_t units = (static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()) +
                          epochGap * 1000000ull) *
                         10ull;
  return static_cast<uint32_t>(units >> 32);
}

}  // namespace plinka::platform
