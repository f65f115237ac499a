// Import of a folder tree: 2,000 small tagged MP3 files in artist/album
// sub-folders, imported into a fresh song table, against merely reading the
// same files once from start to end. Both are timed with the files in the page
// cache (warm) and after they were dropped from it (cold, as on a first
// import). Prints files per second of both and their ratio.
#include "app/app.h"
#include "core/settings_defaults.h"
#include "db/table.h"
#include "library/import.h"
#include "text/text.h"

#include "bench_support.h"
#include "core/busy_code.h"
#include "mp3_library.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace plinka;

namespace {

constexpr int kArtists = 40;
constexpr int kAlbums = 5;
constexpr int kTracks = 10;
constexpr int kFiles = kArtists * kAlbums * kTracks;

bool makeLibrary(const std::string& root, std::vector<std::string>& files) {
  uint64_t x = 0x9E3779B97F4A7C15ull;
  auto next = [&] {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return x;
  };
  for (int a = 0; a < kArtists; ++a)
    for (int b = 0; b < kAlbums; ++b) {
      const std::string artist = "Artist " + std::to_string(a), album = "Album " + std::to_string(b);
      const std::string folder = root + artist + "/" + album + "/";
      std::error_code ec;
      std::filesystem::create_directories(folder, ec);
      for (int t = 0; t < kTracks; ++t) {
        const std::string title = "Track " + std::to_string(t);
        std::string bytes = bench::tagBytes(title, artist, album);
        const size_t audio = 20 * 1024 + next() % (80 * 1024);  // 20-100 KB
        bytes.reserve(bytes.size() + audio);
        while (bytes.size() < audio) {
          const uint64_t w = next();
          bytes.append(reinterpret_cast<const char*>(&w), sizeof w);
        }
        const std::string path = folder + std::to_string(t) + " " + title + ".mp3";
        if (!bench::writeNewFile(path, bytes))
          return false;
        files.push_back(path);
      }
    }
  sync();
  return true;
}

void dropFromCache(const std::vector<std::string>& files) {
  for (const std::string& path : files) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
      close(fd);
    }
  }
}

// The baseline: every file read once, whole.
size_t readAll(const std::vector<std::string>& files) {
  static char buffer[1 << 16];
  size_t total = 0;
  for (const std::string& path : files) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
      continue;
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;)
      total += static_cast<size_t>(got);
    close(fd);
  }
  return total;
}

// A fresh player with a new, empty song table in the data folder.
std::unique_ptr<App> freshPlayer(const std::string& dataFolder) {
  auto app = std::make_unique<App>();
  app->folders.program = dataFolder;
  app->folders.data = dataFolder;
  firstRunDefaults(app->settings, app->folders);
  db::createSongTable(app->settings.databasePath);
  return app;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::string dir = bench::makeScratchFolder("plinka-import-bench");
  if (dir.empty())
    return 1;
  const std::string music = dir + "/music/";
  const std::string data = dir + "/data/";
  std::filesystem::create_directories(data);
  std::vector<std::string> files;
  if (!makeLibrary(music, files)) {
    std::fprintf(stderr, "cannot write the files under %s\n", music.c_str());
    return 1;
  }
  const size_t bytes = readAll(files);
  std::printf("%d files, %.1f MB\n", kFiles, static_cast<double>(bytes) / 1e6);

  bool allAdded = true;
  for (bool cold : {false, true}) {
    const std::string suffix = cold ? "/cold" : "/warm";
    benchmark::RegisterBenchmark(("read" + suffix).c_str(),
                                 [&files, cold](benchmark::State& state) {
                                   for (auto _ : state) {
                                     if (cold) {
                                       state.PauseTiming();
                                       dropFromCache(files);
                                       state.ResumeTiming();
                                     }
                                     benchmark::DoNotOptimize(readAll(files));
                                   }
                                 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(3);
    benchmark::RegisterBenchmark(("import" + suffix).c_str(),
                                 [&, cold](benchmark::State& state) {
                                   for (auto _ : state) {
                                     state.PauseTiming();
                                     std::unique_ptr<App> app = freshPlayer(data);
                                     app->run.busyCode.store(codeValue(BusyCode::Import));
                                     if (cold)
                                       dropFromCache(files);
                                     state.ResumeTiming();
                                     const library::ImportResult result = library::runImport(*app, music);
                                     state.PauseTiming();
                                     allAdded = allAdded && result.added == static_cast<uint32_t>(kFiles);
                                     app.reset();
                                     state.ResumeTiming();
                                   }
                                 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(3);
  }

  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (!allAdded)
    std::printf("IMPORT INCOMPLETE: not every file was added\n");

  std::printf("\n%-6s %14s %16s %8s\n", "cache", "read files/s", "import files/s", "ratio");
  for (const char* cache : {"warm", "cold"}) {
    const auto read = reporter.seconds.find(std::string("read/") + cache);
    const auto import = reporter.seconds.find(std::string("import/") + cache);
    if (read == reporter.seconds.end() || import == reporter.seconds.end())
      continue;
    std::printf("%-6s %14.0f %16.0f %7.2fx\n", cache, kFiles / read->second, kFiles / import->second,
                import->second / read->second);
  }

  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  benchmark::Shutdown();
  return 0;
}
