#include "app/app.h"

#include "app/settings_file.h"
#include "desk/status_texts.h"

namespace plinka {

App::App() {
  status.changed = [this] { refreshStatus(*this); };
  hooks.saveSettings = [this] { saveSettings(*this); };
}

}  // namespace plinka
