#include "platform/collate.h"

#include <cstring>

namespace plinka::platform {

int collate(const char* a, const char* b) { return std::strcoll(a, b); }

std::string collationKey(const char* text) {
  std::string key(std::strlen(text) * 2 + 16, '\0');
  size_t need = std::strxfrm(key.data(), text, key.size());
  if (need >= key.size()) {
    key.assign(need + 1, '\0');
    need = std::strxfrm(key.data(), text, key.size());
  }
  key.resize(need);
  return key;
}

}  // namespace plinka::platform
