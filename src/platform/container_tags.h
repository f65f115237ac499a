// The texts of media containers the tag library does not read (Matroska and
// WebM), as the media framework finds them when it looks the file over.
#pragma once

#include <string>

namespace plinka::platform {

struct ContainerTags {
  std::string title, artist, album, comment, date;  // UTF-8; empty when absent
};

// Looks the file over (without playing it) and fills `tags` with what the
// container declares. False when the file cannot be looked over; then
// `tags` is left empty.
bool readContainerTags(const char* path, ContainerTags& tags);

}  // namespace plinka::platform
