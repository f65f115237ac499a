#include "cli/verbs.h"

#include <cstdio>
#include <cstring>

namespace plinka::cli {

int usage(const char* words) {
  std::fprintf(stderr, "usage: plinkactl %s\n", words);
  return 2;
}

bool parseWholeNumber(const char* text, uint64_t lowest, uint64_t highest, uint64_t& out) {
  if (!text || !*text || std::strlen(text) > 12)
    return false;
  uint64_t value = 0;
  for (const char* c = text; *c; ++c) {
    if (*c < '0' || *c > '9')
      return false;
    value = value * 10 + static_cast<uint64_t>(*c - '0');
  }
  if (value < lowest || value > highest)
    return false;
  out = value;
  return true;
}

}  // namespace plinka::cli
