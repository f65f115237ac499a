// The ID worker: a short-lived background thread that gives songs their ID
// (the checksum of the file's contents) and later re-checks stored IDs, one
// record at a time. It holds the song table only for each look-up, never
// while a file is read, and writes nothing itself: the IDs it finds go
// through the deferred edit queue.
//
// Its hash count (hashStat, kept in the settings) steers it: each song found
// with an ID raises it by 1, each one without lowers it by 10. Below 51 the
// worker walks the upcoming list; from 50 to 500 it checks records drawn at
// random; from 1000 on it walks the whole table (hash count - 1000 is the
// record) and re-computes the stored IDs.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace plinka {
struct LibraryContext;
}

namespace plinka::library {

// The hash count below which the worker walks the upcoming list.
constexpr uint32_t kHashListWalkBelow = 51;
// The random checks go on while the hash count lies in this range.
constexpr uint32_t kHashRandomFrom = 50;
constexpr uint32_t kHashRandomTo = 500;
// From this hash count on, the worker verifies stored IDs record by record.
constexpr uint32_t kHashVerifyFrom = 1000;
// Each song found without an ID lowers the hash count by this much.
constexpr uint32_t kHashNoIdStep = 10;
// The worker starts only for a list of at least this many songs; the random
// checks and the verification go on while it holds at least the second.
constexpr int32_t kIdWorkerShortestList = 10;
constexpr int32_t kIdWorkerKeepsOnList = 20;
// Patience of its requests for exclusive access.
constexpr uint32_t kIdWorkerPatience = 50;
// After the list walk, the local copy of a network song table is refreshed
// once this many more read-opens have passed (see db::kRefreshThreshold).
constexpr uint32_t kRefreshCounterAfterListWalk = 100;

struct IdWorkerState {
  // 1 while the ID worker runs. Written by the ID worker; read by the
  // heartbeat, the background worker and the status texts.
  std::atomic<uint32_t> running{0};
  // Computes a file's checksum (fileChecksum when empty). Set before threads
  // start; tests put a stand-in here to look at what the worker holds while
  // a file is read.
  std::function<uint32_t(const char* path)> checksum;
};

// Starts the worker on a thread of its own, unless it is running, a job holds
// the song table, or the list holds fewer than kIdWorkerShortestList songs.
void startIdWorker(LibraryContext& app);

// One worker run on the calling thread, under the same conditions.
void runIdWorker(LibraryContext& app);

// Puts startIdWorker into the background worker's hooks.
void installIdWorker(LibraryContext& app);

}  // namespace plinka::library
