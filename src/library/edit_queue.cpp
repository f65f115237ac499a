#include "library/edit_queue.h"

namespace plinka::library {

// Placeholder until the queue and its writer exist: the edit is dropped.
void enqueueEdit(App&, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}

}  // namespace plinka::library
