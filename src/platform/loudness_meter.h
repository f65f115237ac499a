// TEMPORARY STUB (not committed)
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
namespace plinka::platform {
struct LoudnessResult {
  enum class Outcome : uint8_t { Measured, Silent, Failed, Cancelled };
  Outcome outcome = Outcome::Failed;
  double lufs = 0;
  uint32_t durationMs = 0;
  std::string error;
};
LoudnessResult measureLoudness(const char* path, const std::atomic<uint32_t>* cancel = nullptr,
                               const std::function<void(uint32_t, uint32_t)>& progress = {});
}
