#include "library/lame_scan.h"

#include "library/file_access.h"

#include <cstddef>

namespace plinka::library {

namespace {

// The marker must begin before this many bytes have been read.
constexpr size_t kScanLimit = 5000;

}  // namespace

bool lameMarkerFound(const char* path) {
  const int fd = openForReading(path);
  if (fd < 0)
    return false;
  FileCloser closer(fd);
  // A marker starting at the last byte of the limit ends three bytes later.
  uint8_t buf[kScanLimit + 3];
  const size_t n = readAt(fd, buf, sizeof buf, 0);
  size_t i = 0;
  // The limit is checked only before a byte that could begin the marker.
  while (i < kScanLimit && i < n) {
    if (buf[i++] != 'L')
      continue;
    if (i >= n || buf[i++] != 'A')
      continue;
    if (i >= n || buf[i++] != 'M')
      continue;
    if (i >= n || buf[i++] != 'E')
      continue;
    return true;
  }
  return false;
}

}  // namespace plinka::library
