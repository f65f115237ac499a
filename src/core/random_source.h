// Every random choice of the program: a whole number in 1..n from the
// kernel's generator, or from a small arithmetic generator when the kernel
// gives nothing (that one can also give 0 and n).
#pragma once

#include <atomic>
#include <cstdint>

namespace plinka {
struct CoreContext;
}

namespace plinka {

struct RandomState {
  // The last value drawn (generator) or the fallback's inner value. Kept in
  // the settings record between runs (loadRandomState / storeRandomState);
  // read and written whole by every thread that draws.
  std::atomic<uint32_t> state{0};
  // Tests: 1 makes every draw take the arithmetic fallback.
  std::atomic<uint32_t> forceFallback{0};
  // Tests: while useFixedTick is 1 the fallback reads fixedTick instead of
  // the clock.
  std::atomic<uint32_t> useFixedTick{0};
  std::atomic<uint32_t> fixedTick{0};
};

// A number in 1..n (0..n on the fallback path); 1 for n <= 1.
uint32_t drawRandom(CoreContext& app, uint32_t n);

// Copies randomState from the settings record after it was loaded, and back
// into it before it is saved.
void loadRandomState(CoreContext& app);
void storeRandomState(CoreContext& app);

}  // namespace plinka
