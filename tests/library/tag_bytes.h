// Builders for tag bytes written out by hand in tests: version 2 headers and
// frames of each version, version 1 blocks, and text in each encoding.
#pragma once

#include <cstdint>
#include <string>

namespace plinka::test::tags {

inline std::string bigEndian32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}
inline std::string bigEndian24(uint32_t v) {
  return {static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}
inline std::string syncSafe(uint32_t v) {
  return {static_cast<char>((v >> 21) & 0x7F), static_cast<char>((v >> 14) & 0x7F), static_cast<char>((v >> 7) & 0x7F),
          static_cast<char>(v & 0x7F)};
}

// A frame of version 2.2 (three-letter id, 24-bit size), 2.3 (plain 32-bit
// size) or 2.4 (sync-safe size). flags are the two flag bytes (2.3 and 2.4).
inline std::string frame(int major, const std::string& id, const std::string& payload, uint16_t flags = 0) {
  const auto size = static_cast<uint32_t>(payload.size());
  if (major == 2)
    return id + bigEndian24(size) + payload;
  const std::string flagBytes{static_cast<char>(flags >> 8), static_cast<char>(flags)};
  return id + (major == 3 ? bigEndian32(size) : syncSafe(size)) + flagBytes + payload;
}

// A frame whose size field says `declared` whatever the payload holds.
inline std::string frameDeclaring(int major, const std::string& id, uint32_t declared, const std::string& payload) {
  if (major == 2)
    return id + bigEndian24(declared) + payload;
  return id + (major == 3 ? bigEndian32(declared) : syncSafe(declared)) + std::string(2, '\0') + payload;
}

inline std::string header(int major, uint32_t size, uint8_t flags = 0) {
  return std::string("ID3") + static_cast<char>(major) + '\0' + static_cast<char>(flags) + syncSafe(size);
}

// A whole version 2 tag: header, frames, then `padding` zero bytes.
inline std::string tag(int major, const std::string& frames, size_t padding = 0, uint8_t flags = 0) {
  return header(major, static_cast<uint32_t>(frames.size() + padding), flags) + frames + std::string(padding, '\0');
}

// Text frame payloads: the encoding byte and the bytes of the text.
inline std::string latin1(const std::string& bytes) { return '\0' + bytes; }
inline std::string utf8(const std::string& bytes) { return '\3' + bytes; }

// UTF-16 code units as bytes, little- or big-endian.
inline std::string utf16Units(const std::u16string& text, bool bigEndian) {
  std::string out;
  for (char16_t u : text) {
    const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}
inline std::string bomLE(const std::u16string& text) { return "\xFF\xFE" + utf16Units(text, false); }
inline std::string bomBE(const std::u16string& text) { return "\xFE\xFF" + utf16Units(text, true); }

// The 128-byte version 1 block. Fields are given as raw bytes and zero-filled.
inline std::string v1Block(const std::string& title, const std::string& artist, const std::string& album,
                           const std::string& year, const std::string& comment) {
  auto field = [](std::string s, size_t n) {
    s.resize(n, '\0');
    return s;
  };
  return "TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4) + field(comment, 30) + '\xFF';
}

}  // namespace plinka::test::tags
