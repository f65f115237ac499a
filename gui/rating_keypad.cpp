#include "gui/rating_keypad.h"

#include "core/front_end.h"
#include "gui/toolbar_images.h"

#include "ui_rating_keypad.h"

#include <iterator>

namespace plinka::gui {

RatingKeypad::RatingKeypad(QWidget* parent) : QDialog(parent), ui_(std::make_unique<::Ui::RatingKeypad>()) {
  ui_->setupUi(this);
  setWindowIcon(programIcon());
  QPushButton* const ratings[] = {ui_->rating0, ui_->rating1, ui_->rating2, ui_->rating3, ui_->rating4, ui_->rating5,
                                  ui_->rating6, ui_->rating7, ui_->rating8, ui_->rating9, ui_->rating10};
  for (uint32_t r = 0; r < std::size(ratings); ++r)
    connect(ratings[r], &QPushButton::clicked, this, [this, r] { done(static_cast<int>(kKeypadRating + r)); });
  connect(ui_->ratingD, &QPushButton::clicked, this, [this] { done(static_cast<int>(kKeypadDelete)); });
  connect(ui_->cancel, &QPushButton::clicked, this, [this] { done(kPromptSecond); });
}

RatingKeypad::~RatingKeypad() = default;

uint32_t runRatingKeypad(QWidget* parent) {
  RatingKeypad keypad(parent);
  const int result = keypad.exec();
  // Keypad buttons answer with their own codes; anything else (Cancel,
  // Escape, closing the window) is the second answer.
  return result >= static_cast<int>(kKeypadRating) ? static_cast<uint32_t>(result) : kPromptSecond;
}

}  // namespace plinka::gui
