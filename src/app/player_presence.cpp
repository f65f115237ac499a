#include "app/player_presence.h"

#include "app/app.h"

namespace plinka {

namespace {

constexpr char kPlayerLockName[] = ".player.lock";

}  // namespace

std::string playerLockPath(const Folders& folders) { return folders.data + kPlayerLockName; }

bool claimDataFolder(platform::InstanceLock& lock, const Folders& folders) {
  return lock.acquire(playerLockPath(folders));
}

bool playerRunsOn(const Folders& folders) { return platform::lockHeldElsewhere(playerLockPath(folders)); }

}  // namespace plinka
