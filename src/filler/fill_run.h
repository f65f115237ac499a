// The fill run: songs chosen by the list builder, exactly as it would choose
// the next song to play, are copied one at a time into the fill directory
// until the size budget is used up or a copy fails. The run reports its
// progress as the filler window's title; each copy may get a running number
// in front of its name for players that play in name order; between copies
// the user moves on along the State's alt-mode pattern.
//
// How a run ends: the budget reached is the normal end, and so is a full
// medium when there is no budget ("Fill"). A full medium with a budget, or
// any other failed copy, ends the run with a message naming the file, and
// what was copied stays. Every copy is made under a temporary name and
// renamed once whole (filler/song_copy.h).
#pragma once

#include "filler/song_copy.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace plinka {
struct PlayContext;
}

namespace plinka::filler {

// The song table's local copy in network mode while the filler runs, so the
// player's own copy beside it is not disturbed.
constexpr const char* kFillTableCopyName = "Fill.cvf";
// After a pass without a choice the builder is asked again this much later.
constexpr uint32_t kBuildRetryMs = 500;
// Passes in a row that choose nothing after which a fill gives up. Such
// passes are normal while songs build up credit, but a fill whose filters
// let no song through would otherwise ask for ever.
constexpr uint32_t kPassesWithoutChoice = 50;
// The running number goes back to 000 once it has passed this.
constexpr int32_t kHighestFillNumber = 1000;
constexpr const char* kRemainingTitleText = "MB to go, ";
constexpr const char* kNoFillFolder = "Choose the folder to fill first.";

// The running number for the next copy, from the counter (the run state's
// list count, which in the filler process holds no list): a counter above
// 1000 (or below 0) starts again at 0; the number is written with at least
// three digits ("000" ... "999", "1000"), and the counter becomes the
// number + 1.
std::string takeFillNumber(std::atomic<int32_t>& counter);

// The title after a copy: the remaining budget in whole megabytes, "MB to
// go, " and the copy's name.
std::string remainingTitle(uint64_t remainingKb, const std::string& name);

// After each copy, on the run's thread.
struct FillProgress {
  uint32_t copied = 0;       // songs copied so far, this one included
  std::string source;        // the song's path
  std::string target;        // where it went
  int64_t sizeKb = -1;       // its size in whole KB; -1 when it could not be looked at
  bool budgeted = false;     // the run has a budget
  uint64_t remainingKb = 0;  // what is left of the budget
};

using SongCopier = std::function<CopyResult(const std::string& source, const std::string& target,
                                            const std::string& temp, const std::atomic<uint32_t>* stop)>;

struct FillJob {
  std::string folder;     // the fill directory
  uint64_t budgetKb = 0;  // what may be copied, in KB; 0 for no budget (until the medium is full)
  bool addNumber = true;
  // Passes in a row without a choice after which the run gives up (at
  // least one pass is made).
  uint32_t passesWithoutChoice = kPassesWithoutChoice;
  // Copies one song (copySong unless a test puts a stand-in here).
  SongCopier copy;
  // Told of each copy; may be empty.
  std::function<void(const FillProgress&)> onCopied;
};

enum class FillEnd {
  BudgetReached,  // the normal end with a budget
  MediumFull,     // the medium is full: the normal end without a budget, else a failure
  CopyFailed,     // a song could not be read or written
  Stopped,        // asked to stop (the window closed)
  NoSongs,        // the song table cannot be built from (fewer songs than a list needs, no table)
  NoChoice,       // no song passed the builder's tests in the passes allowed
};

struct FillOutcome {
  FillEnd end = FillEnd::Stopped;
  uint32_t copied = 0;
  uint64_t copiedKb = 0;
  // What the user is told; empty for the normal ends.
  std::string message;
};

// Runs a fill to its end on the calling thread: takes exclusive use of the
// song table for each build pass itself (the filler runs no other worker).
// `stop` ends it early: between copies, during a copy (its temporary file is
// removed) and while the builder is waited for.
FillOutcome runFill(PlayContext& app, const FillJob& job, const std::atomic<uint32_t>& stop);

// A fill on a thread of its own.
class FillThread {
public:
  FillThread() = default;
  ~FillThread() { stopAndJoin(); }
  FillThread(const FillThread&) = delete;
  FillThread& operator=(const FillThread&) = delete;

  // Starts a run unless one is going; `done` is called with its outcome on
  // the run's thread as its last act. False when a run is already going.
  bool start(PlayContext& app, FillJob job, std::function<void(const FillOutcome&)> done);
  // Asks the run to stop, without waiting for it.
  void requestStop();
  // Asks the run to stop and waits for its thread to end.
  void stopAndJoin();
  // True from start() until the run's thread has ended (or been joined).
  bool running() const { return running_.load() != 0; }

private:
  // Set by start() and read by requestStop(), both on the thread that owns
  // this object (the window's or plinkactl's main thread); never by the run.
  PlayContext* app_ = nullptr;
  std::thread thread_;
  // Set by requestStop (GUI or main thread); read by the run.
  std::atomic<uint32_t> stop_{0};
  // Set by start(), cleared by the run's thread as it ends; read by anyone.
  std::atomic<uint32_t> running_{0};
};

}  // namespace plinka::filler
