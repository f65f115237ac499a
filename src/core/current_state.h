// The current State and its entries of the per-State settings, read and
// written safely from any thread. A State number out of range (a damaged
// settings record) is read as the first State rather than reaching past the
// arrays.
#pragma once

#include "core/settings_record.h"

#include <cstdint>

namespace plinka {
struct CoreContext;
}

namespace plinka {

// currentState of the record, loaded atomically (it lies on a 4-byte
// boundary; the State switch stores it the same way).
uint32_t currentStateIndex(const SettingsRecord& s);
uint32_t currentStateIndex(const CoreContext& app);

// Makes `state` the current one. Only the State switch calls it, under its
// exclusive access.
void storeCurrentState(CoreContext& app, uint32_t state);

// The user whose ratings count in the current State (0-9), and the State's
// alt mode (0 = single user). From the shared twins, not the record.
uint32_t currentUser(const CoreContext& app);
uint32_t currentAltMode(const CoreContext& app);

// Sets the user / the alt mode of State `state` (0-9). The record's own word
// follows the twin, for the readers that still take it from the record;
// those hold a busy code, as does the list builder, the one writer off the
// GUI thread.
void setStateUser(CoreContext& app, uint32_t state, uint32_t user);
void setStateAltMode(CoreContext& app, uint32_t state, uint32_t mode);

// The user of the current State from the record's word. Kept for callers
// not yet moved to currentUser(app).
inline uint32_t currentUser(const SettingsRecord& s) { return s.stateUser[currentStateIndex(s)]; }

}  // namespace plinka
