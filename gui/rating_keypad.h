// The rating keypad: eleven rating buttons from 10 down to 0, "D" to delete
// the rating, and Cancel. It runs on the GUI thread and returns when it is
// closed; the caller keeps the dialog-open flag and the prompt result (QtUi
// does that for the engine). It takes the window it belongs to (the main
// window once it exists) and stays above it.
#pragma once

#include <QDialog>

#include <cstdint>
#include <memory>

namespace Ui {
class RatingKeypad;
}

namespace plinka::gui {

class RatingKeypad : public QDialog {
  Q_OBJECT

public:
  // Each rating button ends the dialog with kKeypadRating + its rating, "D"
  // with kKeypadDelete, Cancel with kPromptSecond.
  explicit RatingKeypad(QWidget* parent);
  ~RatingKeypad() override;

private:
  std::unique_ptr<::Ui::RatingKeypad> ui_;
};

// Shows the keypad modally: kKeypadRating + r for the rating r, kKeypadDelete
// for "D", kPromptSecond for "Cancel" or Escape.
uint32_t runRatingKeypad(QWidget* parent = nullptr);

}  // namespace plinka::gui
