#include "core/status_message.h"

#include "core/core_context.h"

namespace plinka {

void setOneShotMessage(CoreContext& app, const std::string& text) {
  {
    std::lock_guard lock(app.status.messageMutex);
    app.status.message = text.substr(0, kOneShotMessageMax);
  }
  app.status.messagePending.store(1);
}

void noticeStatusChanged(CoreContext& app) {
  if (app.status.changed)
    app.status.changed();
}

}  // namespace plinka
