// The silence between two songs: from the moment one song's sound has ended
// to the moment the next song's position moves, with the player thread's
// plain 500 ms poll, on the real GStreamer playback (silent output). The
// baseline, measured in the same run, is the bare cost of starting a song:
// open + play on the playback service until its position moves.
#include "db/table.h"
#include "library/import.h"
#include "platform/playback.h"
#include "play/player.h"
#include "play/song_details.h"
#include "shell/app.h"
#include "shell/engine_jobs.h"
#include "shell/run_state.h"
#include "shell/scheduler.h"
#include "shell/settings_defaults.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace plinka;
using Clock = std::chrono::steady_clock;

namespace {

void writeTone(const std::string& path, double seconds, double hz) {
  const uint32_t rate = 22050;
  const uint32_t samples = static_cast<uint32_t>(seconds * rate);
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  out.write("RIFF", 4);
  u32(36 + samples * 2);
  out.write("WAVEfmt ", 8);
  u32(16), u16(1), u16(1), u32(rate), u32(rate * 2), u16(2), u16(16);
  out.write("data", 4);
  u32(samples * 2);
  for (uint32_t i = 0; i < samples; ++i)
    u16(static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(6.283185 * hz * i / rate))));
}

// Forwards to the real service and remembers, for the bench's own watch,
// which service is in use. Its calls are serialised by the service itself.
class Watched : public platform::PlaybackService {
public:
  explicit Watched(std::unique_ptr<platform::PlaybackService> inner) : inner_(std::move(inner)) {}
  bool open(const char* path) override {
    std::lock_guard lock(mutex);
    ++opens;
    return inner_->open(path);
  }
  void play() override { inner_->play(); }
  void playFrom(uint32_t ms) override { inner_->playFrom(ms); }
  uint32_t position() override { return inner_->position(); }
  uint32_t length() override { return inner_->length(); }
  void close() override { inner_->close(); }
  bool isOpen() const override { return inner_->isOpen(); }
  void setVideoTarget(const platform::VideoTarget& t) override { inner_->setVideoTarget(t); }
  void setFullScreen(bool on) override { inner_->setFullScreen(on); }

  std::mutex mutex;
  int opens = 0;

private:
  std::unique_ptr<platform::PlaybackService> inner_;
};

double startCostMs(const std::string& file) {
  auto service = platform::makeSystemPlayback();
  const auto t0 = Clock::now();
  if (!service->open(file.c_str()))
    return -1;
  service->play();
  while (service->position() == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  service->close();
  return ms;
}

}  // namespace

int main() {
  setenv("PLINKA_SILENT", "1", 1);
  const std::string root = (std::filesystem::temp_directory_path() / "plinka-gap-bench").string() + "/";
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root + "data");
  std::filesystem::create_directories(root + "music");
  const int songs = 6;
  std::vector<std::string> files;
  for (int i = 0; i < songs; ++i) {
    files.push_back(root + "music/song" + std::to_string(i) + ".wav");
    writeTone(files.back(), 1.5, 330.0 + 40 * i);
  }

  // Baseline: the bare start of a song, several times.
  double baseline = 0;
  for (int i = 0; i < 5; ++i)
    baseline += startCostMs(files[static_cast<size_t>(i) % files.size()]) / 5;

  auto app = std::make_unique<App>();
  app->folders.program = root;
  app->folders.data = root + "data/";
  firstRunDefaults(app->settings, app->folders);
  db::createSongTable(app->settings.databasePath);
  grantExclusiveNow(*app, 30);
  library::runImport(*app, root + "music/");
  for (const auto& f : files)
    play::putListRow(*app, app->list.size(), f.c_str(), play::SongDetails{});
  app->settings.autoBuild = 0;

  class QuietUi : public Ui {
  public:
    uint32_t prompt(const PromptRequest&, std::string*) override { return 1; }
    uint32_t showWelcome() override { return 2; }
    void openHelp() override {}
    void openFolder(const std::string&) override {}
    void showStatus(const StatusTexts&) override {}
    uint32_t ratingKeypad() override { return 2; }
    bool chooseFolder(std::string&) override { return false; }
    bool chooseOpenFile(const std::vector<FileFilter>&, uint32_t, std::string&) override { return false; }
    bool chooseSaveFile(const std::vector<FileFilter>&, uint32_t, std::string&) override { return false; }
    void repaint(RepaintArea) override {}
    void setPlayButtonImage(int) override {}
    void refreshSystemMenu() override {}
    void openWindow(WindowKind, uint32_t) override {}
    void postCommand(uint32_t, uint32_t) override {}
    void progressLine(WindowKind, uint32_t, const std::string&) override {}
    void setWindowTitle(WindowKind, const std::string&) override {}
    void messageBox(const std::string&, const std::string&) override {}
  } ui;
  app->ui = &ui;
  installEngineJobs(*app);
  auto watched = std::make_unique<Watched>(platform::makeSystemPlayback());
  Watched* service = watched.get();
  app->player.playback = std::move(watched);

  startScheduler(*app);
  startPlayer(*app);
  app->run.playerRunning.store(1);
  app->run.playerRequest.store(play::kPlayerStart);

  // Watch the service every millisecond: a song's sound has ended when its
  // position reaches its length; the next song moves when, after the next
  // open, its position is above 0.
  std::vector<double> gaps;
  int seenOpens = 0;
  bool ended = false;
  Clock::time_point endedAt;
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (gaps.size() < static_cast<size_t>(songs - 2) && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    int opens;
    {
      std::lock_guard lock(service->mutex);
      opens = service->opens;
    }
    if (opens == 0)
      continue;
    const uint32_t length = service->length();
    const uint32_t position = service->position();
    if (!ended && opens == seenOpens && length > 0 && position >= length) {
      ended = true;
      endedAt = Clock::now();
    } else if (ended && opens > seenOpens && position > 0) {
      gaps.push_back(std::chrono::duration<double, std::milli>(Clock::now() - endedAt).count());
      ended = false;
    }
    if (!ended)
      seenOpens = opens;
  }
  post(*app, kQuitCode, 0, 0);
  stopScheduler(*app);

  double sum = 0, worst = 0;
  for (double g : gaps) {
    sum += g;
    worst = std::max(worst, g);
  }
  const double mean = gaps.empty() ? 0 : sum / static_cast<double>(gaps.size());
  std::printf("start of a song on the playback service (baseline): %8.1f ms\n", baseline);
  std::printf("silence between songs, 500 ms poll (%zu gaps): mean %8.1f ms, worst %8.1f ms\n", gaps.size(), mean,
              worst);
  std::printf("ratio mean silence / baseline: %.2f\n", baseline > 0 ? mean / baseline : 0.0);
  std::filesystem::remove_all(root);
  return gaps.empty() ? 1 : 0;
}
