// Exclusive use of the upcoming list and the song table, held for a scope:
// the guard asks for it under its busy code and gives it back on every path
// out, so no job can forget the release.
#pragma once

#include "core/busy_code.h"

#include <cstdint>

namespace plinka {

struct CoreContext;

// For a long job between its steps (a record, a block of a copy): tells the
// heartbeat's watchdog that the job holding `code` is at work, so that the
// watchdog does not free the code under it, and says whether the job still
// holds it. False once the code was freed (a step outlasted the watchdog's
// limit) or passed to another job: the job must then not touch the song
// table handle (app.songTable) again, since another job may have opened it,
// and ends. A job that holds no code tells the watchdog nothing: the
// watchdog still frees a code some other job left stuck.
bool stillHolding(CoreContext& app, BusyCode code);

class ExclusiveAccess {
public:
  // Asks for exclusive use under `code` (see requestExclusive); holds it when
  // granted.
  ExclusiveAccess(CoreContext& app, BusyCode code, uint32_t patience, uint32_t argument = 0);
  // For a program that runs one job alone, with no processor thread (the
  // command-line verbs): takes exclusive use at once when nobody holds it.
  static ExclusiveAccess grantNow(CoreContext& app, BusyCode code);

  ExclusiveAccess(ExclusiveAccess&& other) noexcept;
  ExclusiveAccess(const ExclusiveAccess&) = delete;
  ExclusiveAccess& operator=(const ExclusiveAccess&) = delete;
  ExclusiveAccess& operator=(ExclusiveAccess&&) = delete;
  ~ExclusiveAccess() { release(); }

  // True while the use is held: granted, not given back, and not taken away
  // by the watchdog meanwhile.
  bool held() const;
  explicit operator bool() const { return held(); }

  // For a long job between its steps: tells the watchdog the job is at
  // work and says whether the use is still held (see stillHolding).
  bool alive() const;

  // Gives the use back now. The busy code is cleared only while it is still
  // this guard's: one the watchdog freed and another job took since is left
  // to that job.
  void release();

private:
  ExclusiveAccess(CoreContext& app, BusyCode code) : app_(&app), code_(code) {}

  CoreContext* app_;
  BusyCode code_;
  bool granted_ = false;
};

}  // namespace plinka
