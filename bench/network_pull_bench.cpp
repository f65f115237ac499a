// What a list build on a share costs in copies: the song table lives in a
// share folder (a folder on this disk standing in for it), the player works
// on its local copy, and each build pass opens the table for writing (a pull
// under the network lock, then a push). The bytes copied per pass are
// counted with pulls of an unchanged network file skipped (the stamp every
// push leaves beside it) and, for the baseline, with every pull made.
#include "core/busy_code.h"
#include "db/copies.h"
#include "platform/files.h"
#include "play/list_builder.h"
#include "table_support.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

using namespace plinka;

namespace {

constexpr uint32_t kSongs = 20000;
constexpr uint32_t kArtists = 2000;
constexpr int kPasses = 30;

struct Copied {
  uint64_t pulled = 0;
  uint64_t pushed = 0;
  int passes = 0;
};

Copied buildOnShare(const std::string& folder, const std::string& share, bool skipUnchanged) {
  const std::string data = folder + (skipUnchanged ? "/data-skip/" : "/data-all/");
  std::filesystem::create_directories(data);
  auto app = std::make_unique<App>();
  app->folders.data = data;
  app->folders.program = data;
  firstRunDefaults(app->settings, app->folders);
  text::copy(app->settings.databasePath, share.c_str());
  app->settings.networkMode = 1;
  app->settings.localDbFlag = 0;
  app->settings.prepareCount = kPasses;
  app->clock.speed = 1000;
  db::prepareCopies(*app);
  app->copies.skipUnchangedPulls = skipUnchanged;
  Copied copied;
  app->copies.copyFile = [&copied, &share](const std::string& from, const std::string& to) {
    const int64_t size = platform::fileSize(from);
    if (from == share)
      copied.pulled += static_cast<uint64_t>(size > 0 ? size : 0);
    else if (to == share)
      copied.pushed += static_cast<uint64_t>(size > 0 ? size : 0);
    return platform::copyFile(from, to, true);
  };
  app->run.buildState = kBuildWanted;
  for (; copied.passes < kPasses && app->run.buildState.load() != kBuildIdle; ++copied.passes) {
    grantExclusiveNow(*app, BusyCode::ListBuild);
    play::buildPass(*app);
  }
  return copied;
}

void report(const char* label, const Copied& c) {
  const double mb = 1e6 * c.passes;
  std::printf("  %-28s per pass: pulled %7.1f MB, pushed %7.1f MB, together %7.1f MB (%d passes)\n", label,
              static_cast<double>(c.pulled) / mb, static_cast<double>(c.pushed) / mb,
              static_cast<double>(c.pulled + c.pushed) / mb, c.passes);
}

}  // namespace

int main() {
  const std::string folder = bench::makeScratchFolder("network-pull");
  if (folder.empty())
    return 1;
  const std::string share = folder + "/share/Plinka.cvf";
  std::filesystem::create_directories(folder + "/share");
  if (!bench::makeRatedSongTable(share, kSongs, kArtists)) {
    std::fprintf(stderr, "network_pull_bench: cannot make the share's table\n");
    return 1;
  }
  std::printf("a song table of %u songs on the share: %.1f MB\n", kSongs,
              static_cast<double>(platform::fileSize(share)) / 1e6);
  const Copied every = buildOnShare(folder, share, false);
  const Copied skipped = buildOnShare(folder, share, true);
  report("every pull made:", every);
  report("unchanged pulls skipped:", skipped);
  const double before = static_cast<double>(every.pulled + every.pushed) / every.passes;
  const double after = static_cast<double>(skipped.pulled + skipped.pushed) / skipped.passes;
  std::printf("bytes copied per build pass, skipped / every: %.2f\n", after / before);
  std::filesystem::remove_all(folder);
  return 0;
}
