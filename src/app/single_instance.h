// Only one player runs at a time: the first start holds the instance lock for
// its whole life, and a later start that finds it held ends silently. The
// Media Filler takes no lock, so it runs beside a player.
#pragma once

#include "platform/instance_lock.h"

#include <string>

namespace plinka {

// True when this process now holds the lock at lockPath (see
// platform::instanceLockPath()); false when another player holds it.
bool claimSingleInstance(platform::InstanceLock& lock, const std::string& lockPath);

}  // namespace plinka
