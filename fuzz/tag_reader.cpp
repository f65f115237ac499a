// Hands any bytes to the tag reader as a media file of one of the types and turns the reading
// into a record's texts the way import does (folder names standing in for a
// missing artist and album), and runs the LAME scan over the same file.
// Every text that comes out must be ended inside its buffer and be UTF-8.
#include "library/tag_reader.h"
#include "core/settings_defaults.h"
#include "library/folder_names.h"
#include "library/lame_scan.h"
#include "scratch_folder.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>

using namespace plinka;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static library::TagReader reader;
  // The first byte picks the type the file is read as (the tag library goes
  // by the name's ending), so every tag format it reads is exercised. An
  // input that starts with an ID3v2 tag picks it by the tag's revision byte
  // instead (0 in the seeds: MP3), so that its frames are read.
  static const std::string folder = [] {
    const std::string f = fuzz::scratchFolder() + "Some Artist/Some Album/";
    std::filesystem::create_directories(f);
    return f;
  }();
  static const char* const kEndings[] = {".mp3", ".flac", ".ogg", ".opus", ".m4a", ".wma", ".wav", ".mp4"};
  const bool id3First = size > 4 && std::memcmp(data, "ID3", 3) == 0;
  const uint8_t picker = id3First ? data[4] : (size > 0 ? data[0] : 0);
  const char* ending = kEndings[picker % std::size(kEndings)];
  const std::string path = folder + "01 Opening" + ending;
  static const SettingsRecord settings = [] {
    SettingsRecord s{};
    firstRunDefaults(s, Folders{});
    s.dirToId = 1;
    return s;
  }();
  fuzz::writeInput(path, data, size);

  fuzz::require(library::readTag(reader, path.c_str()) == 1);
  const library::TagResult& tag = reader.result;
  for (const char* text : {tag.title, tag.artist, tag.album, tag.comment, tag.year})
    fuzz::require(fuzz::terminatedUtf8(text, library::kTagTextSize));

  library::RecordTexts texts{};
  library::applyRecordRules(settings, path.c_str(), tag, texts);
  for (const char* text : {texts.name, texts.artist, texts.album, texts.comment})
    fuzz::require(fuzz::terminatedUtf8(text, library::kTagTextSize));

  library::lameMarkerFound(path.c_str());
  return 0;
}
