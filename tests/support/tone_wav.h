// A WAV file of a sine tone, mono 16-bit PCM, written in code: the playback
// tests and the gap benchmark play it through the real media framework.
#pragma once

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>

namespace plinka::test {

inline void writeToneWav(const std::string& path, uint32_t ms, double hz, uint32_t rate = 22050) {
  const uint32_t samples = static_cast<uint32_t>(static_cast<uint64_t>(rate) * ms / 1000);
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  out.write("RIFF", 4);
  u32(36 + samples * 2);
  out.write("WAVEfmt ", 8);
  u32(16), u16(1), u16(1), u32(rate), u32(rate * 2), u16(2), u16(16);
  out.write("data", 4);
  u32(samples * 2);
  for (uint32_t i = 0; i < samples; ++i)
    u16(static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(6.283185 * hz * i / rate))));
}

}  // namespace plinka::test
