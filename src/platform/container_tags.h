// The texts of media containers the tag library does not read (Matroska and
// WebM), as the media framework finds them when it looks the file over.
#pragma once

#include <string>

namespace plinka::platform {

struct ContainerTags {
  std::string title, artist, album, comment;  // UTF-8; empty when absent
  // The year of the release or recording date tag; empty when there is
  // none (the date the file was written never counts).
  std::string date;
};

// Looks the file over (without playing it) and fills `tags` with what the
// container declares. False when the file cannot be looked over; then
// `tags` is left empty.
bool readContainerTags(const char* path, ContainerTags& tags);

}  // namespace plinka::platform
