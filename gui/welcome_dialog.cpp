#include "gui/welcome_dialog.h"

#include "core/front_end.h"
#include "gui/toolbar_images.h"

#include "ui_welcome_dialog.h"

#include <QFont>

namespace plinka::gui {

namespace {

// Pixel height of the two buttons' captions.
constexpr int kWelcomeFontPixels = 25;

}  // namespace

WelcomeDialog::WelcomeDialog(QWidget* parent) : QDialog(parent), ui_(std::make_unique<::Ui::WelcomeDialog>()) {
  // The icon first: it makes the built-in pictures the form shows available.
  const QIcon icon = programIcon();
  ui_->setupUi(this);
  setWindowIcon(icon);
  QFont font("Arial");
  font.setPixelSize(kWelcomeFontPixels);
  ui_->first->setFont(font);
  ui_->second->setFont(font);
  connect(ui_->first, &QPushButton::clicked, this, [this] { done(kPromptFirst); });
  connect(ui_->second, &QPushButton::clicked, this, [this] { done(kPromptSecond); });
}

WelcomeDialog::~WelcomeDialog() = default;

uint32_t runWelcome(QWidget* parent) {
  WelcomeDialog welcome(parent);
  return welcome.exec() == static_cast<int>(kPromptFirst) ? kPromptFirst : kPromptSecond;
}

}  // namespace plinka::gui
