// plinkactl play, run as the program itself on a small library of WAV files,
// driven by keys through a pipe, with silent playback.
#include "support/run_plinkactl.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace plinka::test {
namespace {

void putLittleEndian(std::string& b, uint32_t value, int bytes) {
  for (int k = 0; k < bytes; ++k)
    b += static_cast<char>((value >> (8 * k)) & 0xFF);
}

// A mono 16-bit WAV file of `seconds` at 8000 Hz; `level` makes each file's
// content (and so its checksum) its own.
std::string wavFile(uint32_t seconds, uint16_t level) {
  const uint32_t rate = 8000;
  const uint32_t dataBytes = seconds * rate * 2;
  std::string b = "RIFF";
  putLittleEndian(b, 36 + dataBytes, 4);
  b += "WAVEfmt ";
  putLittleEndian(b, 16, 4);
  putLittleEndian(b, 1, 2);  // PCM
  putLittleEndian(b, 1, 2);  // mono
  putLittleEndian(b, rate, 4);
  putLittleEndian(b, rate * 2, 4);
  putLittleEndian(b, 2, 2);
  putLittleEndian(b, 16, 2);
  b += "data";
  putLittleEndian(b, dataBytes, 4);
  for (uint32_t k = 0; k < dataBytes / 2; ++k)
    putLittleEndian(b, (k % 2) != 0 ? level : 0, 2);
  return b;
}

TEST(PlayVerbTest, PlaysSkipsAndQuitsSavingTheList) {
  TempDir dir;
  const std::string music = dir.path() + "music/";
  std::filesystem::create_directories(music);
  std::vector<std::string> files;
  std::string list;
  for (uint16_t k = 0; k < 22; ++k) {
    const std::string path = music + "song" + std::to_string(100 + k) + ".wav";
    writeFile(path, wavFile(30, static_cast<uint16_t>(k + 1)));
    files.push_back(path);
    list += path + "\r\n";
  }
  const std::string data = dir.path() + "data/";
  const ProgramResult import = runPlinkactl(dir, {"--data", data, "import", music});
  ASSERT_EQ(import.exitCode, 0) << import.err;
  // The State's list as a previous run left it.
  writeFile(data + "PL1.m3u", list);

  const std::string environment = "PLINKA_SILENT=1 ";
  const std::string out = dir.file("play.out");
  const std::string command = "(sleep 4; echo s; sleep 3; echo q) | " + environment + std::string(PLINKACTL_PATH) +
                              " --data " + data + " play > " + out + " 2> " + dir.file("play.err");
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status)) << readFile(dir.file("play.err"));
  EXPECT_EQ(WEXITSTATUS(status), 0) << readFile(dir.file("play.err"));

  std::vector<std::string> playing;
  for (const std::string& line : lines(readFile(out)))
    if (line.rfind("Now playing: ", 0) == 0)
      playing.push_back(line);
  ASSERT_EQ(playing.size(), 2u) << readFile(out);
  EXPECT_NE(playing[0].find("song100"), std::string::npos) << playing[0];
  EXPECT_NE(playing[1].find("song101"), std::string::npos) << playing[1];
  EXPECT_NE(playing[0].find("| rating "), std::string::npos) << playing[0];

  // The two songs started are off the list; the rest is saved in order.
  const std::vector<std::string> saved = lines(readFile(data + "PL1.m3u"));
  ASSERT_GE(saved.size(), 20u);
  EXPECT_EQ(saved[0], files[2]);
  EXPECT_EQ(saved[19], files[21]);
}

}  // namespace
}  // namespace plinka::test
