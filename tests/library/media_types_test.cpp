#include "library/media_types.h"

#include <gtest/gtest.h>

using namespace plinka;
using namespace plinka::library;

namespace {

// Every individual type on and "All" off, as a new settings file has them.
SettingsRecord typesOn() {
  SettingsRecord s{};
  s.typeMp3 = s.typeAvi = s.typeWav = s.typeMpeg = s.typeMidi = s.typeWma = s.typeAsf = s.typeWmv = 1;
  s.typeAll = 0;
  return s;
}

SettingsRecord allTypesOff() {
  SettingsRecord s{};
  return s;
}

}  // namespace

TEST(MediaTypes, CodeFromTheEndingOfTheName) {
  struct Case {
    const char* name;
    uint32_t code;
  } cases[] = {
      {"Song.MP3", kMediaMp3},   {"/music/Band/Track.wav", kMediaWav},
      {"tune.Mid", kMediaMidi},  {"x.wma", kMediaWma},
      {"x.asf", kMediaAsf},      {"clip.avi", kMediaAvi},
      {"clip.mpg", kMediaMpeg},  {"clip.MPEG", kMediaMpeg},
      {"clip.wmv", kMediaWmv},   {"nodotmp3", kMediaMp3},  // only the ending counts
      {"mp3", kMediaMp3},        {"mpeg", kMediaMpeg},
      {"sound.rmi", kMediaNone}, {"voice.au", kMediaNone},
      {"notes.txt", kMediaNone}, {"song.mp3.bak", kMediaNone},
      {"p3", kMediaNone},  // shorter than any ending
      {"3", kMediaNone},         {"", kMediaNone},
      {"peg", kMediaNone},
  };
  const SettingsRecord s = typesOn();
  for (const auto& c : cases)
    EXPECT_EQ(mediaType(s, c.name), c.code) << c.name;
}

TEST(MediaTypes, FilterSettingsSwitchTypesOffUnlessAllIsOn) {
  SettingsRecord mpegOff = typesOn();
  mpegOff.typeMpeg = 0;
  SettingsRecord wavOffAllOn = typesOn();
  wavOffAllOn.typeWav = 0;
  wavOffAllOn.typeAll = 1;
  SettingsRecord onlyAll = allTypesOff();
  onlyAll.typeAll = 1;
  SettingsRecord onlyMp3 = allTypesOff();
  onlyMp3.typeMp3 = 1;

  struct Case {
    const char* label;
    SettingsRecord settings;
    const char* name;
    uint32_t code;
  } cases[] = {
      {"MPEG off", mpegOff, "clip.mpeg", kMediaNone},
      {"MPEG off", mpegOff, "clip.mpg", kMediaNone},
      {"MPEG off", mpegOff, "song.mp3", kMediaMp3},
      {"WAV off, All on", wavOffAllOn, "track.wav", kMediaWav},
      {"only All", onlyAll, "song.mp3", kMediaMp3},
      {"only All", onlyAll, "clip.mpeg", kMediaMpeg},
      {"only All", onlyAll, "notes.txt", kMediaNone},
      {"only MP3", onlyMp3, "song.mp3", kMediaMp3},
      {"only MP3", onlyMp3, "track.wav", kMediaNone},
      {"only MP3", onlyMp3, "clip.wmv", kMediaNone},
      {"everything off", allTypesOff(), "song.mp3", kMediaNone},
  };
  for (const auto& c : cases)
    EXPECT_EQ(mediaType(c.settings, c.name), c.code) << c.label << ": " << c.name;
}

TEST(MediaTypes, VideoFromFifteenUp) {
  for (uint32_t code : {kMediaNone, kMediaMp3, kMediaWav, kMediaMidi, kMediaWma, kMediaAsf, 14u})
    EXPECT_FALSE(isVideo(code)) << code;
  for (uint32_t code : {15u, kMediaAvi, kMediaMpeg, kMediaWmv})
    EXPECT_TRUE(isVideo(code)) << code;
}

TEST(MediaTypes, FileDialogFilters) {
  const std::vector<FileFilter> filters = fileDialogFilters();
  ASSERT_EQ(filters.size(), 4u);
  const std::pair<const char*, const char*> want[] = {
      {"Plinka Files",
       "*.mid;*.wav;*.mp3;*.rmi;*.aif;*.au;*.snd;*wma;*mpg;*avi;*wmv;*.flac;*.ogg;*.oga;*.opus;*.m4a;*.aac;"
       "*.mp4;*.m4v;*.mkv;*.webm"},
      {"Playlists", "*.m3u;*.m3u8"},
      {"Corvane", "*.cvf"},
      {"All Files", "*.*"},
  };
  for (size_t i = 0; i < filters.size(); ++i) {
    EXPECT_EQ(filters[i].name, want[i].first);
    EXPECT_EQ(filters[i].patterns, want[i].second);
  }
  // The pre-selections are 1-based positions in that list.
  EXPECT_EQ(filters[kFilterMedia - 1].name, "Plinka Files");
  EXPECT_EQ(filters[kFilterPlaylists - 1].name, "Playlists");
  EXPECT_EQ(filters[kFilterDatabases - 1].name, "Corvane");
}

// The types added after the first nine: their endings, audio or video by the
// class rule, and each switched off by its own bit unless "All" is on.
TEST(MediaTypes, LaterTypesHaveTheirOwnCodesAndFilterBits) {
  struct Case {
    const char* name;
    uint32_t code;
    uint32_t bit;
    bool video;
  } cases[] = {
      {"a.flac", kMediaFlac, kNewTypeBitFlac, false}, {"a.OGG", kMediaOgg, kNewTypeBitOgg, false},
      {"a.oga", kMediaOgg, kNewTypeBitOgg, false},    {"a.opus", kMediaOpus, kNewTypeBitOpus, false},
      {"a.m4a", kMediaM4a, kNewTypeBitM4a, false},    {"a.aac", kMediaAac, kNewTypeBitAac, false},
      {"v.mp4", kMediaMp4, kNewTypeBitMp4, true},     {"v.m4v", kMediaMp4, kNewTypeBitMp4, true},
      {"v.MKV", kMediaMkv, kNewTypeBitMkv, true},     {"v.webm", kMediaWebm, kNewTypeBitWebm, true},
  };
  for (const auto& c : cases) {
    SettingsRecord s = typesOn();
    EXPECT_EQ(mediaType(s, c.name), c.code) << c.name;
    EXPECT_EQ(isVideo(c.code), c.video) << c.name;
    s.newTypesOff = c.bit;
    EXPECT_EQ(mediaType(s, c.name), kMediaNone) << c.name;
    // Another type's bit leaves this one on.
    s.newTypesOff = ~c.bit;
    EXPECT_EQ(mediaType(s, c.name), c.code) << c.name;
    s.newTypesOff = 0xFFFFFFFF;
    s.typeAll = 1;
    EXPECT_EQ(mediaType(s, c.name), c.code) << c.name;
  }
  // The first nine are not touched by the later bits.
  SettingsRecord s = typesOn();
  s.newTypesOff = 0xFFFFFFFF;
  EXPECT_EQ(mediaType(s, "x.mp3"), kMediaMp3);
  EXPECT_EQ(mediaType(s, "x.mpeg"), kMediaMpeg);
  EXPECT_EQ(mediaType(s, "x.wmv"), kMediaWmv);
}
