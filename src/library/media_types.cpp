#include "library/media_types.h"

#include <cstring>

namespace plinka::library {

namespace {

struct Ending {
  const char* text;
  uint32_t code;
};

// Tested in this order; the first match decides.
constexpr Ending kThreeLetterEndings[] = {
    {"mp3", kMediaMp3}, {"avi", kMediaAvi}, {"wav", kMediaWav},  {"mid", kMediaMidi},
    {"wma", kMediaWma}, {"asf", kMediaAsf}, {"mpg", kMediaMpeg}, {"wmv", kMediaWmv},
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
  if (std::strcmp(ending, "mpeg") == 0)
    return typeEnabled(settings, kMediaMpeg) ? kMediaMpeg : kMediaNone;
  return kMediaNone;
}

std::vector<FileFilter> fileDialogFilters() {
  return {
      {"Plinka Files", "*.mid;*.wav;*.mp3;*.rmi;*.aif;*.au;*.snd;*wma;*mpg;*avi;*wmv"},
      {"Playlists", "*.m3u"},
      {"Corvane", "*.cvf"},
      {"All Files", "*.*"},
  };
}

}  // namespace plinka::library
