// Cryptographically random bytes from the operating system.
#pragma once

#include <cstddef>

namespace plinka::platform {

// Fills out with n random bytes from the kernel's generator. False when the
// generator cannot give them all (the caller then uses its own fallback).
bool randomBytes(void* out, size_t n);

}  // namespace plinka::platform
