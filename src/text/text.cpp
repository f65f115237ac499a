#include "text/text.h"

#include <cstring>

namespace plinka::text {

uint32_t toNumber(const char* text) {
  uint32_t value = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
    value = value * 10u + (static_cast<uint32_t>(*p) - static_cast<uint32_t>('0'));
  return value;
}

std::string withThousands(uint32_t n) {
  std::string digits = std::to_string(n);
  for (size_t at = digits.size(); at > 3; at -= 3)
    digits.insert(at - 3, 1, ',');
  return digits;
}

size_t fromUnsigned(uint32_t n, char* out, size_t cap) {
  char digits[12];
  size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  char reversed[12];
  for (size_t i = 0; i < count; ++i)
    reversed[i] = digits[count - 1 - i];
  reversed[count] = 0;
  return copy(out, cap, reversed);
}

size_t fromNumber(int32_t n, char* out, size_t cap) {
  if (n >= 0)
    return fromUnsigned(static_cast<uint32_t>(n), out, cap);
  char buf[13];
  buf[0] = '-';
  // The magnitude of INT32_MIN still fits an unsigned word.
  fromUnsigned(0u - static_cast<uint32_t>(n), buf + 1, sizeof buf - 1);
  return copy(out, cap, buf);
}

int32_t position(const char* text, const char* pattern, int32_t start) {
  const size_t textLen = std::strlen(text);
  const size_t patternLen = std::strlen(pattern);
  if (patternLen >= textLen)
    return -1;
  if (start < 1 || static_cast<size_t>(start) > textLen)
    return -2;
  for (size_t at = static_cast<size_t>(start) - 1; at + patternLen <= textLen; ++at)
    if (std::memcmp(text + at, pattern, patternLen) == 0)
      return static_cast<int32_t>(at + 1);
  return 0;
}

size_t length(const char* text) { return std::strlen(text); }

size_t copy(char* dst, size_t cap, const char* src) {
  const size_t len = std::strlen(src);
  if (cap == 0)
    return len;
  const size_t n = len < cap ? len : cap - 1;
  std::memmove(dst, src, n);
  dst[n] = 0;
  return len;
}

size_t append(char* dst, size_t cap, const char* src) {
  const size_t have = strnlen(dst, cap);
  if (have >= cap)
    return have + std::strlen(src);
  return have + copy(dst + have, cap - have, src);
}

void lowerAscii(char* text) {
  for (; *text; ++text)
    if (*text >= 'A' && *text <= 'Z')
      *text = static_cast<char>(*text + ('a' - 'A'));
}

bool copyAt(char* dst, size_t cap, const char* src, size_t offset, size_t n) {
  if (cap == 0)
    return false;
  if (n >= cap) {
    dst[0] = 0;
    return false;
  }
  std::memmove(dst, src + offset, n);
  dst[n] = 0;
  return true;
}

size_t copyReversed(char* dst, size_t cap, const char* src) {
  const size_t len = std::strlen(src);
  if (cap == 0)
    return len;
  // Only the last cap-1 characters of src can appear reversed in dst.
  const size_t n = len < cap ? len : cap - 1;
  for (size_t i = 0; i < n; ++i)
    dst[i] = src[len - 1 - i];
  dst[n] = 0;
  return len;
}

size_t copyRight(char* dst, size_t cap, const char* src, size_t n) {
  const size_t len = std::strlen(src);
  const size_t from = len > n ? len - n : 0;
  return copy(dst, cap, src + from);
}

void copyMemory(void* dst, const void* src, size_t n) { std::memmove(dst, src, n); }

size_t lastComponent(char* dst, size_t cap, const char* path) {
  size_t end = std::strlen(path);
  if (end > 0 && path[end - 1] == '/')
    --end;
  size_t begin = end;
  while (begin > 0 && path[begin - 1] != '/')
    --begin;
  const size_t len = end - begin;
  if (cap == 0)
    return len;
  const size_t n = len < cap ? len : cap - 1;
  std::memmove(dst, path + begin, n);
  dst[n] = 0;
  return len;
}

size_t utf8Fit(const char* text, size_t n, size_t max) {
  if (n <= max)
    return n;
  size_t keep = max;
  // text[keep] continues a character: end before that character.
  while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80)
    --keep;
  return keep;
}

}  // namespace plinka::text
