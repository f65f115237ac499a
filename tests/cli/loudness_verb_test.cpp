// plinkactl loudness and tags over a data folder of generated audio, run as
// the program itself: what it stores, what it prints, and that the song
// table it writes differs from the one before only in the Loudness words,
// so a reader that knows nothing of them reads every other field as before.
#include "support/run_plinkactl.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace plinka;
using plinka::test::TempDir;

namespace {

// Where field 10 of slot 0 lies in a song table file, and the record size.
constexpr size_t kLoudnessAt = 3312;
constexpr size_t kRecordSize = 1656;

void makeTone(const std::string& path, const std::string& extra) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  const std::string command =
      "ffmpeg -v error -y -f lavfi -i 'sine=frequency=1000:duration=3' " + extra + " '" + path + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

std::string lineStarting(const std::string& text, const std::string& start) {
  for (const std::string& line : test::lines(text))
    if (line.rfind(start, 0) == 0)
      return line.substr(start.size());
  return "(none)";
}

TEST(LoudnessVerb, MeasuresOnceStoresOnlyTheLoudnessWordsAndTagsShowIt) {
  TempDir dir;
  const std::string data = dir.file("data/");
  const std::string music = dir.file("music/");
  // The files that are decoded are WAV, which the media framework reads
  // itself (also in the race-checked build); the tagged one is only read.
  makeTone(music + "loud.wav", "-af volume=-8dB");
  makeTone(music + "quiet.wav", "-af volume=-20dB");
  makeTone(music + "tagged.flac", "-metadata REPLAYGAIN_TRACK_GAIN='-3.00 dB'");
  test::writeFile(music + "broken.mp3", std::string(4000, 'x'));
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--data", data});
    return test::runPlinkactl(dir, args);
  };
  ASSERT_EQ(run({"import", music}).exitCode, 0);
  const std::string table = data + "Plinka.cvf";
  const std::string before = test::readFile(table);

  const test::ProgramResult first = run({"loudness"});
  ASSERT_EQ(first.exitCode, 0) << first.err;
  EXPECT_EQ(test::lines(first.out).back(), "measured=4 failed=1 known=4 songs=4");
  EXPECT_NE(first.err.find("measured 4 of 4: "), std::string::npos) << "a progress line for each song";

  const std::string after = test::readFile(table);
  ASSERT_EQ(after.size(), before.size());
  size_t changedWords = 0;
  for (size_t at = 0; at < after.size(); ++at) {
    if (after[at] == before[at])
      continue;
    ASSERT_GE(at, kLoudnessAt) << "a header byte changed at " << at;
    ASSERT_LT((at - kLoudnessAt) % kRecordSize, 4u) << "a byte outside the Loudness words changed at " << at;
    if ((at - kLoudnessAt) % kRecordSize == 3)
      ++changedWords;  // the known bit lies in the last byte
  }
  EXPECT_EQ(changedWords, 4u);

  // The quiet tone is 12 dB below the loud one; the tagged one keeps its tag.
  const test::ProgramResult loud = run({"tags", music + "loud.wav"});
  const test::ProgramResult quiet = run({"tags", music + "quiet.wav"});
  const test::ProgramResult tagged = run({"tags", music + "tagged.flac"});
  ASSERT_EQ(loud.exitCode, 0);
  const double loudLufs = std::atof(lineStarting(loud.out, "stored_loudness=").c_str());
  const double quietLufs = std::atof(lineStarting(quiet.out, "stored_loudness=").c_str());
  EXPECT_NEAR(loudLufs - quietLufs, 12.0, 0.2) << loud.out << quiet.out;
  EXPECT_NE(lineStarting(loud.out, "stored_loudness=").find("measured"), std::string::npos);
  EXPECT_EQ(lineStarting(loud.out, "track_gain="), "none");
  EXPECT_EQ(lineStarting(tagged.out, "track_gain="), "-3.00 dB");
  EXPECT_EQ(lineStarting(tagged.out, "stored_loudness="), "-15.00 LUFS, gain -3.00 dB, from tags");

  EXPECT_EQ(test::lines(run({"loudness"}).out).back(), "measured=0 failed=0 known=4 songs=4") << "nothing left";
  EXPECT_EQ(test::lines(run({"loudness", "--all"}).out).back(), "measured=4 failed=1 known=4 songs=4");
  EXPECT_EQ(run({"loudness", "--everything"}).exitCode, 2);
}

}  // namespace
