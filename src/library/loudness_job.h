// The loudness job: finds the loudness of the songs whose Loudness field is
// still 0, one song at a time, the upcoming list's songs first. A song with
// ReplayGain tags takes its level from them; any other song is measured
// (decoded as fast as the machine allows, at the lowest priority). The song
// table is held only for the look-ups and the writes, never while a file is
// read, and under a busy code of its own: a busy table makes the job wait,
// never the player. Results are written in batches through the song table's
// write path (in network mode, under the network lock, a few dozen at a
// time), never through the deferred edit queue.
#pragma once

#include "platform/loudness_meter.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace plinka {
struct LibraryContext;
}

namespace plinka::library {

// Results written together: locally, and to a network song table.
constexpr size_t kLoudnessLocalBatch = 4;
constexpr size_t kLoudnessNetworkBatch = 32;
// Patience of the job's requests for exclusive access, and its wait after a
// refusal (clock ms).
constexpr uint32_t kLoudnessPatience = 20;
constexpr uint32_t kLoudnessRefusedWaitMs = 5000;
// After a walk found nothing left to measure, the background worker starts
// the job again only after this long (clock ms), to look for new songs.
constexpr uint32_t kLoudnessRestMs = 600000;
// The list must hold this many songs before the worker starts the job.
constexpr int32_t kLoudnessShortestList = 20;

// Measures one file, as platform::measureLoudness does.
using LoudnessMeasurer = std::function<platform::LoudnessResult(const char* path, const std::atomic<uint32_t>* cancel)>;

struct LoudnessJobState {
  // 1 while the job runs. Taken by exchange by the job; read by the
  // background worker, the status texts and the Internals window.
  std::atomic<uint32_t> running{0};
  // Songs in the table, and of them those whose loudness is known, as the
  // job last counted them (its walk, and each result since). Written by the
  // job; read by the Internals window and plinkactl.
  std::atomic<uint32_t> songs{0};
  std::atomic<uint32_t> known{0};
  // The median gain of the songs with a level, in hundredths of a dB; the
  // gain of a song without one. Written by the job (and at start-up); read by
  // the player at every start.
  std::atomic<int32_t> medianGainCenti{-600};
  // Clock time (ms) before which the worker does not start the job again.
  // Written by the job; read by the background worker.
  std::atomic<uint64_t> restUntil{0};
  // Measures a file (the system's meter when empty). Set before threads
  // start; tests put a stand-in here.
  LoudnessMeasurer measure;
};

struct LoudnessRun {
  // Measure every song again, not only those never measured.
  bool all = false;
  // Run alone in a program with no processor thread (plinkactl): exclusive
  // use is taken at once rather than asked for.
  bool alone = false;
  // Called after each song with its file, the songs done and the songs the
  // run means to do.
  std::function<void(const std::string& file, uint32_t done, uint32_t total)> progress;
};

struct LoudnessOutcome {
  uint32_t measured = 0;  // songs given a value
  uint32_t failed = 0;    // of them, files that could not be decoded
  bool tableOpened = true;
  bool written = true;  // every batch reached the song table
};

// One run of the job on the calling thread. Returns at once when a run is
// going on already.
LoudnessOutcome runLoudnessJob(LibraryContext& app, const LoudnessRun& run = {});

// Starts the job on a job thread, unless it runs, levelling is off, or the
// list holds fewer than kLoudnessShortestList songs.
void startLoudnessJob(LibraryContext& app);

// The gain of a song without a level, as the player uses it.
double unmeasuredGain(const LibraryContext& app);

// The text of the Internals window: "Loudness: 1,234 of 20,000 measured", or
// before the job has counted: "Loudness: not counted yet" (while levelling is
// off: "Loudness: not measured while levelling is off").
std::string loudnessProgressText(const LibraryContext& app);

}  // namespace plinka::library
