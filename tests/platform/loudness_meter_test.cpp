// The loudness meter on signals the test makes with ffmpeg, against ffmpeg's
// own EBU R 128 measure of the same files; the outcomes for silence, files
// that are not media and things that are not files; cancelling; and the
// priority of the threads it decodes on.
#include <gtest/gtest.h>

#include <gst/gst.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <future>
#include <memory>
#include <mutex>
#include <sched.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/gst_playback.h"
#include "platform/loudness_meter.h"
#include "support/framework_decoders.h"
#include "support/temp_dir.h"

namespace {

using plinka::platform::LoudnessResult;
using plinka::platform::measureLoudness;
using plinka::test::decoderOutsideTheFramework;
using Outcome = LoudnessResult::Outcome;

bool haveFfmpeg() { return std::system("command -v ffmpeg >/dev/null 2>&1") == 0; }

// Makes `path` with ffmpeg from `input` (its input arguments) and `encoding`.
bool make(const std::string& path, const std::string& input, const std::string& encoding) {
  const std::string command =
      "ffmpeg -nostdin -hide_banner -loglevel error -y " + input + " " + encoding + " '" + path + "'";
  return std::system(command.c_str()) == 0;
}

// ffmpeg's integrated loudness of `path`: the last "I:" its measure prints,
// which is the one in its summary. NaN when it prints none.
double ffmpegLoudness(const std::string& path, bool dualMono) {
  const std::string command = "ffmpeg -nostdin -nostats -hide_banner -i '" + path + "' -af ebur128" +
                              (dualMono ? "=dualmono=true" : "") + " -f null - 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr)
    return std::nan("");
  std::string out;
  char chunk[4096];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;)
    out.append(chunk, n);
  pclose(pipe);
  const size_t at = out.rfind("I:");
  return at == std::string::npos ? std::nan("") : std::strtod(out.c_str() + at + 2, nullptr);
}

// Measures on a thread of its own: the meter lowers the thread that calls it
// for good, and the test's own thread must keep its priority.
LoudnessResult measure(const std::string& path, const std::atomic<uint32_t>* cancel = nullptr,
                       const plinka::platform::LoudnessProgress& progress = {}) {
  return std::async(std::launch::async, [&] { return measureLoudness(path.c_str(), cancel, progress); }).get();
}

std::string tone(double amplitude, int hz) {
  return std::to_string(amplitude) + "*sin(2*PI*" + std::to_string(hz) + "*t)";
}

// Something like music: a chord that swells, with a bright partial.
const std::string kChord = "0.25*sin(2*PI*220*t)*(0.6+0.4*sin(2*PI*1.5*t))+0.12*sin(2*PI*330*t)+0.05*sin(2*PI*2500*t)";

struct Case {
  const char* file;
  std::string input;  // ffmpeg's input arguments
  const char* encoding;
  uint32_t madeMs;
  bool mono;  // measured as the same sound on both loudspeakers
};

std::vector<Case> cases() {
  const std::string t20 = tone(0.1, 1000);
  const std::string t30 = tone(0.0316, 1000);
  // 3 s at -20 dBFS, then 3 s at -45 dBFS, which the relative gate leaves out.
  const std::string gated = "if(lt(t\\,3)\\,0.1\\,0.0056)*sin(2*PI*1000*t)";
  return {
      {"sine-20.wav", "-f lavfi -i 'aevalsrc=" + t20 + "|" + t20 + ":s=48000:d=4'", "-c:a pcm_s16le", 4000, false},
      {"sine-30.wav", "-f lavfi -i 'aevalsrc=" + t30 + "|" + t30 + ":s=48000:d=4'", "-c:a pcm_s16le", 4000, false},
      {"mono.wav", "-f lavfi -i 'aevalsrc=" + tone(0.2, 440) + ":s=44100:d=4'", "-c:a pcm_s16le", 4000, true},
      {"pink.flac",
       "-filter_complex 'anoisesrc=color=pink:amplitude=0.3:r=44100:d=4:seed=1[a];"
       "anoisesrc=color=pink:amplitude=0.2:r=44100:d=4:seed=2[b];[a][b]amerge=inputs=2'",
       "-c:a flac", 4000, false},
      {"chord.ogg", "-f lavfi -i 'aevalsrc=" + kChord + "|0.8*(" + kChord + "):s=44100:d=4'", "-c:a libvorbis", 4000,
       false},
      {"chord.mp3", "-f lavfi -i 'aevalsrc=" + kChord + "|" + tone(0.1, 660) + ":s=44100:d=4'",
       "-c:a libmp3lame -b:a 192k", 4000, false},
      {"gated.wav", "-f lavfi -i 'aevalsrc=" + gated + "|" + gated + ":s=48000:d=6'", "-c:a pcm_s16le", 6000, false},
      // Each channel its own level: the weights of the centre, the
      // low-frequency and the surround channels count.
      {"surround.flac",
       "-f lavfi -i 'aevalsrc=" + tone(0.1, 500) + "|" + tone(0.05, 700) + "|" + tone(0.08, 900) + "|" + tone(0.3, 60) +
           "|" + tone(0.1, 1100) + "|" + tone(0.06, 1300) + ":s=48000:d=4:c=5.1'",
       "-c:a flac", 4000, false},
      // The sound of a video.
      {"clip.avi",
       "-f lavfi -i testsrc=size=160x120:rate=10:duration=4 -f lavfi -i 'aevalsrc=" + kChord + "|" + kChord +
           ":s=44100:d=4'",
       "-c:v mjpeg -c:a pcm_s16le -shortest", 4000, false},
  };
}

class LoudnessMeter : public ::testing::Test {
protected:
  void SetUp() override {
    if (!haveFfmpeg())
      GTEST_SKIP() << "ffmpeg is not installed";
    ASSERT_TRUE(plinka::platform::gstreamerReady());
  }
  plinka::test::TempDir dir;
};

// Its measure agrees with an independent one within half a unit, it
// decodes the whole length, and progress ends at that length.
TEST_F(LoudnessMeter, MatchesAnIndependentMeasure) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.file);
    if (decoderOutsideTheFramework(c.file))
      continue;
    const std::string path = dir.file(c.file);
    ASSERT_TRUE(make(path, c.input, c.encoding));
    const double reference = ffmpegLoudness(path, c.mono);
    ASSERT_FALSE(std::isnan(reference));

    std::vector<std::pair<uint32_t, uint32_t>> reports;
    const LoudnessResult r =
        measure(path, nullptr, [&](uint32_t done, uint32_t total) { reports.emplace_back(done, total); });
    ASSERT_EQ(r.outcome, Outcome::Measured) << r.error;
    EXPECT_NEAR(r.lufs, reference, 0.5);
    // Codec padding aside.
    EXPECT_NEAR(r.durationMs, c.madeMs, 100.0);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().first, r.durationMs);
    EXPECT_NEAR(reports.back().second, c.madeMs, 100.0);
    for (size_t i = 1; i < reports.size(); ++i)
      EXPECT_LT(reports[i - 1].first, reports[i].first);
  }
}

// A mono file plays on both loudspeakers: it must come out as loud as the
// same sound stored in stereo, or levelling would lift it 3 dB too high.
TEST_F(LoudnessMeter, MonoIsAsLoudAsTheSameSoundInStereo) {
  const std::string t = tone(0.1, 1000);
  ASSERT_TRUE(make(dir.file("mono.wav"), "-f lavfi -i 'aevalsrc=" + t + ":s=44100:d=3'", "-c:a pcm_s16le"));
  ASSERT_TRUE(make(dir.file("stereo.wav"), "-f lavfi -i 'aevalsrc=" + t + "|" + t + ":s=44100:d=3'", "-c:a pcm_s16le"));
  const LoudnessResult mono = measure(dir.file("mono.wav"));
  const LoudnessResult stereo = measure(dir.file("stereo.wav"));
  ASSERT_EQ(mono.outcome, Outcome::Measured);
  ASSERT_EQ(stereo.outcome, Outcome::Measured);
  EXPECT_NEAR(mono.lufs, stereo.lufs, 0.05);
}

TEST_F(LoudnessMeter, SilenceIsSilentNotAFailure) {
  const std::string path = dir.file("silence.wav");
  ASSERT_TRUE(make(path, "-f lavfi -i anullsrc=r=48000:cl=stereo -t 3", "-c:a pcm_s16le"));
  const LoudnessResult r = measure(path);
  EXPECT_EQ(r.outcome, Outcome::Silent) << r.error;
  EXPECT_NEAR(r.durationMs, 3000, 50);
}

// Whatever cannot be measured fails with a reason, and nothing hangs: a
// FIFO nobody writes to would block a reader for good.
TEST_F(LoudnessMeter, RefusesWhatItCannotMeasureWithAReason) {
  plinka::test::writeFile(dir.file("text.mp3"), std::string(20000, 'x') + "\nnot sound at all\n");
  plinka::test::writeFile(dir.file("empty.wav"), "");
  ASSERT_EQ(mkdir(dir.file("folder.mp3").c_str(), 0700), 0);
  ASSERT_EQ(mkfifo(dir.file("fifo.mp3").c_str(), 0600), 0);
  ASSERT_TRUE(make(dir.file("picture-only.avi"), "-f lavfi -i testsrc=size=160x120:rate=10:duration=2", "-c:v mjpeg"));
  struct Refused {
    std::string path;
    const char* reason;
  };
  const Refused refused[] = {
      {dir.file("missing.mp3"), "not found"},     {"", "no file"},
      {dir.file("folder.mp3"), "folder"},         {dir.file("fifo.mp3"), "pipe"},
      {dir.file("text.mp3"), "not a media file"}, {dir.file("empty.wav"), "not a media file"},
      {dir.file("picture-only.avi"), "no sound"},
  };
  for (const Refused& r : refused) {
    SCOPED_TRACE(r.path);
    auto measuring = std::async(std::launch::async, [&] { return measureLoudness(r.path.c_str()); });
    if (measuring.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
      // Let a reader stuck on the FIFO go before failing.
      const int fd = open(dir.file("fifo.mp3").c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0)
        close(fd);
      FAIL() << "still measuring after a minute";
    }
    const LoudnessResult result = measuring.get();
    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_NE(result.error.find(r.reason), std::string::npos) << result.error;
  }
}

// The flag is set from another thread while the file is being measured
// (at its first progress report); the measuring stops before the end.
TEST_F(LoudnessMeter, CancelFromAnotherThreadStopsIt) {
  const std::string path = dir.file("long.wav");
  ASSERT_TRUE(make(path, "-f lavfi -i anoisesrc=color=pink:amplitude=0.3:r=44100:d=30", "-c:a pcm_s16le"));
  std::atomic<uint32_t> cancel{0};
  std::mutex mutex;
  std::condition_variable changed;
  bool started = false;
  std::thread canceller([&] {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return started; });
    cancel.store(1);
    changed.notify_all();
  });
  const LoudnessResult r = measure(path, &cancel, [&](uint32_t, uint32_t) {
    std::unique_lock lock(mutex);
    started = true;
    changed.notify_all();
    changed.wait(lock, [&] { return cancel.load() != 0; });
  });
  canceller.join();
  EXPECT_EQ(r.outcome, Outcome::Cancelled);
  EXPECT_LT(r.durationMs, 30000u);
}

// The nice value and scheduling class of thread `tid` of this process.
struct Priority {
  int nice = 0;
  int policy = 0;
};
Priority priorityOf(pid_t tid) {
  Priority p;
  p.nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  p.policy = sched_getscheduler(tid);
  return p;
}

std::vector<pid_t> threadsOfThisProcess() {
  std::vector<pid_t> tids;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.')
        tids.push_back(static_cast<pid_t>(std::atoi(e->d_name)));
    closedir(d);
  }
  return tids;
}

// The streaming threads' priorities as each thread starts, noted by the
// threads themselves.
struct Seen {
  std::mutex mutex;
  std::vector<Priority> priorities;  // guarded by mutex
};

GstBusSyncReply noteStreamingThread(GstBus*, GstMessage* message, gpointer data) {
  if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_STREAM_STATUS) {
    GstStreamStatusType type;
    GstElement* owner = nullptr;
    gst_message_parse_stream_status(message, &type, &owner);
    if (type == GST_STREAM_STATUS_TYPE_ENTER) {
      auto* seen = static_cast<Seen*>(data);
      const std::lock_guard lock(seen->mutex);
      seen->priorities.push_back(priorityOf(gettid()));
    }
  }
  return GST_BUS_PASS;
}

// The priorities of the streaming threads of a small pipeline run after the
// measuring, as playback's would be.
std::vector<Priority> laterStreamingThreads() {
  Seen seen;
  GstElement* pipeline = gst_parse_launch("audiotestsrc num-buffers=20 ! queue ! fakesink", nullptr);
  GstBus* bus = gst_element_get_bus(pipeline);
  gst_bus_set_sync_handler(bus, noteStreamingThread, &seen, nullptr);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  gst_message_unref(gst_bus_timed_pop_filtered(bus, GST_CLOCK_TIME_NONE,
                                               static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
  gst_object_unref(bus);
  gst_object_unref(pipeline);
  const std::lock_guard lock(seen.mutex);
  return seen.priorities;
}

// While it measures, the calling thread and the threads that decode run at
// the lowest priority; once it is done no lowered thread is left to be
// handed to the next pipeline (playback's), which runs at normal priority.
TEST_F(LoudnessMeter, DecodesAtLowestPriorityWithoutLoweringOthers) {
  if (getpriority(PRIO_PROCESS, 0) != 0 || sched_getscheduler(0) != SCHED_OTHER)
    GTEST_SKIP() << "the test runs at a lowered priority already";
  const std::string path = dir.file("priority.wav");
  ASSERT_TRUE(make(path, "-f lavfi -i anoisesrc=color=pink:amplitude=0.3:r=44100:d=5", "-c:a pcm_s16le"));
  Priority caller;
  int loweredBeside = 0;  // threads other than the caller at the lowest priority while it measures
  std::thread worker([&] {
    const pid_t self = gettid();
    const LoudnessResult r = measureLoudness(path.c_str(), nullptr, [&](uint32_t, uint32_t) {
      caller = priorityOf(self);
      loweredBeside = 0;
      for (const pid_t tid : threadsOfThisProcess()) {
        const Priority p = priorityOf(tid);
        if (tid != self && p.nice == 19 && p.policy == SCHED_IDLE)
          ++loweredBeside;
      }
    });
    EXPECT_EQ(r.outcome, Outcome::Measured) << r.error;
  });
  worker.join();
  EXPECT_EQ(caller.nice, 19);
  EXPECT_EQ(caller.policy, SCHED_IDLE);
  EXPECT_GE(loweredBeside, 1);

  const std::vector<Priority> later = laterStreamingThreads();
  ASSERT_FALSE(later.empty());
  for (const Priority& p : later) {
    EXPECT_EQ(p.nice, 0);
    EXPECT_EQ(p.policy, SCHED_OTHER);
  }
}

}  // namespace
