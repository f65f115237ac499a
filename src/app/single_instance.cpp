#include "app/single_instance.h"

namespace plinka {

bool claimSingleInstance(platform::InstanceLock& lock, const std::string& lockPath) { return lock.acquire(lockPath); }

}  // namespace plinka
