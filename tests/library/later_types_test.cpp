// The media types a Linux collection is mostly made of (FLAC, Ogg Vorbis,
// Opus, M4A, AAC, MP4, MKV, WebM), made by ffmpeg with tags: an import takes
// each with its texts, and the player plays each to its end under the silent
// output.
#include "core/busy_code.h"
#include "library/import.h"
#include "library/media_types.h"
#include "platform/gst_playback.h"
#include "platform/playback.h"

#include "import_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

using namespace plinka;
using namespace plinka::test;

namespace {

struct Made {
  const char* file;
  uint32_t code;
  const char* ffmpegArgs;  // the encoding, between the sources and the tags
  bool video;
  bool tagged;  // whether the file carries tags
};

const Made kMade[] = {
    {"made.flac", library::kMediaFlac, "-c:a flac", false, true},
    {"made.ogg", library::kMediaOgg, "-c:a libvorbis", false, true},
    {"made.opus", library::kMediaOpus, "-c:a libopus", false, true},
    {"made.m4a", library::kMediaM4a, "-c:a aac", false, true},
    {"made.mp4", library::kMediaMp4, "-c:v mpeg4 -c:a aac", true, true},
    // Raw AAC carries no tags: the title falls back to the file name, as for
    // any file without a tag.
    {"made.aac", library::kMediaAac, "-c:a aac", false, false},
    {"made.mkv", library::kMediaMkv, "-c:v mpeg4 -c:a libvorbis", true, true},
    {"made.webm", library::kMediaWebm, "-c:v libvpx -b:v 200k -c:a libopus", true, true},
};

bool haveFfmpeg() { return std::system("command -v ffmpeg >/dev/null 2>&1") == 0; }

// Makes a one-second file with a tone (and a small test picture for video),
// tagged with a title, artist and album that name the file.
bool make(const std::string& folder, const Made& m) {
  const std::string video = m.video ? " -f lavfi -i testsrc=size=64x48:rate=10:duration=1" : "";
  const std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=440:duration=1" + video +
                              " " + m.ffmpegArgs + " -metadata title='Made Title " + std::to_string(m.code) +
                              "' -metadata artist='Made Artist' -metadata album='Made Album' '" + folder + m.file + "'";
  return std::system(command.c_str()) == 0;
}

TEST(LaterTypes, MadeFilesImportWithTheirTagsAndPlayToTheEnd) {
  if (!haveFfmpeg())
    GTEST_SKIP() << "ffmpeg is not installed";
#if defined(__SANITIZE_THREAD__)
  // Looking a Matroska file over and playing any of these runs codec
  // libraries built without the race checker, whose own threads it reports.
  GTEST_SKIP() << "decoders outside the media framework under the race checker";
#endif
  ImportFixture f;
  ASSERT_TRUE(std::filesystem::create_directories(f.music()));
  for (const Made& m : kMade)
    ASSERT_TRUE(make(f.music(), m)) << m.file;

  f.app->run.busyCode.store(codeValue(BusyCode::Import));
  library::runImport(*f.app, f.music());
  const std::vector<Record> records = f.records();
  ASSERT_EQ(records.size(), std::size(kMade));
  for (const Made& m : kMade) {
    const std::string path = f.music() + m.file;
    EXPECT_EQ(library::mediaType(f.app->settings, path.c_str()), m.code) << m.file;
    const auto r = std::find_if(records.begin(), records.end(), [&](const Record& x) { return x.fileName == path; });
    ASSERT_NE(r, records.end()) << m.file;
    if (m.tagged) {
      EXPECT_EQ(r->name, "Made Title " + std::to_string(m.code));
      EXPECT_EQ(r->artist, "Made Artist") << m.file;
      EXPECT_EQ(r->album, "Made Album") << m.file;
    } else {
      EXPECT_EQ(r->name, "made") << m.file;
    }
  }

  setenv("PLINKA_SILENT", "1", 1);
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  const auto playback = platform::makeSystemPlayback();
  for (const Made& m : kMade) {
    const std::string path = f.music() + m.file;
    ASSERT_TRUE(playback->open(path.c_str())) << m.file;
    const uint32_t end = playback->length();
    EXPECT_GE(end, 600u) << m.file;
    EXPECT_LE(end, 2000u) << m.file;
    playback->play();
    const auto start = std::chrono::steady_clock::now();
    bool over = false;
    while (!over && std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
      over = end != 0 && playback->position() >= end;
      if (!over)
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    EXPECT_TRUE(over) << m.file << " did not play to its end";
    playback->close();
  }
}

}  // namespace
