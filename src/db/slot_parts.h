// Walking a large table in parts, one thread each: the walks that touch
// every slot (counting at the open, searching every record) are bound by
// memory and page faults, and go faster side by side on several cores.
// Each part owns its slots and whatever it writes for them; the parts are
// joined before the walk returns.
#pragma once

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

namespace plinka::db::detail {

// Below this many slots per part a thread costs more than it saves.
constexpr uint32_t kSlotsPerPart = 16384;
// More threads than this gain nothing on one memory bus.
constexpr unsigned kMostParts = 4;

// How many parts a walk over `slots` slots takes with up to `threads`
// threads (0 or 1: one part, on the calling thread).
inline unsigned partsFor(uint32_t slots, unsigned threads) {
  return std::max(1u, std::min({threads, kMostParts, slots / kSlotsPerPart}));
}

// The threads this machine offers a walk.
inline unsigned machineThreads() { return std::thread::hardware_concurrency(); }

// Runs walk(part, begin, end) over [first, last) cut into `parts` parts
// whose inner bounds are multiples of `align` (counted from 0); the first
// part runs on the calling thread.
template <class Walk> void walkInParts(uint32_t first, uint32_t last, unsigned parts, uint32_t align, Walk walk) {
  auto boundary = [&](unsigned k) -> uint32_t {
    if (k == 0)
      return first;
    if (k == parts)
      return last;
    const uint64_t at = first + static_cast<uint64_t>(last - first) * k / parts;
    return std::max(first, static_cast<uint32_t>(at / align * align));
  };
  std::vector<std::thread> helpers;
  for (unsigned k = 1; k < parts; ++k)
    helpers.emplace_back([&walk, k, begin = boundary(k), end = boundary(k + 1)] { walk(k, begin, end); });
  walk(0u, boundary(0), boundary(1));
  for (std::thread& helper : helpers)
    helper.join();
}

}  // namespace plinka::db::detail
