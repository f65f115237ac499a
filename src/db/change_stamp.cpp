#include "db/change_stamp.h"

#include "platform/files.h"
#include "platform/random_bytes.h"

#include <chrono>
#include <cstring>

namespace plinka::db {

std::string changeStampPath(const std::string& tablePath) { return tablePath + ".stamp"; }

uint64_t readChangeStamp(const std::string& tablePath) {
  std::string bytes;
  if (!platform::readWholeFile(changeStampPath(tablePath), bytes) || bytes.size() != sizeof(uint64_t))
    return 0;
  uint64_t stamp = 0;
  std::memcpy(&stamp, bytes.data(), sizeof stamp);
  return stamp;
}

uint64_t renewChangeStamp(const std::string& tablePath) {
  uint64_t stamp = 0;
  if (!platform::randomBytes(&stamp, sizeof stamp))
    stamp = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) * 0x9E3779B97F4A7C15ull;
  if (stamp == 0)
    stamp = 1;
  const std::string path = changeStampPath(tablePath);
  if (platform::replaceFile(path, reinterpret_cast<const char*>(&stamp), sizeof stamp))
    return stamp;
  // A stamp that could not be renewed must not keep vouching for the old
  // contents.
  platform::removeFile(path);
  return 0;
}

}  // namespace plinka::db
