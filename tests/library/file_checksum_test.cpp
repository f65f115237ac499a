#include "library/file_checksum.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace plinka;
using library::fileChecksum;
using library::kChecksumChunk;
using plinka::test::TempDir;

namespace {

// The checksum computed the plain way: every chunk read whole into one
// zero-filled buffer of a full chunk's size, and the stepping run over it.
uint32_t wholeBufferChecksum(const std::string& path) {
  static std::vector<uint8_t> buf;
  buf.assign(kChecksumChunk, 0);
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f)
    return 0;
  struct stat st {};
  fstat(fileno(f), &st);
  uint32_t remaining = static_cast<uint32_t>(st.st_size);
  uint32_t a = 1, b = 0;
  while (remaining != 0) {
    const uint32_t n = std::min(remaining, kChecksumChunk);
    if (std::fread(buf.data(), 1, n, f) != n)
      ADD_FAILURE() << "short read of " << path;
    uint32_t r = n;
    size_t p = 0;
    while (r != 0) {
      a += uint32_t{buf[p]} | uint32_t{buf[p + 1]} << 8 | uint32_t{buf[p + 2]} << 16 | uint32_t{buf[p + 3]} << 24;
      ++p;
      b += a;
      if (r > 3) {
        r -= 4;
        continue;
      }
      uint32_t t = 0;
      if (r == 3)
        t = uint32_t{buf[p]} * (1u << 24) + uint32_t{buf[p + 2]} * (1u << 8);
      else if (r == 2)
        t = uint32_t{buf[p]} * (1u << 16) + uint32_t{buf[p + 1]} * (1u << 24);
      else
        t = uint32_t{buf[p]} * (1u << 24);
      a += t;
      b += a;
      r = 0;
    }
    remaining -= n;
  }
  std::fclose(f);
  const uint32_t result = (a << 16) + (b & 0xFFFF);
  return result == 0 ? 1 : result;
}

// A sparse file of the given size with random bytes written at the places the
// stepping reads: around each chunk's start, the end of the part of each chunk
// that is read, and the end of the file.
void writeSparse(const std::string& path, uint64_t size, std::mt19937& rng) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
  std::vector<std::pair<uint64_t, uint64_t>> windows;
  for (uint64_t chunk = 0; chunk < size; chunk += kChecksumChunk) {
    windows.push_back({chunk >= 16 ? chunk - 16 : 0, chunk + 64});
    windows.push_back({chunk + kChecksumChunk / 4 - 16, chunk + kChecksumChunk / 4 + 16});
  }
  windows.push_back({size >= 16 ? size - 16 : 0, size});
  for (auto [from, to] : windows) {
    to = std::min(to, size);
    for (uint64_t at = from; at < to; ++at) {
      const auto byte = static_cast<unsigned char>(rng() | 1);  // never zero, so leftovers show
      ASSERT_EQ(pwrite(fd, &byte, 1, static_cast<off_t>(at)), 1);
    }
  }
  close(fd);
}

}  // namespace

TEST(FileChecksum, KnownValues) {
  TempDir dir;
  struct Case {
    const char* label;
    std::string bytes;
    uint32_t sum;
  } cases[] = {
      {"abc", "abc", 0x6262C4C4u},
      {"empty file", "", 0x00010000u},
  };
  for (const auto& c : cases) {
    test::writeFile(dir.file("f"), c.bytes);
    EXPECT_EQ(fileChecksum(dir.file("f").c_str()), c.sum) << c.label;
  }
  EXPECT_EQ(fileChecksum(dir.file("missing").c_str()), 0u);
  EXPECT_EQ(fileChecksum(dir.path().c_str()), 0u);  // a folder cannot be read as a file
}

TEST(FileChecksum, SameAsTheWholeBufferWayForSmallFiles) {
  TempDir dir;
  std::mt19937 rng(1234);
  std::vector<size_t> sizes;
  for (size_t n = 0; n <= 40; ++n)
    sizes.push_back(n);
  for (size_t n : {63u, 64u, 65u, 1000u, 4093u, 4096u, 65537u})
    sizes.push_back(n);
  for (size_t n : sizes) {
    std::string bytes(n, '\0');
    for (char& c : bytes)
      c = static_cast<char>(rng());
    const std::string path = dir.file("f" + std::to_string(n));
    test::writeFile(path, bytes);
    EXPECT_EQ(fileChecksum(path.c_str()), wholeBufferChecksum(path)) << n << " bytes";
  }
}

TEST(FileChecksum, SameAsTheWholeBufferWayAroundChunkBoundaries) {
  TempDir dir;
  std::mt19937 rng(99);
  std::vector<uint64_t> sizes;
  for (uint64_t n = kChecksumChunk - 4; n <= kChecksumChunk + 5; ++n)
    sizes.push_back(n);
  for (uint64_t n = 1; n <= 5; ++n)
    sizes.push_back(2ull * kChecksumChunk + n);
  const std::string path = dir.file("sparse");
  for (uint64_t size : sizes) {
    writeSparse(path, size, rng);
    EXPECT_EQ(fileChecksum(path.c_str()), wholeBufferChecksum(path)) << size << " bytes";
  }
}

TEST(FileChecksum, OnlyTheLow32BitsOfTheSizeCount) {
  TempDir dir;
  const std::string big = dir.file("big");
  const int fd = open(big.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  const bool sparseOk = ftruncate(fd, static_cast<off_t>((1ull << 32) + 5)) == 0;
  if (sparseOk) {
    EXPECT_EQ(pwrite(fd, "hello", 5, 0), 5);
  }
  close(fd);
  if (!sparseOk) {
    GTEST_SKIP() << "no sparse files of 4 GiB here";
  }
  test::writeFile(dir.file("small"), "hello");
  EXPECT_EQ(fileChecksum(big.c_str()), fileChecksum(dir.file("small").c_str()));
}
