// What the machine offers in memory, for limits that must fit in it.
#pragma once

#include <cstdint>

namespace plinka::platform {

// Bytes of physical memory; 0 when the system does not say.
uint64_t physicalMemoryBytes();

}  // namespace plinka::platform
