#include "platform/random_bytes.h"

#include <cerrno>
#include <sys/random.h>

namespace plinka::platform {

bool randomBytes(void* out, size_t n) {
  auto* at = static_cast<unsigned char*>(out);
  size_t got = 0;
  while (got < n) {
    const ssize_t r = getrandom(at + got, n - got, 0);
    if (r < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    if (r == 0) {
      return false;
    }
    got += static_cast<size_t>(r);
  }
  return true;
}

}  // namespace plinka::platform
