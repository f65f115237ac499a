// What the listener waits for between songs, on the real GStreamer playback
// (silent output) driven by the running player, heartbeat and processor:
//  - the silence between two songs: from the moment one song's sound has
//    ended (its position reached its length) to the moment the next song's
//    position moves;
//  - a Skip: from setting the skip request to the moment the next song's
//    position moves.
// Each is the median of 20. The baseline, measured in the same run, is the
// bare cost of starting a song: open + play on the playback service until its
// position moves.
#include "app/app.h"
#include "app/engine_jobs.h"
#include "app/scheduler.h"
#include "core/exclusive_access.h"
#include "core/null_front_end.h"
#include "core/run_state.h"
#include "core/settings_defaults.h"
#include "db/table.h"
#include "library/import.h"
#include "platform/playback.h"
#include "play/player.h"
#include "play/song_details.h"
#include "support/tone_wav.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace plinka;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kSamples = 20;

// Forwards to the real service and numbers the files as they take over (by
// an open, or by following on), so that the bench can sample which file
// plays and where, consistently.
class Watched : public platform::PlaybackService {
public:
  explicit Watched(std::unique_ptr<platform::PlaybackService> inner) : inner_(std::move(inner)) {}
  bool open(const char* path) override {
    std::lock_guard lock(mutex);
    const bool opened = inner_->open(path);
    ++file;
    return opened;
  }
  void play() override { inner_->play(); }
  void playFrom(uint32_t ms) override { inner_->playFrom(ms); }
  uint32_t position() override { return inner_->position(); }
  uint32_t length() override { return inner_->length(); }
  void close() override { inner_->close(); }
  bool isOpen() const override { return inner_->isOpen(); }
  void setVideoTarget(const platform::VideoTarget& t) override { inner_->setVideoTarget(t); }
  void setFullScreen(bool on) override { inner_->setFullScreen(on); }
  void setEventHook(std::function<void()> hook) override { inner_->setEventHook(std::move(hook)); }
  bool setNext(const char* path) override { return inner_->setNext(path); }
  std::string takeFollowOn() override {
    std::lock_guard lock(mutex);
    std::string took = inner_->takeFollowOn();
    if (!took.empty()) {
      ++file;
      ++followOns;
    }
    return took;
  }

  struct Sample {
    int file;
    uint32_t position;
    uint32_t length;
  };
  Sample sample() {
    std::lock_guard lock(mutex);
    return {file, inner_->position(), inner_->length()};
  }
  int followOnCount() {
    std::lock_guard lock(mutex);
    return followOns;
  }

private:
  std::mutex mutex;
  int file = 0;
  int followOns = 0;
  std::unique_ptr<platform::PlaybackService> inner_;
};

double msBetween(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

double median(std::vector<double> v) {
  if (v.empty())
    return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double startCostMs(const std::string& file) {
  auto service = platform::makeSystemPlayback();
  const auto t0 = Clock::now();
  if (!service->open(file.c_str()))
    return -1;
  service->play();
  while (service->position() == 0)
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  const double ms = msBetween(t0, Clock::now());
  service->close();
  return ms;
}

// A player over its own data folder with `files` imported and listed in
// order; the scheduler and the player run and the first song is started.
struct Run {
  Run(const std::string& root, const std::vector<std::string>& files) {
    std::filesystem::remove_all(root + "data");
    std::filesystem::create_directories(root + "data");
    app->folders.program = root;
    app->folders.data = root + "data/";
    firstRunDefaults(app->settings, app->folders);
    db::createSongTable(app->settings.databasePath);
    {
      const ExclusiveAccess access = ExclusiveAccess::grantNow(*app, BusyCode::Import);
      library::runImport(*app, root + "music/");
    }
    for (const auto& f : files)
      play::putListRow(*app, app->list.size(), f.c_str(), play::SongDetails{});
    app->settings.autoBuild = 0;
    app->ui = &ui;
    installEngineJobs(*app);
    auto watched = std::make_unique<Watched>(platform::makeSystemPlayback());
    service = watched.get();
    app->player.playback = std::move(watched);
    startScheduler(*app);
    startPlayer(*app);
    app->run.playerRunning.store(1);
    app->run.playerRequest.store(play::PlayerRequest::Start);
  }
  ~Run() {
    post(*app, ClosingCode::Quit, 0, 0);
    stopScheduler(*app);
  }

  // Waits until song `which` (1-based) plays and its position has moved.
  bool soundOf(int which, Clock::time_point deadline) {
    while (Clock::now() < deadline) {
      const Watched::Sample now = service->sample();
      if (now.file >= which && now.position > 0)
        return true;
      std::this_thread::sleep_for(std::chrono::microseconds(250));
    }
    return false;
  }

  NullFrontEnd ui;  // outlives the App's threads
  std::unique_ptr<App> app = std::make_unique<App>();
  Watched* service = nullptr;
};

std::vector<std::string> makeSongs(const std::string& root, const char* name, int count, double seconds) {
  std::vector<std::string> files;
  for (int i = 0; i < count; ++i) {
    files.push_back(root + "music/" + name + std::to_string(i) + ".wav");
    test::writeToneWav(files.back(), static_cast<uint32_t>(seconds * 1000), 330.0 + 20 * i);
  }
  return files;
}

// The silence between songs that play to their end. The position is
// sampled every quarter millisecond; a song's sound ends where its last
// sample before the end, carried on at the pace of the clock, reaches its
// length, and the next one's began where its first moving sample, carried
// back, reaches 0. This holds whether the next song was opened afresh or
// followed on without the playback stopping.
std::vector<double> silences(const std::string& root, const std::vector<std::string>& files, int* followOns) {
  Run run(root, files);
  std::vector<double> gaps;
  const auto deadline = Clock::now() + std::chrono::seconds(150);
  int file = 0;
  Clock::time_point lastAt;  // the current song's last sample before its end
  uint32_t lastPosition = 0;
  uint32_t length = 0;
  // A song that followed on shows first as a fall of the position, and only
  // later under its own number (once the player took note).
  bool fellBack = false;
  while (static_cast<int>(gaps.size()) < kSamples && Clock::now() < deadline) {
    const Watched::Sample now = run.service->sample();
    const Clock::time_point at = Clock::now();
    const bool newNumber = now.file > file;
    const bool fall = now.file == file && length > 0 && now.position > 0 && now.position + 100 < lastPosition;
    if ((newNumber && !fellBack && now.position > 0) || fall) {
      if (file > 0 && length > 0) {
        const auto ended = lastAt + std::chrono::milliseconds(length - lastPosition);
        const auto began = at - std::chrono::milliseconds(now.position);
        gaps.push_back(msBetween(ended, began));
      }
      fellBack = fall;
      length = 0;
    }
    if (newNumber && (now.position > 0 || fellBack)) {
      file = now.file;
      fellBack = false;
    }
    if (now.file >= file && now.position > 0 && now.length > 0 && now.position < now.length) {
      lastAt = at;
      lastPosition = now.position;
      length = now.length;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(250));
  }
  *followOns = run.service->followOnCount();
  return gaps;
}

// From a Skip to the sound of the next song.
std::vector<double> skips(const std::string& root, const std::vector<std::string>& files) {
  Run run(root, files);
  std::vector<double> waits;
  const auto deadline = Clock::now() + std::chrono::seconds(120);
  for (int song = 1; song <= kSamples && Clock::now() < deadline; ++song) {
    if (!run.soundOf(song, deadline))
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto pressed = Clock::now();
    run.app->run.playerRequest.store(play::PlayerRequest::Skip);
    if (!run.soundOf(song + 1, deadline))
      break;
    waits.push_back(msBetween(pressed, Clock::now()));
  }
  return waits;
}

void report(const char* what, const std::vector<double>& v, double target) {
  const double worst = v.empty() ? 0 : *std::max_element(v.begin(), v.end());
  std::printf("%-40s median %7.1f ms, worst %7.1f ms over %zu (target < %.0f ms)\n", what, median(v), worst, v.size(),
              target);
}

}  // namespace

int main() {
  setenv("PLINKA_SILENT", "1", 1);
  const std::string root = (std::filesystem::temp_directory_path() / "plinka-gap-bench").string() + "/";
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root + "music");
  // Rows to spare at the end: a start waits for two rows on the list.
  // Short songs are read to their end while they are readied, too soon to
  // queue the next one: each is opened afresh, as a video is. Longer ones
  // follow on.
  const auto shortSongs = makeSongs(root, "short", kSamples + 3, 0.6);
  const auto mediumSongs = makeSongs(root, "medium", kSamples + 3, 2.0);
  const auto longSongs = makeSongs(root, "long", kSamples + 3, 4.0);

  std::vector<double> starts;
  for (int i = 0; i < 5; ++i)
    starts.push_back(startCostMs(shortSongs[static_cast<size_t>(i)]));
  const double baseline = median(starts);

  int shortFollowOns = 0;
  int mediumFollowOns = 0;
  const std::vector<double> gaps = silences(root, shortSongs, &shortFollowOns);
  const std::vector<double> followGaps = silences(root, mediumSongs, &mediumFollowOns);
  const std::vector<double> skipWaits = skips(root, longSongs);

  std::printf("start of a song on the playback service (baseline): %7.1f ms\n", baseline);
  report("silence, next song opened afresh:", gaps, 100);
  std::printf("  (%d of them followed on)\n", shortFollowOns);
  report("silence, next song following on:", followGaps, 100);
  std::printf("  (%d of them followed on)\n", mediumFollowOns);
  report("Skip to the sound of the next song:", skipWaits, 300);
  std::printf("ratio median silence / baseline: %.2f\n", baseline > 0 ? median(gaps) / baseline : 0.0);
  std::filesystem::remove_all(root);
  return gaps.size() == kSamples && followGaps.size() == kSamples && skipWaits.size() == kSamples ? 0 : 1;
}
