#include "gui/about_dialog.h"

#include "gui/toolbar_images.h"

#include "ui_about_dialog.h"

namespace plinka::gui {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent), ui_(std::make_unique<::Ui::AboutDialog>()) {
  // The icon first: it makes the built-in pictures the form shows available.
  const QIcon icon = programIcon();
  ui_->setupUi(this);
  setWindowIcon(icon);
}

AboutDialog::~AboutDialog() = default;

void runAbout(QWidget* parent) {
  AboutDialog about(parent);
  about.exec();
}

}  // namespace plinka::gui
