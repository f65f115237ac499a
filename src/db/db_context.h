// The song table state of one player, on top of the core context.
#pragma once

#include "core/core_context.h"
#include "db/copies.h"
#include "db/filename_index.h"
#include "db/table.h"

#include <atomic>
#include <cstdint>

namespace plinka {

struct DbContext : CoreContext {
  // The song table and the buffer index table. Used only by the holder of the
  // busy code (see the run state), never by two threads at once.
  db::TableHandle songTable;
  db::TableHandle bufferIndexTable;
  // The song table's FileNames by hash, built by an import when it opens the
  // table and cleared when it closes it; written and read only by the thread
  // holding the import's busy code.
  db::FileNameIndex importIndex;
  // The local and network copies of the song table.
  db::CopiesState copies;
  // Songs in use in the song table, kept by whoever opens or changes it (the
  // status texts must not open the table themselves). Read by the status
  // texts.
  std::atomic<uint32_t> songsInUse{0};
};

}  // namespace plinka
