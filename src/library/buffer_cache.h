// The buffer cache of network mode: after a list is built, its upcoming songs
// are copied from the share to the local disk, into a fixed number of cache
// slots reused least recently used first, and the player plays the local
// copy when there is one. The slots are the records of a small index table
// ("LocFiles.cvf") beside the cache's "Media" folder, under the user's cache
// folder: field 1 the song's path on the share, field 3 the slot's stamp
// (0: empty). The cached file mirrors the song's path below "Media".
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace plinka {
struct LibraryContext;
}

namespace plinka::library {

// A cache slot's stamp: a song met again gains this much per run, up to the
// ceiling; when no slot can be freed every stamp above the floor loses the
// drop.
constexpr uint32_t kStampGain = 100;
constexpr uint32_t kStampCeiling = 40000000;
constexpr uint32_t kStampDropAbove = 5000000;
constexpr uint32_t kStampDrop = 1000;
// The fewest slots the cache has.
constexpr uint32_t kFewestCacheSlots = 50;
// Lists of this many songs or fewer are never buffered.
constexpr int32_t kShortestBufferedList = 5;
// Failures (each success takes one back) after which a run gives up.
constexpr uint32_t kMostCopyFailures = 10;

// Where the cache stands, as the status line tells it.
enum class BufferStage : uint32_t {
  Error = 0,            // no cache (off, not opened, or it failed)
  GaveUp = 1,           // the last run met too many failures
  Buffered = 10,        // every song of the list is cached
  PartlyBuffered = 11,  // the cache is too small for the whole list
  Unbuffered = 12,      // the player played a song that is not cached
  Buffering = 50,       // a run is copying
};

struct BufferCacheState {
  // The stage. Written by the buffer cache, the player and the status texts
  // (a notice shown, a stage settled); read by the background worker, the
  // list builder, the Options form, the State switch and the status texts.
  std::atomic<BufferStage> stage{BufferStage::Error};
  // 1 while a buffering run goes on: taken with an exchange at the start of
  // a run and cleared at its end (by the run's thread, the background worker
  // or a job thread), so two runs never overlap.
  std::atomic<uint32_t> running{0};
  // 1 from start-up, when the cache was opened then, until the first
  // buffering run after it ends. Set by the start-up (main thread, before
  // the run's thread starts); taken by exchange by the run that ends. That
  // run starts the ID worker and never the shutdown after a build: the
  // list it copied was loaded, not built.
  std::atomic<uint32_t> startUpBuffering{0};
  // Serialises the buffer cache's uses of its index table: a run, and the
  // opening or emptying of the cache (Options thread, start-up).
  std::mutex lock;
};

// "Media/" and "LocFiles.cvf" under the cache folder; empty when the program
// has no cache folder.
std::string cacheMediaFolder(const LibraryContext& app);
std::string bufferIndexPath(const LibraryContext& app);

// Where the song at `source` is cached: the media folder followed by the
// source path less its first component (the leading '/' of an absolute
// path, or "//host" of a network path becomes "host/..."). False for a path
// that could lead out of the media folder (an empty, "." or ".." component)
// or when there is no cache folder.
bool cachePathFor(const LibraryContext& app, const std::string& source, std::string& out);

// The file the player opens for a song: its cached copy while the cache is
// running and the copy is there, else the song's own path.
std::string playablePath(const LibraryContext& app, const std::string& source);

// Opens the cache (Buffer on: the index table made or sized to Buffer Size,
// then a buffering run on a thread of its own) or, Buffer off, empties it:
// every cached file and the index table are deleted. The buffer run's thread
// is joined by the next open and at the App's end (see installBufferCache).
void openCache(LibraryContext& app);

// At start, once the list is loaded: with Buffer on, the cache is opened
// when the list holds more than five songs, and the ID worker starts when
// that first run ends; otherwise the cache counts as buffered (Buffer on),
// so that the next list starts a run, and the ID worker starts now.
void startCache(LibraryContext& app);

// One buffering run over the upcoming list (also run by the background
// worker when the list changed).
void bufferingRun(LibraryContext& app);

// Hooks the buffering run into the background worker.
void installBufferCache(LibraryContext& app);

}  // namespace plinka::library
