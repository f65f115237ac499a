// Small tagged MP3 files for the import benchmarks: an ID3v2.3 tag with
// title, artist and album, padded to 1 KB as taggers do.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace plinka::bench {

inline std::string bigEndian32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

inline std::string textFrame(const char* id, const std::string& text) {
  return std::string(id) + bigEndian32(static_cast<uint32_t>(text.size() + 1)) + std::string(2, '\0') + '\0' + text;
}

// An ID3v2.3 tag with title, artist and album, padded to 1 KB as taggers do.
inline std::string tagBytes(const std::string& title, const std::string& artist, const std::string& album) {
  const std::string frames = textFrame("TIT2", title) + textFrame("TPE1", artist) + textFrame("TALB", album);
  const auto size = static_cast<uint32_t>(std::max<size_t>(frames.size(), 1024));
  const std::string syncSafe{static_cast<char>((size >> 21) & 0x7F), static_cast<char>((size >> 14) & 0x7F),
                             static_cast<char>((size >> 7) & 0x7F), static_cast<char>(size & 0x7F)};
  std::string tag = std::string("ID3\x03\x00\x00", 6) + syncSafe + frames;
  tag.resize(10 + size, '\0');
  return tag;
}

// Writes bytes to a new file at path; false when it cannot be written whole.
inline bool writeNewFile(const std::string& path, const std::string& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0)
    return false;
  const bool ok = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  close(fd);
  return ok;
}

}  // namespace plinka::bench
