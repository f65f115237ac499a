#include "library/media_types.h"

#include <cstring>

namespace plinka::library {

namespace {

struct Ending {
  const char* text;
  uint32_t code;
};

// Tested in this order; the first match decides. The first nine types come
// first, in their own order, so that what they decide is unchanged.
constexpr Ending kThreeLetterEndings[] = {
    {"mp3", kMediaMp3}, {"avi", kMediaAvi},  {"wav", kMediaWav}, {"mid", kMediaMidi}, {"wma", kMediaWma},
    {"asf", kMediaAsf}, {"mpg", kMediaMpeg}, {"wmv", kMediaWmv}, {"ogg", kMediaOgg},  {"oga", kMediaOgg},
    {"m4a", kMediaM4a}, {"aac", kMediaAac},  {"mp4", kMediaMp4}, {"m4v", kMediaMp4},  {"mkv", kMediaMkv},
};

// Tested after the three-letter endings, the "mpeg" test first.
constexpr Ending kFourLetterEndings[] = {
    {"mpeg", kMediaMpeg},
    {"flac", kMediaFlac},
    {"opus", kMediaOpus},
    {"webm", kMediaWebm},
};

// The record is packed, so each filter field is read by name rather than
// through a pointer.
bool typeEnabled(const SettingsRecord& s, uint32_t code) {
  if (s.typeAll != 0)
    return true;
  switch (code) {
  case kMediaMp3:
    return s.typeMp3 != 0;
  case kMediaWav:
    return s.typeWav != 0;
  case kMediaMidi:
    return s.typeMidi != 0;
  case kMediaWma:
    return s.typeWma != 0;
  case kMediaAsf:
    return s.typeAsf != 0;
  case kMediaAvi:
    return s.typeAvi != 0;
  case kMediaMpeg:
    return s.typeMpeg != 0;
  case kMediaWmv:
    return s.typeWmv != 0;
  default:
    if (const uint32_t bit = newTypeBit(code))
      return (s.newTypesOff & bit) == 0;
    return false;
  }
}

// Lower-cased copy of the last n characters of a text of length len (n <= len).
void lowerEnding(const char* text, size_t len, size_t n, char* out) {
  for (size_t i = 0; i < n; ++i) {
    const char c = text[len - n + i];
    out[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  out[n] = 0;
}

}  // namespace

uint32_t newTypeBit(uint32_t code) {
  switch (code) {
  case kMediaFlac:
    return kNewTypeBitFlac;
  case kMediaOgg:
    return kNewTypeBitOgg;
  case kMediaOpus:
    return kNewTypeBitOpus;
  case kMediaM4a:
    return kNewTypeBitM4a;
  case kMediaAac:
    return kNewTypeBitAac;
  case kMediaMp4:
    return kNewTypeBitMp4;
  case kMediaMkv:
    return kNewTypeBitMkv;
  case kMediaWebm:
    return kNewTypeBitWebm;
  default:
    return 0;
  }
}

uint32_t mediaType(const SettingsRecord& settings, const char* nameOrPath) {
  const size_t len = std::strlen(nameOrPath);
  // A name shorter than an ending cannot end in it.
  if (len < 3)
    return kMediaNone;
  char ending[5];
  lowerEnding(nameOrPath, len, 3, ending);
  for (const Ending& e : kThreeLetterEndings)
    if (std::strcmp(ending, e.text) == 0)
      return typeEnabled(settings, e.code) ? e.code : kMediaNone;
  if (len < 4)
    return kMediaNone;
  lowerEnding(nameOrPath, len, 4, ending);
  for (const Ending& e : kFourLetterEndings)
    if (std::strcmp(ending, e.text) == 0)
      return typeEnabled(settings, e.code) ? e.code : kMediaNone;
  return kMediaNone;
}

std::vector<FileFilter> fileDialogFilters() {
  return {
      {"Plinka Files", "*.mid;*.wav;*.mp3;*.rmi;*.aif;*.au;*.snd;*wma;*mpg;*avi;*wmv;*.flac;*.ogg;"
                       "*.oga;*.opus;*.m4a;*.aac;*.mp4;*.m4v;*.mkv;*.webm"},
      {"Playlists", "*.m3u;*.m3u8"},
      {"Corvane", "*.cvf"},
      {"All Files", "*.*"},
  };
}

}  // namespace plinka::library
