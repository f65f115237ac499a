// How import grows with the size of a collection: 2,000, 10,000 and 20,000
// small tagged MP3 files imported into a fresh song table, then the same
// folder imported again with nothing new in it. Prints seconds per 1,000
// files at each size, the per-file ratio of the largest to the smallest
// (linear growth gives 1.0) and the cost of the re-import against the first
// import of the same folder.
#include "app/app.h"
#include "core/busy_code.h"
#include "core/settings_defaults.h"
#include "library/import.h"

#include "bench_support.h"
#include "mp3_library.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

using namespace plinka;

namespace {

// Files of 1 KB of tag and 3 KB of audio bytes, 100 to a folder.
bool makeFiles(const std::string& root, int count) {
  const std::string audio(3 * 1024, '\x55');
  for (int i = 0; i < count; ++i) {
    const std::string folder = root + "Artist " + std::to_string(i / 100) + "/";
    if (i % 100 == 0)
      std::filesystem::create_directories(folder);
    const std::string title = "Track " + std::to_string(i);
    const std::string bytes = bench::tagBytes(title, "Artist " + std::to_string(i / 100), "Album") + audio;
    if (!bench::writeNewFile(folder + title + ".mp3", bytes))
      return false;
  }
  return true;
}

double importSeconds(App& app, const std::string& music, uint32_t& added) {
  app.run.busyCode.store(codeValue(BusyCode::Import));
  const auto start = std::chrono::steady_clock::now();
  const library::ImportResult result = library::runImport(app, music);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  app.run.busyCode.store(0);
  added = result.added;
  return took.count();
}

}  // namespace

int main() {
  const std::string dir = bench::makeScratchFolder("plinka-import-scale-bench");
  if (dir.empty())
    return 1;
  const int sizes[] = {2000, 10000, 20000};
  double perThousand[3] = {};
  double firstLargest = 0, againLargest = 0;
  std::printf("%8s %12s %12s %16s\n", "files", "import s", "s per 1000", "re-import s");
  for (int k = 0; k < 3; ++k) {
    const int n = sizes[k];
    const std::string root = dir + "/" + std::to_string(n) + "/";
    const std::string music = root + "music/", data = root + "data/";
    std::filesystem::create_directories(data);
    if (!makeFiles(music, n)) {
      std::fprintf(stderr, "cannot write the files under %s\n", music.c_str());
      return 1;
    }
    auto app = std::make_unique<App>();
    app->folders.program = data;
    app->folders.data = data;
    firstRunDefaults(app->settings, app->folders);
    db::createSongTable(app->settings.databasePath);
    uint32_t added = 0, addedAgain = 0;
    const double first = importSeconds(*app, music, added);
    const double again = importSeconds(*app, music, addedAgain);
    perThousand[k] = first / n * 1000;
    std::printf("%8d %12.3f %12.3f %16.3f%s\n", n, first, perThousand[k], again,
                added == static_cast<uint32_t>(n) && addedAgain == 0 ? "" : "  (INCOMPLETE)");
    if (k == 2) {
      firstLargest = first;
      againLargest = again;
    }
    std::filesystem::remove_all(root);
  }
  std::printf("\nper-file ratio 20,000 / 2,000: %.2f (linear: 1.0, target at most 1.3)\n",
              perThousand[2] / perThousand[0]);
  std::printf("re-import of the unchanged 20,000 against their first import: %.2f (target under 0.25)\n",
              againLargest / firstLargest);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
