#include "cli/fill_verb.h"

#include "app/app.h"
#include "cli/data_folder.h"
#include "cli/verbs.h"
#include "filler/fill_run.h"
#include "platform/files.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace plinka::cli {

namespace {

constexpr const char* kUsage = "fill FOLDER --size MB|fill [--number] [--state N]   (State N from 1 to 10)";
constexpr uint64_t kLargestSizeMb = 1ull << 30;
constexpr uint64_t kKbPerMb = 1024;

void printProgress(const filler::FillProgress& p) {
  const std::string left = p.budgeted ? std::to_string(p.remainingKb / kKbPerMb) + "MB to go" : std::string();
  std::printf("%u\t%s\t%s\n", p.copied, p.target.c_str(), left.c_str());
  std::fflush(stdout);
}

}  // namespace

int runFillVerb(int argc, char** argv) {
  std::string folder;
  uint64_t sizeMb = 0;
  bool sizeGiven = false;
  bool toTheEnd = false;
  bool number = false;
  uint64_t stateNumber = 0;
  for (int k = 1; k < argc; ++k) {
    const char* value = k + 1 < argc ? argv[k + 1] : nullptr;
    if (std::strcmp(argv[k], "--size") == 0) {
      if (value && std::strcmp(value, "fill") == 0)
        toTheEnd = true;
      else if (!parseWholeNumber(value, 1, kLargestSizeMb, sizeMb))
        return usage(kUsage);
      sizeGiven = true;
      ++k;
    } else if (std::strcmp(argv[k], "--state") == 0) {
      if (!parseWholeNumber(value, 1, kStateCount, stateNumber))
        return usage(kUsage);
      ++k;
    } else if (std::strcmp(argv[k], "--number") == 0) {
      number = true;
    } else if (argv[k][0] != '-' && folder.empty()) {
      folder = argv[k];
    } else {
      return usage(kUsage);
    }
  }
  if (folder.empty() || !sizeGiven)
    return usage(kUsage);
  if (!platform::folderExists(folder)) {
    std::fprintf(stderr, "plinkactl: no folder %s to fill\n", folder.c_str());
    return 1;
  }

  auto app = std::make_unique<App>();
  if (openDataFolder(*app) != 0)
    return 1;
  if (stateNumber != 0)
    app->settings.currentState = static_cast<uint32_t>(stateNumber - 1);
  // A fill never switches the machine off.
  app->settings.shutdownAfterBuild = 0;
  app->builder.fillerActive.store(1);

  filler::FillJob job;
  job.folder = folder;
  job.budgetKb = toTheEnd ? 0 : sizeMb * kKbPerMb;
  job.addNumber = number;
  job.onCopied = printProgress;
  const std::atomic<uint32_t> stop{0};
  const filler::FillOutcome outcome = filler::runFill(*app, job, stop);

  if (!outcome.message.empty()) {
    std::fprintf(stderr, "plinkactl: %s\n", outcome.message.c_str());
    return 1;
  }
  std::fprintf(stderr, "plinkactl: %u songs (%llu MB) copied into %s%s\n", outcome.copied,
               static_cast<unsigned long long>(outcome.copiedKb / kKbPerMb), folder.c_str(),
               outcome.end == filler::FillEnd::MediumFull ? "; it is full" : "");
  return 0;
}

}  // namespace plinka::cli
