#include "gui/gui_hand_off.h"

#include <utility>

namespace plinka::gui {

GuiHandOff::GuiHandOff(QObject* parent) : QObject(parent) {}

void GuiHandOff::post(std::function<void()> body) {
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    waiting_.push_back(std::move(body));
  }
  QMetaObject::invokeMethod(this, "runOne", Qt::QueuedConnection);
}

void GuiHandOff::runOne() {
  std::function<void()> body;
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (waiting_.empty())
      return;
    body = std::move(waiting_.front());
    waiting_.pop_front();
  }
  // Run without the lock: the closure may hand over more closures.
  body();
}

}  // namespace plinka::gui
