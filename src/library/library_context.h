// The library state of one player (edits, identities, tags, covers), on top
// of the song table state.
#pragma once

#include "db/db_context.h"
#include "library/cover_art.h"
#include "library/edit_queue.h"
#include "library/id_worker.h"
#include "library/tag_reader.h"

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
  // Its running flag is jobs.idWorkerRunning, its hash count shared.hashStat.
  library::IdWorkerState idWorker;

  // The tag reader's result buffers and busy flag (taken by exchange).
  library::TagReader tagReader;
  // The cover picture of the current song and what its search found.
  library::CoverState cover;

  // What the library asks of the playing layer above it, which owns the
  // upcoming list and the player. Set once by that layer before any thread
  // starts; empty in a context without it (nothing listed, nothing playing).
  // The FileNames of the upcoming list's rows, in list order.
  std::function<std::vector<std::string>()> listedFiles;
  // The file of the song playing now (empty when none).
  std::function<std::string()> currentSongFile;
};

}  // namespace plinka
