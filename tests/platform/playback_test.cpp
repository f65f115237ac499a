// The GStreamer playback service on the small committed media files, with the
// silent output so that no sound card or display is needed.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>

#include "platform/gst_playback.h"
#include "platform/playback.h"
#include "support/framework_decoders.h"
#include "support/temp_dir.h"
#include "support/tone_wav.h"

namespace {

using plinka::platform::makeSystemPlayback;
using plinka::platform::PlaybackService;
using plinka::platform::VideoTarget;
using plinka::test::decoderOutsideTheFramework;
using Clock = std::chrono::steady_clock;

std::string media(const std::string& name) { return std::string(PLINKA_TEST_FIXTURES) + "/media/" + name; }

uint32_t msSince(Clock::time_point start) {
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Polls the way the player does (only faster) until the position reaches the
// end. Returns false when the deadline passes first.
bool playsToEnd(PlaybackService& playback, uint32_t deadlineMs) {
  const auto start = Clock::now();
  while (msSince(start) < deadlineMs) {
    const uint32_t end = playback.length();
    if (end != 0 && playback.position() >= end) {
      return true;
    }
    sleepMs(40);
  }
  return false;
}

// Polls until the position has passed `ms`.
bool reaches(PlaybackService& playback, uint32_t ms, uint32_t deadlineMs) {
  const auto start = Clock::now();
  while (msSince(start) < deadlineMs) {
    if (playback.position() >= ms) {
      return true;
    }
    sleepMs(10);
  }
  return false;
}

class Playback : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    setenv("PLINKA_SILENT", "1", 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
  }
  std::unique_ptr<PlaybackService> playback = makeSystemPlayback();
};

// Every file type the player handles, with the length its fixture was made with.
struct Fixture {
  const char* file;
  uint32_t madeMs;
};

const Fixture kFixtures[] = {
    {"tone.wav", 1000}, {"tone.mp3", 1500}, {"tune.mid", 1000}, {"tone.wma", 1500},
    {"tone.asf", 1500}, {"clip.avi", 1000}, {"clip.mpg", 1000}, {"clip.wmv", 1000},
};

void PrintTo(const Fixture& f, std::ostream* out) { *out << f.file; }

std::string fixtureName(const ::testing::TestParamInfo<Fixture>& info) {
  std::string name = info.param.file;
  for (char& c : name) {
    if (c == '.') {
      c = '_';
    }
  }
  return name;
}

class EachType : public Playback, public ::testing::WithParamInterface<Fixture> {};

TEST_P(EachType, OpensPlaysInRealTimeAndEndsAtItsLength) {
  const Fixture& f = GetParam();
  if (decoderOutsideTheFramework(f.file))
    GTEST_SKIP() << "real playback through an uninstrumented decoder under the race checker";
  ASSERT_TRUE(playback->open(media(f.file).c_str()));
  EXPECT_TRUE(playback->isOpen());
  const uint32_t end = playback->length();
  // Milliseconds, near the made length (container and codec padding aside).
  EXPECT_GE(end, f.madeMs * 6 / 10);
  EXPECT_LE(end, f.madeMs * 2);
  EXPECT_LT(playback->position(), 100u) << "an opened file waits at its beginning";

  const auto start = Clock::now();
  playback->play();
  ASSERT_TRUE(playsToEnd(*playback, end + 5000));
  // The silent output keeps time: a song is not over faster than it lasts.
  EXPECT_GE(msSince(start), end / 2);
  EXPECT_EQ(playback->position(), playback->length()) << "once over, the position stays at the end";

  playback->close();
  EXPECT_FALSE(playback->isOpen());
  EXPECT_EQ(playback->position(), 0u);
  EXPECT_EQ(playback->length(), 0u);
}

// Pausing is closing and resuming is opening again and playing from the
// saved position; the song goes on near where it stopped and still ends.
TEST_P(EachType, ResumesNearThePausedPosition) {
  const Fixture& f = GetParam();
  if (decoderOutsideTheFramework(f.file))
    GTEST_SKIP() << "real playback through an uninstrumented decoder under the race checker";
  const std::string path = media(f.file);
  ASSERT_TRUE(playback->open(path.c_str()));
  const uint32_t end = playback->length();
  playback->play();
  ASSERT_TRUE(reaches(*playback, end * 2 / 5, 5000));
  const uint32_t paused = playback->position();
  playback->close();

  ASSERT_TRUE(playback->open(path.c_str()));
  playback->playFrom(paused);
  const auto resumed = Clock::now();
  sleepMs(150);
  const uint32_t now = playback->position();
  const uint32_t expected = paused + msSince(resumed);
  const uint32_t error = now > expected ? now - expected : expected - now;
  RecordProperty("resume_error_ms", static_cast<int>(error));
  EXPECT_LE(error, 300u) << "paused at " << paused << " ms, read " << now << " ms, expected about " << expected;
  EXPECT_TRUE(playsToEnd(*playback, end + 5000));
}

INSTANTIATE_TEST_SUITE_P(Media, EachType, ::testing::ValuesIn(kFixtures), fixtureName);

TEST_F(Playback, RefusesWhatCannotBePlayedAndStaysUsable) {
  plinka::test::TempDir dir;
  plinka::test::writeFile(dir.file("empty.wav"), "");
  plinka::test::writeFile(dir.file("notes.txt"), "not a song at all\n");
  std::string noise;
  for (int i = 0; i < 4096; ++i) {
    noise.push_back(static_cast<char>((i * 7919 + 13) % 251));
  }
  plinka::test::writeFile(dir.file("noise.mp3"), noise);
  ::mkdir(dir.file("folder.wav").c_str(), 0755);

  const std::string refused[] = {
      dir.file("missing.mp3"), dir.file("empty.wav"),  dir.file("notes.txt"),
      dir.file("noise.mp3"),   dir.file("folder.wav"), "",
  };
  for (const std::string& path : refused) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(playback->open(path.c_str()));
    EXPECT_FALSE(playback->isOpen());
    playback->play();
    playback->playFrom(500);
    EXPECT_EQ(playback->position(), 0u);
    EXPECT_EQ(playback->length(), 0u);
    playback->close();
  }
  EXPECT_FALSE(playback->open(nullptr));
  EXPECT_TRUE(playback->open(media("tone.wav").c_str())) << "a refused file leaves the service usable";
}

TEST_F(Playback, OpeningAnotherFileStartsItAfresh) {
  if (decoderOutsideTheFramework("tone.mp3"))
    GTEST_SKIP() << "real playback through an uninstrumented decoder under the race checker";
  ASSERT_TRUE(playback->open(media("tone.wav").c_str()));
  playback->play();
  ASSERT_TRUE(playsToEnd(*playback, 6000));

  // No close in between: the end of the first song must not carry over.
  ASSERT_TRUE(playback->open(media("tone.mp3").c_str()));
  EXPECT_GT(playback->length(), 1200u);
  EXPECT_LT(playback->position(), playback->length());
  playback->play();
  sleepMs(200);
  EXPECT_LT(playback->position(), playback->length());
}

TEST_F(Playback, TheEndOfAFileIsReportedThroughTheEventHookAtOnce) {
  std::mutex mutex;
  std::condition_variable reported;
  int events = 0;
  playback->setEventHook([&] {
    std::lock_guard lock(mutex);
    ++events;
    reported.notify_all();
  });
  ASSERT_TRUE(playback->open(media("tone.wav").c_str()));
  playback->play();
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(reported.wait_for(lock, std::chrono::seconds(10), [&] { return events > 0; }));
  }
  // Reported no earlier than the end itself: the caller finds the song over.
  EXPECT_EQ(playback->position(), playback->length());
  playback->setEventHook(nullptr);
  playback->close();
  std::lock_guard lock(mutex);
  EXPECT_EQ(events, 1);
}

TEST_F(Playback, AQueuedFileFollowsOnWithoutABreak) {
  // Long enough that the file is not read to its end while it is readied.
  plinka::test::TempDir dir;
  const std::string first = dir.path() + "first.wav";
  plinka::test::writeToneWav(first, 3000, 440, 8000);
  const std::string second = media("tone.mp3");
  ASSERT_TRUE(playback->open(first.c_str()));
  const uint32_t firstLength = playback->length();
  ASSERT_TRUE(playback->setNext(second.c_str()));
  playback->play();
  std::string took;
  uint32_t lastPosition = 0;
  bool sawTheEnd = false;
  const auto start = Clock::now();
  while (took.empty() && msSince(start) < 8000) {
    took = playback->takeFollowOn();
    if (took.empty()) {
      lastPosition = playback->position();
      sawTheEnd = sawTheEnd || (lastPosition >= firstLength && playback->length() == firstLength);
    }
    sleepMs(5);
  }
  ASSERT_EQ(took, second);
  EXPECT_FALSE(sawTheEnd) << "the first file was never seen over: the second took over first";
  EXPECT_TRUE(playback->takeFollowOn().empty()) << "reported once";
  // Time runs on in the second file, whose length is its own.
  EXPECT_GT(playback->length(), 1200u);
  EXPECT_LT(playback->position(), 700u);
  EXPECT_TRUE(playsToEnd(*playback, playback->length() + 5000));
  EXPECT_TRUE(playback->takeFollowOn().empty());
}

TEST_F(Playback, PlayingFromBeyondTheEndEndsTheSong) {
  if (decoderOutsideTheFramework("tone.mp3"))
    GTEST_SKIP() << "real playback through an uninstrumented decoder under the race checker";
  ASSERT_TRUE(playback->open(media("tone.mp3").c_str()));
  const uint32_t end = playback->length();
  playback->playFrom(end + 1000);
  EXPECT_TRUE(playsToEnd(*playback, 3000));
  EXPECT_EQ(playback->position(), playback->length());
}

TEST_F(Playback, OpensPathsThatNeedEscapingInAUri) {
  plinka::test::TempDir dir;
  const std::string folder = dir.file("a b#1%20?&");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  const std::string path = folder + "/\xC3\x9C"
                                    "bung #2 [live] 100%.wav";
  plinka::test::writeFile(path, plinka::test::readFile(media("tone.wav")));
  ASSERT_TRUE(playback->open(path.c_str()));
  EXPECT_GT(playback->length(), 500u);
}

// Without any display, video goes nowhere whatever the target says, and
// moving or hiding the target while playing keeps the song going.
TEST_F(Playback, VideoPlaysHeadlessWhateverTheTarget) {
  if (decoderOutsideTheFramework("clip.wmv"))
    GTEST_SKIP() << "real playback through an uninstrumented decoder under the race checker";
  playback->setVideoTarget(VideoTarget{});
  ASSERT_TRUE(playback->open(media("clip.wmv").c_str()));
  const uint32_t end = playback->length();
  playback->play();
  ASSERT_TRUE(reaches(*playback, end / 4, 5000));

  const uint32_t before = playback->position();
  playback->setVideoTarget(VideoTarget{0x1234, 10, 20, 320, 240});
  playback->setFullScreen(true);
  playback->setFullScreen(false);
  playback->setVideoTarget(VideoTarget{});
  EXPECT_GE(playback->position() + 300, before) << "changing the target must not restart the song";
  EXPECT_TRUE(playsToEnd(*playback, end + 5000));
}

// Every type the player handles plays to its end: when the position the
// player polls reaches the length, the sinks have been given the whole file
// to play. What the sinks played is measured apart from the position, so a
// position that runs ahead of the stream (an MPEG program stream's clock
// starts at its first time stamp, half a second in) shows as a cut song.
TEST(PlayedAtTheSink, EveryTypePlaysToItsEnd) {
  if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "ffmpeg is not installed";
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "real playback through uninstrumented decoders under the race checker";
#endif
  setenv("PLINKA_SILENT", "1", 1);
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  struct Made {
    const char* file;
    const char* encoding;  // ffmpeg's arguments after the sources; "" for a committed fixture
    bool video;
  };
  const Made made[] = {
      // The designed types.
      {"made.wav", "-c:a pcm_s16le", false},
      {"made.mp3", "-c:a libmp3lame", false},
      {"made.wma", "-c:a wmav2 -f asf", false},
      {"made.asf", "-c:a wmav1 -f asf", false},
      {"made.avi", "-c:v mjpeg -c:a pcm_mulaw", true},
      {"made.mpg", "-c:v mpeg1video -c:a mp2 -f mpeg", true},
      {"made.mpeg", "-c:v mpeg1video -c:a mp2 -f mpeg", true},
      {"made.wmv", "-c:v wmv2 -c:a wmav2 -f asf", true},
      {"tune.mid", "", false},
      // The later types.
      {"made.flac", "-c:a flac", false},
      {"made.ogg", "-c:a libvorbis", false},
      {"made.opus", "-c:a libopus", false},
      {"made.m4a", "-c:a aac", false},
      {"made.aac", "-c:a aac", false},
      {"made.mp4", "-c:v mpeg4 -c:a aac", true},
      {"made.mkv", "-c:v mpeg4 -c:a libvorbis", true},
      {"made.webm", "-c:v libvpx -b:v 200k -c:a libopus", true},
  };
  plinka::test::TempDir dir;
  plinka::platform::GstPlayback playback;
  for (const Made& m : made) {
    SCOPED_TRACE(m.file);
    std::string path = media(m.file);
    if (m.encoding[0] != '\0') {
      path = dir.path() + m.file;
      const std::string video = m.video ? " -f lavfi -i testsrc=size=64x48:rate=25:duration=2" : "";
      const std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=440:duration=2" +
                                  video + " " + m.encoding + " '" + path + "'";
      ASSERT_EQ(std::system(command.c_str()), 0);
    }
    ASSERT_TRUE(playback.open(path.c_str()));
    playback.play();
    // Polled as the player polls, only more often: the song is over once the
    // position has reached the length.
    const auto start = Clock::now();
    uint32_t length = 0;
    while (msSince(start) < 15000) {
      length = playback.length();
      if (length != 0 && playback.position() >= length)
        break;
      sleepMs(10);
    }
    ASSERT_NE(length, 0u);
    EXPECT_GE(playback.playedAtSink() + 50, length) << "played " << playback.playedAtSink() << " of " << length;
    EXPECT_GE(msSince(start) + 50, length) << "over sooner than it lasts";
    playback.close();
  }
}

TEST(SilentOutput, IsAskedForByTheEnvironment) {
  struct Case {
    const char* value;
    bool silent;
  };
  const Case cases[] = {{nullptr, false}, {"", false}, {"0", false}, {"1", true}, {"yes", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value == nullptr ? "(unset)" : c.value);
    if (c.value == nullptr) {
      unsetenv("PLINKA_SILENT");
    } else {
      setenv("PLINKA_SILENT", c.value, 1);
    }
    EXPECT_EQ(plinka::platform::silentOutputRequested(), c.silent);
  }
  setenv("PLINKA_SILENT", "1", 1);
}

}  // namespace
