// Volume and loudness levelling in the GStreamer playback service, heard
// through a level meter put in place of the sound output. The tones are made
// by ffmpeg, which also gives the reference loudness of each.
#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/gst_playback.h"
#include "platform/loudness_meter.h"
#include "platform/playback.h"
#include "support/temp_dir.h"

namespace {

using plinka::platform::cubicFromLinear;
using plinka::platform::GstPlayback;
using plinka::platform::linearFromCubic;
using plinka::platform::LoudnessResult;
using plinka::platform::measureLoudness;
using Levelling = plinka::platform::Levelling;
using Mode = Levelling::Mode;
using Metered = GstPlayback::MeteredLevel;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(VolumeScale, IsCubicWithinZeroToOne) {
  struct Case {
    double cubic;
    double linear;
  };
  const Case cases[] = {{0, 0}, {1, 1}, {0.5, 0.125}, {0.9, 0.729}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cubic);
    EXPECT_NEAR(linearFromCubic(c.cubic), c.linear, 1e-12);
    EXPECT_NEAR(cubicFromLinear(c.linear), c.cubic, 1e-12);
  }
  // Outside 0..1, and not a number: the nearer end, and 0.
  const Case outside[] = {{-0.5, 0}, {1.5, 1}, {kNaN, 0}};
  for (const Case& c : outside) {
    SCOPED_TRACE(c.cubic);
    EXPECT_EQ(linearFromCubic(c.cubic), c.linear);
    EXPECT_EQ(cubicFromLinear(c.cubic), c.linear);
  }
}

// Runs a shell command; its output and error together.
std::string run(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char chunk[4096];
    size_t got = 0;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) {
      out.append(chunk, got);
    }
    pclose(pipe);
  }
  return out;
}

// ffmpeg's EBU R 128 integrated loudness of a file, in LUFS, from the
// summary at the end of its report ("I:  -21.1 LUFS"); NaN when absent.
double integratedLoudness(const std::string& path) {
  const std::string report = run("ffmpeg -nostdin -nostats -i '" + path + "' -af ebur128 -f null - 2>&1");
  const size_t at = report.rfind("I:");
  return at == std::string::npos ? kNaN : std::strtod(report.c_str() + at + 2, nullptr);
}

class Levels : public ::testing::Test {
protected:
  void SetUp() override {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "ffmpeg is not installed";
    setenv("PLINKA_SILENT", "1", 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    ASSERT_TRUE(playback.setAudioOutput("level interval=50000000 ! fakesink sync=false"));
    playback.setEventHook([this] {
      std::lock_guard lock(mutex);
      ++events;
      reported.notify_all();
    });
  }
  void TearDown() override { playback.setEventHook(nullptr); }

  // A 1 kHz tone of `seconds`, `db` louder than ffmpeg's own (an eighth of
  // full scale: -21 dBFS RMS), written with ffmpeg's output arguments
  // `encoding` (codec and tags).
  std::string tone(const std::string& name, double db, const std::string& encoding, double seconds = 2) {
    const std::string path = dir.file(name);
    const std::string command =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=1000:duration=" + std::to_string(seconds) +
        " -af volume=" + std::to_string(db) + "dB " + encoding + " '" + path + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
  }

  // Waits for the service's event hook to have been called `count` times
  // since the last wait (the end of the stream, a queued file starting).
  bool waitForEvents(int count) {
    std::unique_lock lock(mutex);
    const bool came = reported.wait_for(lock, std::chrono::seconds(15), [&] { return events >= count; });
    events = 0;
    return came;
  }

  // Whether the position reaches the end soon: the service has taken the
  // end that its hook reported.
  bool settles() {
    for (int i = 0; i < 200; ++i) {
      const uint32_t end = playback.length();
      if (end != 0 && playback.position() == end) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  // Plays a file from its start to its end; the levels metered, one per
  // stream.
  std::vector<Metered> playThrough(const std::string& path) {
    {
      std::lock_guard lock(mutex);
      events = 0;
    }
    if (!playback.open(path.c_str())) {
      ADD_FAILURE() << "cannot open " << path;
      return {};
    }
    playback.play();
    EXPECT_TRUE(waitForEvents(1)) << "never ended";
    // The hook may run just before the end is there to be taken.
    EXPECT_TRUE(settles());
    std::vector<Metered> levels = playback.meteredLevels();
    playback.close();
    return levels;
  }

  // The RMS level of a file played alone.
  double levelOf(const std::string& path) {
    const std::vector<Metered> levels = playThrough(path);
    EXPECT_EQ(levels.size(), 1u);
    return levels.empty() ? kNaN : levels.front().rmsDb;
  }

  plinka::test::TempDir dir;
  GstPlayback playback;
  std::mutex mutex;
  std::condition_variable reported;
  int events = 0;  // guarded by `mutex`: counted by the hook, read and reset by the test
};

// Two tones 12 dB apart, each with the gain that brings its loudness, as
// our meter measures it, to -18 LUFS: levelled, both come out there; not
// levelled, they stay 12 dB apart. The quiet one needs some 15 dB of gain.
TEST_F(Levels, TonesTwelveDecibelsApartComeOutAlikeWhenLevelled) {
  // In stereo: the meter counts a mono file on both loudspeakers, which the
  // plain measure does not.
  const std::string files[] = {tone("loud.wav", 0, "-ac 2 -c:a pcm_s16le"),
                               tone("quiet.wav", -12, "-ac 2 -c:a pcm_s16le")};
  double gains[2] = {};
  for (int i = 0; i < 2; ++i) {
    // The meter lowers the thread it runs on for good: not the test's own.
    LoudnessResult measured;
    std::thread([&] { measured = measureLoudness(files[i].c_str()); }).join();
    ASSERT_EQ(measured.outcome, LoudnessResult::Outcome::Measured) << files[i];
    EXPECT_NEAR(measured.lufs, integratedLoudness(files[i]), 0.5) << "as ffmpeg measures it";
    gains[i] = -18 - measured.lufs;
  }
  EXPECT_NEAR(gains[1] - gains[0], 12, 0.5) << "the tones as made";
  struct Case {
    Mode mode;
    double apart;  // dB between the two as heard
  };
  const Case cases[] = {{Mode::Off, 12}, {Mode::Song, 0}, {Mode::Album, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    double heard[2] = {};
    for (int i = 0; i < 2; ++i) {
      playback.setLevelling({c.mode, gains[i], 0});
      heard[i] = levelOf(files[i]);
      if (c.mode != Mode::Off) {
        // A stereo tone's loudness in LUFS is its channels' RMS in dBFS
        // plus 3 dB (their powers add up), give or take a tenth.
        EXPECT_NEAR(heard[i], -21, 1) << files[i];
      }
    }
    EXPECT_NEAR(heard[0] - heard[1], c.apart, 1);
  }
}

// A file's ReplayGain tags set its gain, whatever gain is given for files
// without them; the pre-amp comes on top of either.
TEST_F(Levels, TaggedFilesPlayAtTheirTagsGain) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "FLAC is decoded by a library built without the race checker";
#endif
  const std::string plain = tone("plain.flac", 0, "-c:a flac");
  const std::string track = tone("track.flac", 0,
                                 "-c:a flac -metadata REPLAYGAIN_TRACK_GAIN='-6.00 dB' "
                                 "-metadata REPLAYGAIN_TRACK_PEAK=0.5");
  const std::string both = tone("both.flac", 0,
                                "-c:a flac -metadata REPLAYGAIN_TRACK_GAIN='-6.00 dB' "
                                "-metadata REPLAYGAIN_TRACK_PEAK=0.5 -metadata REPLAYGAIN_ALBUM_GAIN='-2.00 dB' "
                                "-metadata REPLAYGAIN_ALBUM_PEAK=0.5");
  // A gain that would take the tagged peak past full scale.
  const std::string hot = tone("hot.flac", 0,
                               "-c:a flac -metadata REPLAYGAIN_TRACK_GAIN='+10.00 dB' "
                               "-metadata REPLAYGAIN_TRACK_PEAK=0.5");
  playback.setLevelling({});
  const double asMade = levelOf(plain);
  for (const std::string& file : {track, both, hot}) {
    EXPECT_NEAR(levelOf(file), asMade, 0.2) << file << ": played as made while levelling is off";
  }

  struct Case {
    const std::string& file;
    Mode mode;
    double fallbackDb;
    double preAmpDb;
    double gainDb;  // as heard
  };
  const Case cases[] = {
      {track, Mode::Song, 10, 0, -6},  {track, Mode::Song, -10, 0, -6},
      {track, Mode::Album, 10, 0, -6},  // no album gain: the track's
      {both, Mode::Album, 10, 0, -2},  {both, Mode::Song, -10, 0, -6},
      {track, Mode::Song, 0, 3, -3},   {hot, Mode::Song, 10, 0, 6.02},  // held where the tagged peak reaches full scale
      {plain, Mode::Song, 4, 3, 7},                                     // raised in full, where no peak is known
      {plain, Mode::Album, -5, 0, -5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file + " mode " + std::to_string(static_cast<int>(c.mode)) + " fallback " +
                 std::to_string(c.fallbackDb) + " pre-amp " + std::to_string(c.preAmpDb));
    playback.setLevelling({c.mode, c.fallbackDb, c.preAmpDb});
    EXPECT_NEAR(levelOf(c.file) - asMade, c.gainDb, 1);
  }
}

// A video's sound passes the same filter as a song's.
TEST_F(Levels, AVideoIsLevelledToo) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the video is decoded by a library built without the race checker";
#endif
  const std::string clip = dir.file("clip.mkv");
  const std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=1000:duration=1 "
                              "-f lavfi -i testsrc=size=64x48:rate=25:duration=1 -c:v mpeg4 -c:a flac '" +
                              clip + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  playback.setLevelling({});
  const double asMade = levelOf(clip);
  playback.setLevelling({Mode::Song, -6, 0});
  EXPECT_NEAR(levelOf(clip) - asMade, -6, 1);
}

// A gain that would take a file's peaks past full scale is limited there,
// before any output could clip them: this output takes floating point, which
// would carry peaks above full scale through.
TEST_F(Levels, ALevelledFileDoesNotPassFullScale) {
  ASSERT_TRUE(playback.setAudioOutput(std::string("capsfilter caps=audio/x-raw,format=") +
                                      (std::endian::native == std::endian::little ? "F32LE" : "F32BE") +
                                      " ! level interval=50000000 ! fakesink sync=false"));
  const std::string loud = tone("loud.wav", 12, "-c:a pcm_s16le");  // peaks at -6 dBFS
  playback.setLevelling({Mode::Song, 12, 0});
  const std::vector<Metered> heard = playThrough(loud);
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_LE(heard[0].peakDb, 0.0);
  EXPECT_GT(heard[0].rmsDb, -9.0 + 3) << "raised all the same";
}

TEST_F(Levels, VolumeLowersTheOutputAndIsKeptForLaterFiles) {
  const std::string file = tone("tone.wav", 0, "-c:a pcm_s16le", 1);
  const double full = levelOf(file);
  struct Case {
    double volume;
    double db;  // heard, against full volume
  };
  // Kept over the close and the next open; outside 0..1 the nearer end;
  // not a number leaves the volume as it was.
  const Case cases[] = {{0.5, -6.02}, {kNaN, -6.02}, {0.25, -12.04}, {2, 0}, {1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.volume);
    playback.setVolume(c.volume);
    EXPECT_NEAR(levelOf(file) - full, c.db, 0.5);
  }
  playback.setVolume(-1);
  EXPECT_LT(levelOf(file) - full, -60) << "0: silent";

  // Set on the open file: heard at once.
  playback.setVolume(1);
  ASSERT_TRUE(playback.open(file.c_str()));
  playback.setVolume(0.5);
  playback.playFrom(0);
  ASSERT_TRUE(waitForEvents(1));
  const std::vector<Metered> levels = playback.meteredLevels();
  ASSERT_EQ(levels.size(), 1u);
  EXPECT_NEAR(levels.front().rmsDb - full, -6.02, 0.5);
}

// A queued file is levelled as things stood when it was queued, from its
// first sound on, and nothing of the file before carries over to it.
TEST_F(Levels, AQueuedFileIsLevelledOnItsOwn) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "FLAC is decoded by a library built without the race checker";
#endif
  const std::string plain = tone("plain.flac", 0, "-c:a flac", 3);
  const std::string tagged = tone("tagged.flac", 0,
                                  "-c:a flac -metadata REPLAYGAIN_TRACK_GAIN='-6.00 dB' "
                                  "-metadata REPLAYGAIN_TRACK_PEAK=0.5",
                                  3);
  playback.setLevelling({});
  const double asMade = levelOf(plain);
  struct Case {
    const char* what;
    const std::string& first;
    Levelling firstLevelling;
    double firstGainDb;
    const std::string& second;
    Levelling secondLevelling;
    double secondGainDb;
  };
  const Case cases[] = {
      {"each its own fallback gain", plain, {Mode::Song, 6, 0}, 6, plain, {Mode::Song, -6, 0}, -6},
      {"the tags of the file before are forgotten", tagged, {Mode::Song, 0, 0}, -6, plain, {Mode::Song, 3, 0}, 3},
      {"tags found in the queued file", plain, {Mode::Song, 4, 0}, 4, tagged, {Mode::Song, 4, 0}, -6},
      {"levelling turned off for the queued file", tagged, {Mode::Song, 0, 2}, -4, tagged, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    playback.setLevelling(c.firstLevelling);
    ASSERT_TRUE(playback.open(c.first.c_str()));
    playback.setLevelling(c.secondLevelling);
    ASSERT_TRUE(playback.setNext(c.second.c_str()));
    playback.setLevelling({Mode::Album, -20, -20});  // too late for either
    playback.play();
    ASSERT_TRUE(waitForEvents(2));
    const std::vector<Metered> levels = playback.meteredLevels();
    playback.close();
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_NEAR(levels[0].rmsDb - asMade, c.firstGainDb, 1);
    EXPECT_NEAR(levels[1].rmsDb - asMade, c.secondGainDb, 1);
  }

  // A file opened without levelling has no means to level the next one:
  // the caller is told to open that one itself.
  playback.setLevelling({});
  ASSERT_TRUE(playback.open(plain.c_str()));
  playback.setLevelling({Mode::Song, 3, 0});
  EXPECT_FALSE(playback.setNext(plain.c_str()));
  playback.close();
}

TEST_F(Levels, AnOutputThatCannotBeMadeIsRefused) {
  EXPECT_FALSE(playback.setAudioOutput("no-such-element ! fakesink"));
  EXPECT_TRUE(playback.setAudioOutput(""));
}

}  // namespace
