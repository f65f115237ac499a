// The library state of one player (edits, identities, tags, covers), on top
// of the song table state.
#pragma once

#include "db/db_context.h"
#include "library/buffer_cache.h"
#include "library/cover_art.h"
#include "library/edit_queue.h"
#include "library/id_worker.h"
#include "library/loudness_job.h"
#include "library/tag_reader.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace plinka {

struct LibraryContext : DbContext {
  // The deferred edit queue. Written by its enqueuers (Auto Rate, the ID
  // worker) and the cache writer under the queue's own lock; its count is
  // read by anyone (see EditQueue).
  library::EditQueue editQueue;
  // The ID worker's checksum (set before threads start; read by the worker).
  // Its hash count is shared.hashStat.
  library::IdWorkerState idWorker;
  // The loudness job's run flag, counts and median gain (see
  // LoudnessJobState for who writes and reads each).
  library::LoudnessJobState loudness;

  // The tag reader's result buffers and busy flag (taken by exchange).
  library::TagReader tagReader;
  // The cover picture of the current song and what its search found.
  library::CoverState cover;
  // The buffer cache's stage, run flags and index lock.
  library::BufferCacheState bufferCache;

  // What the library asks of the playing layer above it, which owns the
  // upcoming list and the player. Set once by that layer before any thread
  // starts; empty in a context without it (nothing listed, nothing playing).
  // The FileNames of the upcoming list's rows, in list order.
  std::function<std::vector<std::string>()> listedFiles;
  // The file of the song playing now (empty when none).
  std::function<std::string()> currentSongFile;
  // The media type of the song playing now (kMediaNone when none). Written
  // by the player above; read by the cover loader, the heartbeat and the
  // front end.
  std::atomic<uint32_t> currentMediaType{0};
};

}  // namespace plinka
