#include "gui/tray_icon.h"

#include "app/app.h"
#include "desk/window_commands.h"
#include "gui/qt_text.h"
#include "gui/toolbar_images.h"

#include <QSystemTrayIcon>
#include <QWidget>

#include <utility>

namespace plinka::gui {

TrayIcon::TrayIcon(App& app, QWidget* window, std::function<void()> rightClick)
    : app_(app), window_(window), rightClick_(std::move(rightClick)) {}

// The icon goes with this object rather than with the window after it: its
// clicks refer to this object.
TrayIcon::~TrayIcon() { delete icon_; }

void TrayIcon::takeWindow() {
  if (!icon_) {
    icon_ = new QSystemTrayIcon(programIcon(), window_);
    QObject::connect(icon_, &QSystemTrayIcon::activated, icon_, [this](QSystemTrayIcon::ActivationReason reason) {
      icon_->setToolTip(toQ(trayTip(app_)));
      if (reason == QSystemTrayIcon::Trigger)
        giveWindowBack();
      else if (reason == QSystemTrayIcon::Context && rightClick_)
        rightClick_();
    });
  }
  icon_->setToolTip(kProgramTitle);
  icon_->show();
  app_.player.inTray.store(1);
  app_.settings.maximised = 0;
  window_->hide();
}

void TrayIcon::giveWindowBack() {
  app_.player.inTray.store(0);
  if (icon_)
    icon_->hide();
  window_->showNormal();
  window_->raise();
  window_->activateWindow();
}

void TrayIcon::refreshTip() {
  if (icon_)
    icon_->setToolTip(toQ(trayTip(app_)));
}

void TrayIcon::hide() {
  if (icon_)
    icon_->hide();
}

}  // namespace plinka::gui
