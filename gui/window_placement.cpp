#include "gui/window_placement.h"

#include "core/settings_record.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cstring>

namespace plinka::gui {

namespace {

// The least part of a window, in pixels each way, that a screen must show
// for the window to count as reachable there.
constexpr int kReachableWidth = 100;
constexpr int kReachableHeight = 40;

// A window at `place` can be reached on some connected screen.
bool onSomeScreen(const QRect& place) {
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect shown = screen->availableGeometry().intersected(place);
    if (shown.width() >= std::min(kReachableWidth, place.width()) &&
        shown.height() >= std::min(kReachableHeight, place.height()))
      return true;
  }
  return false;
}

// `place` moved onto the primary screen: its size kept where the screen
// holds it, centred.
QRect onPrimaryScreen(const QRect& place) {
  const QScreen* primary = QGuiApplication::primaryScreen();
  if (!primary)
    return place;
  const QRect area = primary->availableGeometry();
  QRect moved(QPoint(0, 0), place.size().boundedTo(area.size()));
  moved.moveCenter(area.center());
  return moved;
}

}  // namespace

void storeWindowPlacement(const QWidget& window, SettingsRecord& settings) {
  const QRect normal = window.isMaximized() || window.isFullScreen() ? window.normalGeometry() : window.geometry();
  WindowPlacement p{};
  p.length = sizeof(WindowPlacement);
  p.showCommand = window.isMaximized() ? kShowMaximised : kShowNormal;
  p.left = normal.left();
  p.top = normal.top();
  p.right = normal.left() + normal.width();
  p.bottom = normal.top() + normal.height();
  // The record is packed: the place is copied in, not written through a
  // reference.
  std::memcpy(&settings.windowPlacement, &p, sizeof p);
}

void restoreWindowPlacement(QWidget& window, const SettingsRecord& settings) {
  WindowPlacement p;
  std::memcpy(&p, &settings.windowPlacement, sizeof p);
  const int w = p.right - p.left;
  const int h = p.bottom - p.top;
  if (p.length == static_cast<int32_t>(sizeof(WindowPlacement)) && w >= 100 && h >= 60 && w <= 20000 && h <= 20000) {
    const QRect stored(p.left, p.top, w, h);
    window.setGeometry(onSomeScreen(stored) ? stored : onPrimaryScreen(stored));
  }
}

}  // namespace plinka::gui
