// File checksum: reading only the part of each chunk the stepping uses,
// against reading every chunk whole into the full work buffer. Files of a few
// sizes are made in a temporary folder; each is timed with its pages in the
// page cache (warm) and after they were dropped from it (cold, as during an
// import of files not read before). Prints both times and their ratio.
#include "library/file_checksum.h"

#include "bench_support.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using plinka::library::fileChecksum;
using plinka::library::kChecksumChunk;

namespace {

// The baseline: one zero-filled buffer of a full chunk per file, each chunk
// read whole into it, the stepping run over the buffer.
uint32_t wholeFileChecksum(const char* path) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return 0;
  std::unique_ptr<uint8_t, decltype(&std::free)> buf(static_cast<uint8_t*>(std::calloc(kChecksumChunk, 1)), &std::free);
  const off_t size = lseek(fd, 0, SEEK_END);
  lseek(fd, 0, SEEK_SET);
  uint32_t remaining = static_cast<uint32_t>(size);
  uint32_t a = 1, b = 0;
  while (remaining != 0) {
    const uint32_t n = std::min(remaining, kChecksumChunk);
    for (uint32_t done = 0; done < n;) {
      const ssize_t got = read(fd, buf.get() + done, n - done);
      if (got <= 0)
        break;
      done += static_cast<uint32_t>(got);
    }
    const uint8_t* p = buf.get();
    uint32_t r = n;
    for (; r > 3; r -= 4, ++p) {
      a += uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
      b += a;
    }
    if (r != 0) {
      a += uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
      ++p;
      b += a;
      a += r == 3   ? (uint32_t{p[0]} << 24 | uint32_t{p[2]} << 8)
           : r == 2 ? (uint32_t{p[0]} << 16 | uint32_t{p[1]} << 24)
                    : uint32_t{p[0]} << 24;
      b += a;
    }
    remaining -= n;
  }
  close(fd);
  const uint32_t result = (a << 16) + (b & 0xFFFF);
  return result == 0 ? 1 : result;
}

// Drops the file's pages from the page cache (it was synced when written).
void dropFromCache(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
  }
}

bool makeFile(const std::string& path, size_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0)
    return false;
  std::vector<uint64_t> block(1 << 17);
  uint64_t x = 0x9E3779B97F4A7C15ull ^ size;
  bool ok = true;
  for (size_t done = 0; ok && done < size;) {
    for (uint64_t& w : block) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      w = x;
    }
    const size_t n = std::min(size - done, block.size() * sizeof(uint64_t));
    ok = write(fd, block.data(), n) == static_cast<ssize_t>(n);
    done += n;
  }
  ok = ok && fsync(fd) == 0;
  close(fd);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::string dir = plinka::bench::makeScratchFolder("plinka-checksum-bench");
  if (dir.empty())
    return 1;
  struct Sample {
    std::string label;
    size_t size;
    std::string path;
  };
  std::vector<Sample> samples = {{"4MiB", 4u << 20, ""}, {"40MiB", 40u << 20, ""}, {"100MiB", 100u << 20, ""}};
  for (Sample& s : samples) {
    s.path = dir + "/" + s.label + ".bin";
    if (!makeFile(s.path, s.size)) {
      std::fprintf(stderr, "cannot write %s\n", s.path.c_str());
      return 1;
    }
    const uint32_t fast = fileChecksum(s.path.c_str()), whole = wholeFileChecksum(s.path.c_str());
    std::printf("%-7s checksum 0x%08X, baseline 0x%08X%s\n", s.label.c_str(), fast, whole,
                fast == whole ? "" : "  MISMATCH");
  }

  const char* methods[] = {"whole", "prefix"};
  for (const Sample& s : samples)
    for (bool cold : {false, true})
      for (const char* method : methods) {
        const std::string name = std::string(method) + "/" + s.label + (cold ? "/cold" : "/warm");
        const bool prefix = std::strcmp(method, "prefix") == 0;
        auto* b = benchmark::RegisterBenchmark(name.c_str(), [s, cold, prefix](benchmark::State& state) {
          for (auto _ : state) {
            if (cold) {
              state.PauseTiming();
              dropFromCache(s.path);
              state.ResumeTiming();
            }
            benchmark::DoNotOptimize(prefix ? fileChecksum(s.path.c_str()) : wholeFileChecksum(s.path.c_str()));
          }
          state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size));
        });
        b->Unit(benchmark::kMillisecond)->UseRealTime();
        if (cold)
          b->Iterations(s.size > (50u << 20) ? 3 : 5);
      }

  plinka::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\n%-14s %12s %12s %8s\n", "file", "whole ms", "prefix ms", "ratio");
  for (const Sample& s : samples)
    for (const char* cache : {"warm", "cold"}) {
      const std::string suffix = s.label + "/" + cache;
      const auto whole = reporter.seconds.find("whole/" + suffix), prefix = reporter.seconds.find("prefix/" + suffix);
      if (whole == reporter.seconds.end() || prefix == reporter.seconds.end())
        continue;
      std::printf("%-14s %12.2f %12.2f %7.2fx\n", suffix.c_str(), whole->second * 1e3, prefix->second * 1e3,
                  whole->second / prefix->second);
    }

  for (const Sample& s : samples)
    std::remove(s.path.c_str());
  rmdir(dir.c_str());
  benchmark::Shutdown();
  return 0;
}
