// The 32-bit content checksum stored as a song's ID. Its stepping is odd but
// fixed: stored IDs depend on it, so it must never change.
#pragma once

#include <cstdint>

namespace plinka::library {

// The file is taken in chunks of this many bytes.
constexpr uint32_t kChecksumChunk = 20000064;

// Checksum of the file at path. 0 only when the file cannot be opened or the
// work buffer cannot be had; a computed 0 is given as 1.
//
// Per chunk of n bytes, starting from a = 1, b = 0: while at least four bytes
// remain to be counted, the little-endian word at byte p is added to a, p
// moves on by one byte (not four), a is added to b and four bytes are counted
// off. One to three bytes left over add one more word and then a tail value
// made from the bytes at p. The result is a * 2^16 + (b mod 2^16). Only the
// low 32 bits of the file size count.
//
// Because p moves by one while four bytes are counted off, a chunk of n bytes
// reads only its first n/4 + 4 or so bytes, and only those are read from the
// file. A chunk of fewer than four bytes reads past its own data into what the
// previous chunk left in the work buffer (zero in the first chunk); those
// bytes are read again from where that chunk took them.
uint32_t fileChecksum(const char* path);

}  // namespace plinka::library
