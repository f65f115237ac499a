#include "core/current_state.h"

#include "core/core_context.h"

#include <atomic>
#include <cstddef>
#include <mutex>

namespace plinka {

namespace {

static_assert(offsetof(SettingsRecord, currentState) % std::atomic_ref<uint32_t>::required_alignment == 0);
static_assert(alignof(SettingsRecord) >= std::atomic_ref<uint32_t>::required_alignment);

uint32_t inRange(uint32_t state) { return state < static_cast<uint32_t>(kStateCount) ? state : 0; }

}  // namespace

uint32_t currentStateIndex(const SettingsRecord& s) {
  // atomic_ref needs a non-const object; the load does not change it.
  auto& word = const_cast<uint32_t&>(s.currentState);
  return inRange(std::atomic_ref<uint32_t>(word).load());
}

uint32_t currentStateIndex(const CoreContext& app) { return currentStateIndex(app.settings); }

void storeCurrentState(CoreContext& app, uint32_t state) {
  const std::lock_guard<std::mutex> hold(app.shared.imageLock);
  std::atomic_ref<uint32_t>(app.settings.currentState).store(state);
}

uint32_t currentUser(const CoreContext& app) {
  const uint32_t user = app.shared.stateUser[currentStateIndex(app)].load();
  return user < static_cast<uint32_t>(kUserCount) ? user : 0;
}

uint32_t currentAltMode(const CoreContext& app) { return app.shared.stateAltMode[currentStateIndex(app)].load(); }

void setStateUser(CoreContext& app, uint32_t state, uint32_t user) {
  if (state >= static_cast<uint32_t>(kStateCount))
    return;
  app.shared.stateUser[state].store(user);
  const std::lock_guard<std::mutex> hold(app.shared.imageLock);
  app.settings.stateUser[state] = user;
}

void setStateAltMode(CoreContext& app, uint32_t state, uint32_t mode) {
  if (state >= static_cast<uint32_t>(kStateCount))
    return;
  app.shared.stateAltMode[state].store(mode);
  const std::lock_guard<std::mutex> hold(app.shared.imageLock);
  app.settings.stateAltMode[state] = mode;
}

}  // namespace plinka
