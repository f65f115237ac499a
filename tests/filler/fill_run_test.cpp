// The fill run: numbering, budgets and titles, how it ends, and which
// State's choices reach the builder.
#include "core/current_state.h"
#include "db/table.h"
#include "filler/fill_fixture.h"
#include "filler/fill_run.h"
#include "filler/filler_settings.h"
#include "platform/files.h"
#include "play/list_builder.h"

#include <condition_variable>
#include <mutex>

namespace plinka::test {
namespace {

TEST(FillNumber, CountsFrom000AndWrapsAfter1000) {
  struct Case {
    int32_t counter;
    const char* number;
    int32_t next;
  };
  const Case cases[] = {
      {0, "000", 1},    {1, "001", 2}, {2, "002", 3}, {999, "999", 1000}, {1000, "1000", 1001},  // the 1001st file
      {1001, "000", 1},  // the 1002nd starts again
      {-3, "000", 1},
  };
  for (const Case& c : cases) {
    std::atomic<int32_t> counter{c.counter};
    EXPECT_EQ(filler::takeFillNumber(counter), c.number) << c.counter;
    EXPECT_EQ(counter.load(), c.next) << c.counter;
  }
}

TEST_F(FillTest, A128MbFillOf5000KbSongsCopies25AndCountsDownInTheTitle) {
  makeSongs(30, 5000 * 1024, true);
  filler::FillJob j = job(filler::kFillBudgetsKb[0]);
  j.copy = sparseCopier();
  const std::atomic<uint32_t> stop{0};
  const filler::FillOutcome outcome = filler::runFill(*app, j, stop);

  EXPECT_EQ(outcome.end, filler::FillEnd::BudgetReached);
  EXPECT_EQ(outcome.copied, 25u);
  EXPECT_EQ(outcome.copiedKb, 125000u);
  EXPECT_TRUE(outcome.message.empty()) << outcome.message;
  const std::vector<std::string> shown = titles();
  ASSERT_GE(shown.size(), 3u);
  EXPECT_EQ(shown.front(), "Plinka Deep Building");
  const std::string firstName = filesIn(target.path()).front();
  EXPECT_EQ(firstName.substr(0, 4), "000 ");
  EXPECT_EQ(shown[1], "115MB to go, " + firstName);
  EXPECT_EQ(shown.back(), "Plinka Media Filler");
  const std::vector<std::string> files = filesIn(target.path());
  ASSERT_EQ(files.size(), 25u);
  EXPECT_EQ(files[24].substr(0, 4), "024 ");
}

TEST_F(FillTest, WithoutABudgetAFullMediumIsTheNormalEndAndTheTitleStaysDeepBuilding) {
  makeSongs(25, 4096);
  filler::FillJob j = job(filler::kFillBudgetsKb[filler::kFillToTheEnd]);
  j.copy = sparseCopier(6, filler::CopyEnd::MediumFull);
  const std::atomic<uint32_t> stop{0};
  const filler::FillOutcome outcome = filler::runFill(*app, j, stop);

  EXPECT_EQ(outcome.end, filler::FillEnd::MediumFull);
  EXPECT_EQ(outcome.copied, 5u);
  EXPECT_TRUE(outcome.message.empty()) << outcome.message;
  EXPECT_EQ(titles(), (std::vector<std::string>{"Plinka Deep Building", "Plinka Media Filler"}));
  EXPECT_EQ(filesIn(target.path()).size(), 5u);
}

// Any other failed copy, and a full medium under a budget, end the run with
// a message naming the file; what was copied stays.
TEST_F(FillTest, AFailedCopyEndsTheRunWithAMessageNamingTheFile) {
  makeSongs(25, 4096);
  struct Case {
    filler::CopyEnd failure;
    uint64_t budgetKb;
    filler::FillEnd end;
    const char* names;  // "target" or "source"
  };
  const Case cases[] = {
      {filler::CopyEnd::MediumFull, filler::kFillBudgetsKb[0], filler::FillEnd::MediumFull, "target"},
      {filler::CopyEnd::TargetFailed, 0, filler::FillEnd::CopyFailed, "target"},
      {filler::CopyEnd::SourceFailed, 0, filler::FillEnd::CopyFailed, "source"},
  };
  for (const Case& c : cases) {
    for (const std::string& name : filesIn(target.path()))
      platform::removeFile(target.file(name));
    app->run.listCount.store(0);
    std::string copiedTarget;
    std::string copiedSource;
    filler::FillJob j = job(c.budgetKb);
    j.copy = [&, inner = sparseCopier(4, c.failure)](const std::string& source, const std::string& to,
                                                     const std::string& temp, const std::atomic<uint32_t>* stop) {
      copiedSource = source;
      copiedTarget = to;
      return inner(source, to, temp, stop);
    };
    const std::atomic<uint32_t> stop{0};
    const filler::FillOutcome outcome = filler::runFill(*app, j, stop);

    EXPECT_EQ(outcome.end, c.end) << c.names;
    EXPECT_EQ(outcome.copied, 3u) << c.names;
    const std::string& named = std::string(c.names) == "target" ? copiedTarget : copiedSource;
    EXPECT_NE(outcome.message.find(named), std::string::npos) << outcome.message;
    EXPECT_NE(outcome.message.find("3 songs"), std::string::npos) << outcome.message;
    EXPECT_EQ(filesIn(target.path()).size(), 3u) << c.names;
  }
}

TEST_F(FillTest, RealCopiesAreWholeNumberedAndLeaveNoTemporaryFile) {
  makeSongs(20, 3000);
  // A temporary file an earlier run left behind goes.
  writeFile(target.file(filler::kCopyTempName), "half");
  // Budget: 4 songs of 2 KB each... plus the one that reaches it.
  filler::FillJob j = job(8);
  std::vector<filler::FillProgress> progress;
  j.onCopied = [&progress](const filler::FillProgress& p) { progress.push_back(p); };
  const std::atomic<uint32_t> stop{0};
  const filler::FillOutcome outcome = filler::runFill(*app, j, stop);

  EXPECT_EQ(outcome.end, filler::FillEnd::BudgetReached);
  // 2 KB a song: 8 -> 6 -> 4 -> 2 -> the fourth reaches the budget.
  ASSERT_EQ(outcome.copied, 4u);
  ASSERT_EQ(progress.size(), 4u);
  const std::vector<std::string> files = filesIn(target.path());
  ASSERT_EQ(files.size(), 4u);
  for (size_t k = 0; k < files.size(); ++k) {
    EXPECT_EQ(files[k].substr(0, 4), "00" + std::to_string(k) + " ");
    EXPECT_EQ(progress[k].target, target.file(files[k]));
    EXPECT_EQ(readFile(target.file(files[k])), readFile(progress[k].source)) << files[k];
  }
  EXPECT_EQ(progress[0].remainingKb, 6u);
}

// The window's user, user mode and filters go into the current State, the
// one the builder reads, not the first.
TEST_F(FillTest, TheFillerChoicesReachTheBuilderThroughTheCurrentState) {
  // Only user 4 rates the songs (rating 10); for everyone else they rate 0.
  makeSongs(22, 2048, false, [](uint32_t user) { return user == 4 ? 512u : 0u; });
  app->settings.currentState = 2;
  FillerSettings block = app->settings.fillerSettings;
  block.user = 4;
  block.userMode = 0;
  block.minRating = 6;
  block.playUpTo = 3;
  block.typeAll = 0;
  block.typeMp3 = 1;
  block.newTypesOff = kNewTypeBitFlac;
  filler::applyFillerChoices(*app, block);
  EXPECT_EQ(currentUser(*app), 4u);
  EXPECT_EQ(+app->settings.stateMinRating[2], 6u);
  EXPECT_EQ(+app->settings.stateMinRating[0], +app->settings.stateMinRating[1]) << "the first State is left alone";
  EXPECT_EQ(+app->settings.newTypesOff, kNewTypeBitFlac);
  EXPECT_EQ(+app->settings.typeAll, 0u);

  filler::FillJob j = job(3);
  const std::atomic<uint32_t> stop{0};
  const filler::FillOutcome outcome = filler::runFill(*app, j, stop);
  EXPECT_EQ(outcome.end, filler::FillEnd::BudgetReached) << outcome.message;
  EXPECT_EQ(outcome.copied, 2u);

  // The same choices with MP3 filtered out: nothing can be chosen, and the
  // run (the window's as the command line's) gives up after 50 passes
  // saying so.
  block.typeMp3 = 0;
  filler::applyFillerChoices(*app, block);
  const filler::FillOutcome none = filler::runFill(*app, j, stop);
  EXPECT_EQ(none.end, filler::FillEnd::NoChoice);
  EXPECT_NE(none.message.find("50 passes"), std::string::npos) << none.message;
}

TEST_F(FillTest, AFillThatCannotStartSaysWhy) {
  makeSongs(19, 100);
  const std::atomic<uint32_t> stop{0};
  filler::FillOutcome outcome = filler::runFill(*app, job(100), stop);
  EXPECT_EQ(outcome.end, filler::FillEnd::NoSongs);
  EXPECT_NE(outcome.message.find("fewer than 20"), std::string::npos) << outcome.message;

  filler::FillJob noFolder = job(100);
  noFolder.folder.clear();
  outcome = filler::runFill(*app, noFolder, stop);
  EXPECT_EQ(outcome.message, filler::kNoFillFolder);
  EXPECT_EQ(outcome.copied, 0u);
}

// A run whose builder never chooses keeps asking until it is stopped; the
// stop ends it and its thread.
TEST_F(FillTest, AStopEndsARunWaitingForTheBuilder) {
  makeSongs(20, 100, false, [](uint32_t) { return 0u; });  // rating 0 for all
  app->settings.fillerSettings.minRating = 5;
  filler::applyFillerChoices(*app, app->settings.fillerSettings);
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  filler::FillOutcome outcome;
  filler::FillThread thread;
  ASSERT_TRUE(thread.start(*app, job(100), [&](const filler::FillOutcome& o) {
    std::lock_guard lock(mutex);
    outcome = o;
    done = true;
    ended.notify_all();
  }));
  EXPECT_FALSE(thread.start(*app, job(100), nullptr)) << "one run at a time";
  thread.stopAndJoin();
  std::lock_guard lock(mutex);
  ASSERT_TRUE(done);
  EXPECT_EQ(outcome.end, filler::FillEnd::Stopped);
  EXPECT_EQ(outcome.copied, 0u);
  EXPECT_FALSE(thread.running());
}

}  // namespace
}  // namespace plinka::test
