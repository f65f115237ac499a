// The loudness meter's speed, and what it costs playback.
//
//  1. Three 60-second stereo 44.1 kHz files (MP3, FLAC, Ogg Vorbis) made
//     with ffmpeg are each measured by the meter and, as the baseline in the
//     same run, by `ffmpeg -threads 1 ... -af ebur128 -f null -` as a whole
//     process. Printed: wall time, processor time, speed as a multiple of
//     real time, and ffmpeg's time over ours (above 1: ours is faster). Each
//     is the median of three. The meter runs at the lowest priority, so its
//     wall time suffers first when other programs keep the processors busy;
//     processor time does not depend on that.
//  2. Playback (silent output) of one of the files for 10 s alone, then for
//     10 s with the meter measuring the files over and over on another
//     thread. Printed: how far the position moved, and the processor time of
//     playback's threads and of the meter's (told apart by the idle
//     scheduling class the meter's threads run in).
#include "platform/loudness_meter.h"
#include "platform/playback.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sched.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace plinka;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kFileSeconds = 60;
constexpr int kRounds = 3;

double secondsOf(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

double processCpu() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  return secondsOf(r.ru_utime) + secondsOf(r.ru_stime);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

struct Timing {
  double wall = 0;
  double cpu = 0;
  double lufs = 0;
};

Timing ours(const std::string& path) {
  Timing t;
  const double cpu0 = processCpu();
  const auto t0 = Clock::now();
  // A thread of its own: the meter lowers its caller for good.
  std::thread worker([&] {
    const platform::LoudnessResult r = platform::measureLoudness(path.c_str());
    t.lufs = r.outcome == platform::LoudnessResult::Outcome::Measured ? r.lufs : 0;
  });
  worker.join();
  t.wall = std::chrono::duration<double>(Clock::now() - t0).count();
  t.cpu = processCpu() - cpu0;
  return t;
}

// ffmpeg's measure as a whole process: wall time and its processor time.
Timing ffmpeg(const std::string& path) {
  const char* argv[] = {"ffmpeg",     "-nostdin", "-nostats", "-hide_banner", "-threads", "1", "-i",
                        path.c_str(), "-af",      "ebur128",  "-f",           "null",     "-", nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  Timing t;
  const auto t0 = Clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, "ffmpeg", &actions, nullptr, const_cast<char**>(argv), environ) == 0) {
    int status = 0;
    rusage r{};
    wait4(pid, &status, 0, &r);
    t.wall = std::chrono::duration<double>(Clock::now() - t0).count();
    t.cpu = secondsOf(r.ru_utime) + secondsOf(r.ru_stime);
  }
  posix_spawn_file_actions_destroy(&actions);
  return t;
}

// Processor time (s) of each thread of this process, and whether the thread
// runs in the idle scheduling class.
struct ThreadCpu {
  double seconds;
  bool idle;
};
std::map<pid_t, ThreadCpu> threadCpu() {
  std::map<pid_t, ThreadCpu> out;
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  DIR* d = opendir("/proc/self/task");
  if (d == nullptr)
    return out;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.')
      continue;
    const pid_t tid = static_cast<pid_t>(std::atoi(e->d_name));
    std::ifstream in(std::string("/proc/self/task/") + e->d_name + "/stat");
    std::string line;
    std::getline(in, line);
    // Fields after the name, which is in parentheses: utime and stime are
    // the 14th and 15th fields of the whole line.
    const size_t close = line.rfind(')');
    if (close == std::string::npos)
      continue;
    std::vector<std::string> fields;
    size_t at = close + 2;
    while (at < line.size()) {
      const size_t end = line.find(' ', at);
      fields.push_back(line.substr(at, end - at));
      if (end == std::string::npos)
        break;
      at = end + 1;
    }
    if (fields.size() < 13)
      continue;
    const double seconds = (std::stod(fields[11]) + std::stod(fields[12])) / tick;
    out[tid] = {seconds, sched_getscheduler(tid) == SCHED_IDLE};
  }
  closedir(d);
  return out;
}

struct PlaybackWindow {
  double positionMoved = 0;  // s
  double wall = 0;           // s
  double playbackCpu = 0;    // s, threads not in the idle class
  double meterCpu = 0;       // s, the rest of the process
};

// Lets the open file play for `seconds` and measures what moved.
PlaybackWindow playFor(platform::PlaybackService& playback, double seconds) {
  PlaybackWindow w;
  const std::map<pid_t, ThreadCpu> before = threadCpu();
  const double cpu0 = processCpu();
  const uint32_t p0 = playback.position();
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const uint32_t p1 = playback.position();
  w.wall = std::chrono::duration<double>(Clock::now() - t0).count();
  const double total = processCpu() - cpu0;
  for (const auto& [tid, now] : threadCpu()) {
    if (now.idle)
      continue;
    const auto was = before.find(tid);
    w.playbackCpu += now.seconds - (was != before.end() ? was->second.seconds : 0.0);
  }
  w.meterCpu = std::max(0.0, total - w.playbackCpu);
  w.positionMoved = (p1 - p0) / 1000.0;
  return w;
}

}  // namespace

int main() {
  setenv("PLINKA_SILENT", "1", 1);
  if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) {
    std::fprintf(stderr, "ffmpeg is needed to make the files and as the baseline\n");
    return 1;
  }
  const std::string root = (std::filesystem::temp_directory_path() / "plinka-loudness-bench").string() + "/";
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root);

  // Something like music: a swelling chord over pink noise, the two
  // channels different.
  const std::string chord = "0.2*sin(2*PI*220*t)*(0.6+0.4*sin(2*PI*0.7*t))+0.1*sin(2*PI*330*t)";
  const std::string input =
      "-f lavfi -i 'aevalsrc=" + chord + "|0.8*(" + chord +
      "):s=44100:d=" + std::to_string(static_cast<int>(kFileSeconds)) +
      "' -f lavfi -i 'anoisesrc=color=pink:amplitude=0.1:r=44100:d=" + std::to_string(static_cast<int>(kFileSeconds)) +
      "' -filter_complex '[1]asplit[n1][n2];[0][n1]amix=normalize=0[m];[m][n2]amix=normalize=0'";
  struct File {
    const char* name;
    const char* encoding;
  };
  const File files[] = {
      {"music.mp3", "-c:a libmp3lame -b:a 192k"}, {"music.flac", "-c:a flac"}, {"music.ogg", "-c:a libvorbis -q:a 5"}};
  std::vector<std::string> paths;
  for (const File& f : files) {
    paths.push_back(root + f.name);
    const std::string command =
        "ffmpeg -nostdin -hide_banner -loglevel error -y " + input + " " + f.encoding + " '" + paths.back() + "'";
    if (std::system(command.c_str()) != 0) {
      std::fprintf(stderr, "cannot make %s\n", f.name);
      return 1;
    }
  }

  double loads[3] = {};
  getloadavg(loads, 3);
  std::printf("Measuring %0.f s stereo 44.1 kHz files, median of %d (load average %.2f on %ld processors)\n\n",
              kFileSeconds, kRounds, loads[0], sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("%-11s %-8s %8s %8s %10s %9s\n", "file", "meter", "wall s", "cpu s", "x realtime", "LUFS");
  bool ok = true;
  for (const std::string& path : paths) {
    std::vector<double> ourWall, ourCpu, theirWall, theirCpu;
    double ourLufs = 0;
    for (int i = 0; i < kRounds; ++i) {
      const Timing a = ours(path);
      const Timing b = ffmpeg(path);
      ourWall.push_back(a.wall);
      ourCpu.push_back(a.cpu);
      theirWall.push_back(b.wall);
      theirCpu.push_back(b.cpu);
      ourLufs = a.lufs;
    }
    ok = ok && ourLufs != 0;
    const std::string name = std::filesystem::path(path).filename().string();
    std::printf("%-11s %-8s %8.3f %8.3f %10.0f %9.2f\n", name.c_str(), "ours", median(ourWall), median(ourCpu),
                kFileSeconds / median(ourWall), ourLufs);
    std::printf("%-11s %-8s %8.3f %8.3f %10.0f\n", "", "ffmpeg", median(theirWall), median(theirCpu),
                kFileSeconds / median(theirWall));
    std::printf("%-11s ratio ffmpeg/ours: wall %.2f, cpu %.2f\n", "", median(theirWall) / median(ourWall),
                median(theirCpu) / median(ourCpu));
  }

  // Playback beside the meter.
  auto playback = platform::makeSystemPlayback();
  if (!playback->open(paths[0].c_str())) {
    std::fprintf(stderr, "cannot play %s\n", paths[0].c_str());
    return 1;
  }
  playback->play();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const PlaybackWindow alone = playFor(*playback, 10);
  std::atomic<uint32_t> stop{0};
  int measured = 0;
  std::thread meter([&] {
    for (size_t i = 0; stop.load() == 0; ++i)
      if (platform::measureLoudness(paths[i % paths.size()].c_str(), &stop).outcome ==
          platform::LoudnessResult::Outcome::Measured)
        ++measured;
  });
  const PlaybackWindow beside = playFor(*playback, 10);
  stop.store(1);
  meter.join();
  playback->close();

  std::printf("\nPlayback of %s (silent output)\n", std::filesystem::path(paths[0]).filename().string().c_str());
  std::printf("%-22s %8s %12s %14s %11s\n", "", "wall s", "position s", "playback cpu s", "meter cpu s");
  std::printf("%-22s %8.2f %12.2f %14.3f %11.3f\n", "alone", alone.wall, alone.positionMoved, alone.playbackCpu,
              alone.meterCpu);
  std::printf("%-22s %8.2f %12.2f %14.3f %11.3f\n", "meter running beside", beside.wall, beside.positionMoved,
              beside.playbackCpu, beside.meterCpu);
  std::printf("(%d files measured meanwhile)\n", measured);
  std::filesystem::remove_all(root);
  return ok ? 0 : 1;
}
