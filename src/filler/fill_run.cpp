#include "filler/fill_run.h"

#include "core/busy_code.h"
#include "core/current_state.h"
#include "core/exclusive_access.h"
#include "db/copies.h"
#include "db/song_table_open.h"
#include "db/table.h"
#include "filler/filler_settings.h"
#include "platform/files.h"
#include "play/list_builder.h"
#include "play/play_context.h"
#include "text/text.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace plinka::filler {

namespace {

constexpr uint64_t kBytesPerKb = 1024;
constexpr uint64_t kKbPerMb = 1024;

void showTitle(PlayContext& app, const std::string& title) {
  if (app.ui)
    app.ui->setWindowTitle(WindowKind::Filler, title);
}

// The one-shot message the last pass left, emptied for the next pass.
std::string takePassMessage(PlayContext& app) {
  std::lock_guard lock(app.status.messageMutex);
  std::string message;
  message.swap(app.status.message);
  return message;
}

uint32_t songsInUse(PlayContext& app) {
  const db::SongTableOpen open(app, db::SongTableOpen::Mode::Reading);
  return open ? db::countInUse(app.songTable) : 0;
}

// The fill directory followed by '/' (once).
std::string folderPrefix(const std::string& folder) {
  if (!folder.empty() && folder.back() == '/')
    return folder;
  return folder + "/";
}

std::string systemError(int error) { return error != 0 ? std::string(std::strerror(error)) : std::string(); }

// The message for a copy that failed, naming the file.
std::string copyFailureMessage(const CopyResult& r, const std::string& source, const std::string& target,
                               uint32_t copied) {
  std::string text;
  switch (r.end) {
  case CopyEnd::MediumFull:
    text = "The fill directory is full: \"" + target + "\" could not be copied.";
    break;
  case CopyEnd::SourceFailed:
    text = "The song \"" + source + "\" could not be read (" + systemError(r.error) + ").";
    break;
  default:
    text = "\"" + target + "\" could not be written (" + systemError(r.error) + ").";
    break;
  }
  return text + " The fill stopped after " + std::to_string(copied) + (copied == 1 ? " song." : " songs.");
}

// The fill table copy is the filler's own, made only in network mode; it
// goes when the run ends (never the song table itself, should the user keep
// one under that name).
void removeFillTableCopy(PlayContext& app) {
  if (app.settings.networkMode == 0 || app.copies.localPath == app.settings.databasePath)
    return;
  platform::removeFile(app.copies.localPath);
  platform::removeFile(app.copies.localPath + db::kBackupSuffix);
}

enum class Choice { Chosen, Stopped, Unusable, NoneChosen };

// Asks the builder for the next song until it hands one over. Between
// passes that chose nothing it waits kBuildRetryMs (or less: a stop wakes
// it). Unusable or NoneChosen, with `message` set, when the song table
// cannot be used or the passes allowed have gone by.
Choice chooseSong(PlayContext& app, const FillJob& job, const std::atomic<uint32_t>& stop, std::string& message) {
  app.builder.retries.store(0);
  for (uint32_t fruitless = 0;;) {
    if (stop.load() != 0)
      return Choice::Stopped;
    // A pass that does not run (another holds the builder) must not leave
    // the last choice's state behind.
    app.run.buildState.store(kBuildWanted);
    {
      const ExclusiveAccess access = ExclusiveAccess::grantNow(app, BusyCode::ListBuild);
      if (access)
        play::buildPass(app);
    }
    if (app.run.buildState.load() == play::kBuiltForFiller)
      return Choice::Chosen;
    const std::string passMessage = takePassMessage(app);
    // A table another program keeps busy (the player writing, an import) is
    // waited for like a pass that chose nothing.
    const bool busy = app.songTable.refusal == db::OpenRefusal::Busy;
    if (passMessage == play::kNoFileSelected || (passMessage == play::kCannotOpenList && !busy)) {
      message = passMessage + " (" + app.settings.databasePath + ")";
      return Choice::Unusable;
    }
    if (app.run.buildState.load() >= kOfflineFirst) {
      message = "The database is offline.";
      return Choice::Unusable;
    }
    if (++fruitless >= job.passesWithoutChoice) {
      message = "No song passed the tests in " + std::to_string(job.passesWithoutChoice) +
                " passes in a row (filtered out, not yet ripe, or Scores of 0).";
      return Choice::NoneChosen;
    }
    if (waitFor(app, kBuildRetryMs, [&stop] { return stop.load() != 0; }) == WaitEnd::AppEnding)
      return Choice::Stopped;
  }
}

FillOutcome fill(PlayContext& app, const FillJob& job, const std::atomic<uint32_t>& stop) {
  FillOutcome outcome;
  const std::string prefix = folderPrefix(job.folder);
  const std::string temp = prefix + kCopyTempName;
  const bool budgeted = job.budgetKb != 0;
  uint64_t remainingKb = job.budgetKb;

  if (job.folder.empty()) {
    outcome.end = FillEnd::CopyFailed;
    outcome.message = kNoFillFolder;
    return outcome;
  }
  if (songsInUse(app) < play::kFewestSongsToBuild) {
    outcome.end = FillEnd::NoSongs;
    outcome.message = "The song table holds fewer than " + std::to_string(play::kFewestSongsToBuild) +
                      " songs; there is nothing to fill with.";
    return outcome;
  }

  for (;;) {
    std::string failure;
    const Choice choice = chooseSong(app, job, stop, failure);
    if (choice == Choice::Stopped) {
      outcome.end = FillEnd::Stopped;
      return outcome;
    }
    if (choice != Choice::Chosen) {
      outcome.end = choice == Choice::NoneChosen ? FillEnd::NoChoice : FillEnd::NoSongs;
      outcome.message = failure;
      return outcome;
    }

    // Not chosen again next time.
    const std::string source = app.builder.chosenFile;
    text::copy(app.builder.lastListedFile, app.builder.chosenFile);
    char name[sizeof app.builder.chosenFile];
    text::lastComponent(name, sizeof name, source.c_str());
    std::string targetName = name;
    if (job.addNumber)
      targetName = takeFillNumber(app.run.listCount) + " " + targetName;
    const std::string target = prefix + targetName;

    const CopyResult copied = job.copy ? job.copy(source, target, temp, &stop) : copySong(source, target, temp, &stop);
    if (copied.end == CopyEnd::Stopped) {
      outcome.end = FillEnd::Stopped;
      return outcome;
    }
    if (copied.end != CopyEnd::Copied) {
      outcome.end = copied.end == CopyEnd::MediumFull ? FillEnd::MediumFull : FillEnd::CopyFailed;
      // Without a budget a full medium is what the run was for.
      if (copied.end != CopyEnd::MediumFull || budgeted)
        outcome.message = copyFailureMessage(copied, source, target, outcome.copied);
      return outcome;
    }

    ++outcome.copied;
    const int64_t bytes = platform::fileSize(target);
    const int64_t sizeKb = bytes < 0 ? -1 : static_cast<int64_t>(static_cast<uint64_t>(bytes) / kBytesPerKb);
    if (sizeKb > 0)
      outcome.copiedKb += static_cast<uint64_t>(sizeKb);
    bool budgetReached = false;
    if (budgeted) {
      if (sizeKb < 0) {
        showTitle(app, targetName);
      } else if (static_cast<uint64_t>(sizeKb) >= remainingKb) {
        // This copy stays, although it goes past the budget.
        budgetReached = true;
        remainingKb = 0;
      } else {
        remainingKb -= static_cast<uint64_t>(sizeKb);
        showTitle(app, remainingTitle(remainingKb, targetName));
      }
    }
    if (job.onCopied) {
      FillProgress progress;
      progress.copied = outcome.copied;
      progress.source = source;
      progress.target = target;
      progress.sizeKb = sizeKb;
      progress.budgeted = budgeted;
      progress.remainingKb = remainingKb;
      job.onCopied(progress);
    }
    if (budgetReached) {
      outcome.end = FillEnd::BudgetReached;
      return outcome;
    }
    if (currentAltMode(app) != 0)
      play::advancePattern(app);
  }
}

}  // namespace

std::string takeFillNumber(std::atomic<int32_t>& counter) {
  int32_t number = counter.load();
  if (number > kHighestFillNumber || number < 0)
    number = 0;
  char digits[16];
  std::snprintf(digits, sizeof digits, "%03d", number);
  counter.store(number + 1);
  return digits;
}

std::string remainingTitle(uint64_t remainingKb, const std::string& name) {
  return std::to_string(remainingKb / kKbPerMb) + kRemainingTitleText + name;
}

FillOutcome runFill(PlayContext& app, const FillJob& job, const std::atomic<uint32_t>& stop) {
  showTitle(app, play::kDeepBuilding);
  // The builder reads through the filler's own copy of the song table in
  // network mode; the first read-open refreshes it.
  app.copies.localPath = app.folders.data + kFillTableCopyName;
  app.copies.localCopyRefreshCounter.store(db::kRefreshCounterAtStart);
  // Temporary files that runs ended by force left behind.
  if (!job.folder.empty())
    removeLeftTemporaryFiles(folderPrefix(job.folder));

  const FillOutcome outcome = fill(app, job, stop);

  removeFillTableCopy(app);
  showTitle(app, kFillerTitle);
  return outcome;
}

bool FillThread::start(PlayContext& app, FillJob job, std::function<void(const FillOutcome&)> done) {
  if (running())
    return false;
  if (thread_.joinable())
    thread_.join();
  app_ = &app;
  stop_.store(0);
  app.run.stopRequest.store(0);
  running_.store(1);
  thread_ = std::thread([this, &app, job = std::move(job), done = std::move(done)] {
    const FillOutcome outcome = runFill(app, job, stop_);
    running_.store(0);
    if (done)
      done(outcome);
  });
  return true;
}

void FillThread::requestStop() {
  if (!thread_.joinable())
    return;
  stop_.store(1);
  if (app_) {
    // A pass under way stops at once too, and the wait between passes
    // wakes.
    app_->run.stopRequest.store(1);
    app_->run.wake.notify();
  }
}

void FillThread::stopAndJoin() {
  if (!thread_.joinable())
    return;
  requestStop();
  thread_.join();
  running_.store(0);
}

}  // namespace plinka::filler
