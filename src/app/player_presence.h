// A player on a data folder: while one runs there (the desktop player, or
// plinkactl's terminal player) it holds the folder's player lock, and the
// settings file there is its alone. Other programs on the folder (a filler,
// plinkactl's other verbs) work beside it, leave the settings file to it,
// and refuse what only a player may do there.
#pragma once

#include "platform/instance_lock.h"

#include <string>

namespace plinka {

struct Folders;

// What a second player, or a verb that needs the folder to itself, is told.
constexpr char kPlayerRunningText[] = "the player is running on this data folder";

// The hidden lock file in the data folder.
std::string playerLockPath(const Folders& folders);

// True when this process now holds the folder's player lock; false when
// another player holds it (or the folder cannot hold the lock file).
bool claimDataFolder(platform::InstanceLock& lock, const Folders& folders);

// True when a player holds the folder's lock. This process's own claim
// counts too, so only a process that is no player asks.
bool playerRunsOn(const Folders& folders);

}  // namespace plinka
