#include "core/random_source.h"

#include "core/core_context.h"
#include "platform/random_bytes.h"

namespace plinka {

namespace {

uint32_t fallbackTick(CoreContext& app) {
  if (app.random.useFixedTick.load() != 0) {
    return app.random.fixedTick.load();
  }
  return static_cast<uint32_t>(app.clock.tickMs());
}

// The arithmetic generator: a halved square of the last state plus a few
// bits of the tick count. Gives 0..n.
uint32_t drawFallback(CoreContext& app, uint32_t n) {
  const uint32_t tick = fallbackTick(app);
  const uint32_t last = app.random.state.load();
  uint32_t s = 0;
  if (last != 0) {
    s = ((last * last) & 0xFFFFu) >> 1;
    s = s + (tick & 0xFFu);
  } else {
    s = (tick * tick) & 0xFFFFu;
  }
  app.random.state.store(s);
  uint32_t v = (s * n) >> 12;
  // Subtracting n while v > n, in one step.
  if (v > n) {
    v = (v - 1) % n + 1;
  }
  return v;
}

}  // namespace

uint32_t drawRandom(CoreContext& app, uint32_t n) {
  if (n <= 1) {
    return 1;
  }
  uint32_t bytes = 0;
  if (app.random.forceFallback.load() != 0 || !platform::randomBytes(&bytes, sizeof bytes)) {
    return drawFallback(app, n);
  }
  const uint32_t v = bytes % n + 1;
  app.random.state.store(v);
  return v;
}

void loadRandomState(CoreContext& app) { app.random.state.store(app.settings.randomState); }

void storeRandomState(CoreContext& app) { app.settings.randomState = app.random.state.load(); }

}  // namespace plinka
