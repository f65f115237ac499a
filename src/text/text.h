// Small text, number and path routines used everywhere.
//
// Texts are zero-terminated single-byte strings in fixed-size buffers. Every
// routine that writes into a buffer is told the buffer's capacity and never
// writes past it; the ones that copy report the full length of what they were
// asked to copy, so a caller can tell that it did not fit and refuse it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace plinka::text {

// Decimal text to number: every character up to the terminating zero is taken
// as a digit (value = value * 10 + (c - '0')), with no check that it is one.
// Arithmetic wraps like any unsigned 32-bit value.
uint32_t toNumber(const char* text);

// Signed decimal text of n into out (capacity at least 12); returns the length.
size_t fromNumber(int32_t n, char* out, size_t cap);
// Unsigned decimal text, as numbers are shown to the user.
size_t fromUnsigned(uint32_t n, char* out, size_t cap);
// Unsigned decimal text with a comma between groups of three digits
// ("20,000"), as counts are shown in sentences.
std::string withThousands(uint32_t n);

// 1-based position of pattern in text, searching from the 1-based start.
// 0 = not found, -1 = the pattern is not shorter than the text, -2 = start lies
// outside the text.
int32_t position(const char* text, const char* pattern, int32_t start);

// Length of a text.
size_t length(const char* text);

// Copies src into dst (capacity cap, always terminated when cap > 0) and
// returns the length of src: a result >= cap means it was cut.
size_t copy(char* dst, size_t cap, const char* src);
template <size_t N> size_t copy(char (&dst)[N], const char* src) { return copy(dst, N, src); }

// Appends src to the text in dst; returns the length the joined text needs
// (>= cap means it was cut).
size_t append(char* dst, size_t cap, const char* src);
template <size_t N> size_t append(char (&dst)[N], const char* src) { return append(dst, N, src); }

// Lower-cases the letters A-Z in place; every other byte stays.
void lowerAscii(char* text);

// Copies exactly n bytes of src starting at offset and puts a zero after them.
// dst needs room for n + 1 bytes; false (dst emptied) when it has not.
bool copyAt(char* dst, size_t cap, const char* src, size_t offset, size_t n);

// Copies src reversed into dst; returns the length of src.
size_t copyReversed(char* dst, size_t cap, const char* src);

// Copies the rightmost n characters of src (all of it when it is shorter).
size_t copyRight(char* dst, size_t cap, const char* src, size_t n);

// Copies n bytes of memory.
void copyMemory(void* dst, const void* src, size_t n);

// Last component of a path; a trailing '/' is ignored ("a/b/" gives "b").
size_t lastComponent(char* dst, size_t cap, const char* path);

// How many of the n bytes of UTF-8 text to keep so that at most max remain
// and the kept part does not end inside a character.
size_t utf8Fit(const char* text, size_t n, size_t max);

// The text held in a fixed-size buffer, read no further than the buffer's
// end even when it holds no terminating zero.
inline std::string fixedText(const char* buffer, size_t capacity) {
  return std::string(buffer, strnlen(buffer, capacity));
}
template <size_t N> std::string fixedText(const char (&buffer)[N]) { return fixedText(buffer, N); }

}  // namespace plinka::text
