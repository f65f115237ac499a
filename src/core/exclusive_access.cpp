#include "core/exclusive_access.h"

#include "core/core_context.h"
#include "core/run_state.h"

namespace plinka {

bool stillHolding(CoreContext& app, BusyCode code) {
  RunState& run = app.run;
  if (run.busyCode.load() != codeValue(code))
    return false;
  run.watchdogCounter.store(0);
  // The watchdog may have counted past its limit just before the reset;
  // what it freed then shows here, or at the job's next step.
  return run.busyCode.load() == codeValue(code);
}

ExclusiveAccess::ExclusiveAccess(CoreContext& app, BusyCode code, uint32_t patience, uint32_t argument)
    : app_(&app), code_(code) {
  granted_ = requestExclusive(app, code, argument, patience) == AccessOutcome::Granted;
}

ExclusiveAccess ExclusiveAccess::grantNow(CoreContext& app, BusyCode code) {
  ExclusiveAccess access(app, code);
  access.granted_ = grantExclusiveNow(app, code) == AccessOutcome::Granted;
  return access;
}

ExclusiveAccess::ExclusiveAccess(ExclusiveAccess&& other) noexcept
    : app_(other.app_), code_(other.code_), granted_(other.granted_) {
  other.granted_ = false;
}

bool ExclusiveAccess::held() const { return granted_ && app_->run.busyCode.load() == codeValue(code_); }

bool ExclusiveAccess::alive() const { return granted_ && stillHolding(*app_, code_); }

void ExclusiveAccess::release() {
  if (!granted_)
    return;
  granted_ = false;
  releaseExclusiveIfHeld(*app_, code_);
}

}  // namespace plinka
