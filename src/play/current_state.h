// The current State's entries of the per-State settings. A State number out
// of range (a damaged settings record) is read as the first State rather
// than reaching past the arrays.
#pragma once

#include "shell/settings_record.h"

#include <cstdint>

namespace plinka::play {

inline uint32_t currentStateIndex(const SettingsRecord& s) {
  return s.currentState < static_cast<uint32_t>(kStateCount) ? s.currentState : 0;
}

// The user whose ratings count in the current State.
inline uint32_t currentUser(const SettingsRecord& s) { return s.stateUser[currentStateIndex(s)]; }

}  // namespace plinka::play
