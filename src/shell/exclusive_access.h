// Exclusive use of the upcoming list and the song table, held for a scope:
// the guard asks for it under its busy code and gives it back on every path
// out, so no job can forget the release.
#pragma once

#include "shell/busy_code.h"

#include <cstdint>

namespace plinka {

struct App;

class ExclusiveAccess {
public:
  // Asks for exclusive use under `code` (see requestExclusive); holds it when
  // granted.
  ExclusiveAccess(App& app, BusyCode code, uint32_t patience, uint32_t argument = 0);
  // For a program that runs one job alone, with no processor thread (the
  // command-line verbs): takes exclusive use at once when nobody holds it.
  static ExclusiveAccess grantNow(App& app, BusyCode code);

  ExclusiveAccess(ExclusiveAccess&& other) noexcept;
  ExclusiveAccess(const ExclusiveAccess&) = delete;
  ExclusiveAccess& operator=(const ExclusiveAccess&) = delete;
  ExclusiveAccess& operator=(ExclusiveAccess&&) = delete;
  ~ExclusiveAccess() { release(); }

  // True while the use is held: granted, not given back, and not taken away
  // by the watchdog meanwhile.
  bool held() const;
  explicit operator bool() const { return held(); }

  // Gives the use back now. The busy code is cleared only while it is still
  // this guard's: one the watchdog freed and another job took since is left
  // to that job.
  void release();

private:
  ExclusiveAccess(App& app, BusyCode code) : app_(&app), code_(code) {}

  App* app_;
  BusyCode code_;
  bool granted_ = false;
};

}  // namespace plinka
