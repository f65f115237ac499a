// The deferred edit queue: record changes (Auto Rate's Scores, new IDs) kept
// in memory and written in one batch later by the cache writer, which holds
// the database exclusively. An edit whose record has meanwhile been given to
// another song (another ID) is dropped.
#pragma once

#include <cstdint>

namespace plinka {
struct App;
}

namespace plinka::library {

// Queues a change of `field` of record `record` to `newValue`; `id` is the
// song's ID when the change was made.
void enqueueEdit(App& app, uint32_t record, uint32_t field, uint32_t newValue, uint32_t oldValue, uint32_t id);

}  // namespace plinka::library
