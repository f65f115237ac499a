#include "library/replay_gain_tags.h"

#include "library/file_access.h"

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tfile.h>
#include <taglib/tpropertymap.h>

#include <cmath>
#include <cstdlib>

namespace plinka::library {

namespace {

std::optional<double> gainProperty(const TagLib::PropertyMap& properties, const char* key) {
  const auto found = properties.find(key);
  if (found == properties.end() || found->second.isEmpty())
    return std::nullopt;
  return parseGainText(found->second.front().to8Bit(true).c_str());
}

}  // namespace

std::optional<double> parseGainText(const char* text) {
  if (text == nullptr)
    return std::nullopt;
  char* end = nullptr;
  const double gain = std::strtod(text, &end);
  if (end == text || !std::isfinite(gain))
    return std::nullopt;
  return gain;
}

ReplayGainTags readReplayGainTags(const char* path) {
  ReplayGainTags tags;
  // A folder, pipe or device is refused before the tag library sees it.
  const int fd = openForReading(path);
  if (fd < 0)
    return tags;
  const FileCloser closer(fd);
  const TagLib::FileRef ref(path, true, TagLib::AudioProperties::Fast);
  if (ref.isNull() || ref.file() == nullptr || !ref.file()->isValid())
    return tags;
  tags.readable = true;
  const TagLib::PropertyMap properties = ref.file()->properties();
  tags.trackGainDb = gainProperty(properties, "REPLAYGAIN_TRACK_GAIN");
  tags.albumGainDb = gainProperty(properties, "REPLAYGAIN_ALBUM_GAIN");
  if (const TagLib::AudioProperties* audio = ref.audioProperties();
      audio != nullptr && audio->lengthInMilliseconds() > 0)
    tags.lengthMs = static_cast<uint32_t>(audio->lengthInMilliseconds());
  return tags;
}

}  // namespace plinka::library
