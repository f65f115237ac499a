// What every harness needs around the reader it drives: a private folder for
// the files it hands over, one file written there from the fuzzer's bytes,
// and a stop that makes a broken promise a crash the fuzzer reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace plinka::fuzz {

// A folder of its own under the system's temporary folder, made on first use
// and kept for the whole run (each input overwrites the files in it).
inline const std::string& scratchFolder() {
  static const std::string folder = [] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/plinka-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data()))
      std::abort();
    return pattern + "/";
  }();
  return folder;
}

// Replaces the file at path with the given bytes. No sync: the file lives
// only for one input.
inline void writeInput(const std::string& path, const uint8_t* data, size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0)
    std::abort();
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n <= 0)
      std::abort();
    data += n;
    size -= static_cast<size_t>(n);
  }
  ::close(fd);
}

// Stops the run when a reader broke one of its promises.
inline void require(bool promise) {
  if (!promise)
    __builtin_trap();
}

// True when s (of at most n bytes) is terminated and well-formed UTF-8.
inline bool terminatedUtf8(const char* s, size_t n) {
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  size_t i = 0;
  while (i < n && p[i] != 0) {
    const unsigned c = p[i];
    size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (len == 0 || i + len > n)
      return false;
    for (size_t k = 1; k < len; ++k)
      if ((p[i + k] & 0xC0) != 0x80)
        return false;
    i += len;
  }
  return i < n;
}

}  // namespace plinka::fuzz
