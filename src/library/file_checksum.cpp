#include "library/file_checksum.h"

#include "library/file_access.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace plinka::library {

namespace {

// Bytes from a chunk's start that the stepping reads for a chunk of n bytes:
// ceil(n / 4) word steps starting one byte apart, four bytes each (a tail
// reads no further than the last word did).
size_t bytesUsed(uint32_t n) { return (size_t{n} + 3) / 4 + 3; }

uint32_t littleEndian32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void stepChunk(const uint8_t* buf, uint32_t n, uint32_t& a, uint32_t& b) {
  uint32_t r = n;
  size_t p = 0;
  while (r > 3) {
    a += littleEndian32(buf + p);
    ++p;
    b += a;
    r -= 4;
  }
  if (r == 0)
    return;
  a += littleEndian32(buf + p);
  ++p;
  b += a;
  uint32_t t;
  if (r == 3)
    t = uint32_t{buf[p]} << 24 | uint32_t{buf[p + 2]} << 8;
  else if (r == 2)
    t = uint32_t{buf[p]} << 16 | uint32_t{buf[p + 1]} << 24;
  else
    t = uint32_t{buf[p]} << 24;
  a += t;
  b += a;
}

}  // namespace

uint32_t fileChecksum(const char* path) {
  uint64_t size = 0;
  const int fd = openForReading(path, &size);
  if (fd < 0)
    return 0;
  FileCloser closer(fd);

  uint32_t remaining = static_cast<uint32_t>(size);
  const size_t bufSize = bytesUsed(std::min(remaining, kChecksumChunk));
  std::unique_ptr<uint8_t[]> buf(new (std::nothrow) uint8_t[bufSize]);
  if (!buf)
    return 0;

  uint32_t a = 1;
  uint32_t b = 0;
  uint64_t chunkStart = 0;
  while (remaining != 0) {
    const uint32_t n = std::min(remaining, kChecksumChunk);
    const size_t used = bytesUsed(n);
    // The bytes used lie within the chunk's own data unless the chunk is
    // shorter than four bytes. A file that shrinks while it is read gives
    // zeros where its data was expected.
    const size_t own = std::min<size_t>(used, n);
    const size_t got = readAt(fd, buf.get(), own, chunkStart);
    std::memset(buf.get() + got, 0, used - got);
    if (own < used && chunkStart >= kChecksumChunk) {
      // The rest is what the previous (full) chunk left at the same places.
      const size_t left = readAt(fd, buf.get() + own, used - own, chunkStart - kChecksumChunk + own);
      std::memset(buf.get() + own + left, 0, used - own - left);
    }
    stepChunk(buf.get(), n, a, b);
    remaining -= n;
    chunkStart += n;
  }
  const uint32_t result = (a << 16) + (b & 0xFFFF);
  return result == 0 ? 1 : result;
}

}  // namespace plinka::library
