// Switching the computer off, behind a seam so that nothing but the real
// program can ever do it: the App starts with a control that only counts the
// requests, and main() installs the system one.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

namespace plinka::platform {

class PowerControl {
public:
  virtual ~PowerControl() = default;
  // Asks the system to power off. The outcome is not reported: when the
  // system refuses, the computer simply stays on.
  virtual void requestPowerOff() = 0;
};

// Does nothing but count the requests.
class RecordingPowerControl : public PowerControl {
public:
  void requestPowerOff() override { requests.fetch_add(1); }
  // Written by whichever thread asks for the power-off; read by tests.
  std::atomic<uint32_t> requests{0};
};

// Asks the system's power manager: runs `program poweroff` and waits for it.
// A program name without '/' is looked up on the search path.
class SystemPowerControl : public PowerControl {
public:
  explicit SystemPowerControl(std::string program = "systemctl") : program_(std::move(program)) {}
  void requestPowerOff() override;

private:
  std::string program_;
};

}  // namespace plinka::platform
