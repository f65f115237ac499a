// The Welcome window of a first start: "Import music now" or "No, I have
// other plans". It runs on the GUI thread and returns when it is closed; the
// caller keeps the dialog-open flag (QtUi does that for the engine).
#pragma once

#include <QDialog>

#include <cstdint>
#include <memory>

namespace Ui {
class WelcomeDialog;
}

namespace plinka::gui {

class WelcomeDialog : public QDialog {
  Q_OBJECT

public:
  // The first button ends the dialog with kPromptFirst, the second with
  // kPromptSecond.
  explicit WelcomeDialog(QWidget* parent);
  ~WelcomeDialog() override;

private:
  std::unique_ptr<::Ui::WelcomeDialog> ui_;
};

// Shows the Welcome window modally: kPromptFirst for "Import music now",
// kPromptSecond for "No, I have other plans" (or Escape).
uint32_t runWelcome(QWidget* parent = nullptr);

}  // namespace plinka::gui
