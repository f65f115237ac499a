#include "gui/question_dialog.h"

#include "gui/qt_text.h"
#include "gui/toolbar_images.h"
#include "text/text.h"

#include "ui_question_dialog.h"
#include "ui_question_dialog_entry.h"

#include <QFont>
#include <QTimer>

#include <algorithm>
#include <climits>

namespace plinka::gui {

namespace {

// Pixel heights of the prompt fonts.
constexpr int kButtonFontPixels = 20;
constexpr int kMessageFontPixels = 20;
constexpr int kSmallMessageFontPixels = 16;

QFont arial(int pixels) {
  QFont font("Arial");
  font.setPixelSize(pixels);
  return font;
}

// Milliseconds until an auto-close, at the clock's speed, within what a timer
// takes.
int autoCloseMs(uint32_t seconds, uint32_t clockSpeed) {
  const uint64_t ms = static_cast<uint64_t>(seconds) * 1000 / std::max<uint32_t>(clockSpeed, 1);
  return static_cast<int>(std::clamp<uint64_t>(ms, 1, INT_MAX));
}

}  // namespace

QuestionDialog::QuestionDialog(const PromptRequest& request, uint32_t clockSpeed, QWidget* parent) : QDialog(parent) {
  // The icon first: it makes the built-in pictures the forms show available.
  const QIcon icon = programIcon();
  QPlainTextEdit* message = nullptr;
  QPushButton* first = nullptr;
  QPushButton* second = nullptr;
  if (hasTextEntry(request.style)) {
    textEntry_ = std::make_unique<::Ui::TextEntryDialog>();
    textEntry_->setupUi(this);
    message = textEntry_->message;
    first = textEntry_->first;
    second = textEntry_->second;
    entry_ = textEntry_->entry;
    entry_->setText(toQ(request.entryText));
  } else {
    question_ = std::make_unique<::Ui::QuestionDialog>();
    question_->setupUi(this);
    message = question_->message;
    first = question_->first;
    second = question_->second;
  }
  setWindowIcon(icon);
  setWindowFlag(Qt::WindowStaysOnTopHint, request.topMost == 1);

  message->setFont(arial(isSmallFont(request.style) ? kSmallMessageFontPixels : kMessageFontPixels));
  message->setPlainText(toQ(request.message));
  first->setFont(arial(kButtonFontPixels));
  second->setFont(arial(kButtonFontPixels));
  first->setText(toQ(request.firstCaption));
  second->setText(toQ(request.secondCaption));
  connect(first, &QPushButton::clicked, this, [this] { done(kPromptFirst); });
  connect(second, &QPushButton::clicked, this, [this] { done(kPromptSecond); });

  if (request.autoCloseSeconds != 0) {
    autoClose_ = new QTimer(this);
    autoClose_->setSingleShot(true);
    autoClose_->setTimerType(Qt::PreciseTimer);
    connect(autoClose_, &QTimer::timeout, this, [this] { done(kPromptFirst); });
    autoClose_->start(autoCloseMs(request.autoCloseSeconds, clockSpeed));
  }
}

QuestionDialog::~QuestionDialog() = default;

std::string QuestionDialog::entered() const {
  if (!entry_)
    return {};
  const QByteArray text = entry_->text().toUtf8();
  return std::string(text.constData(),
                     text::utf8Fit(text.constData(), static_cast<size_t>(text.size()), kEntryCapacity));
}

uint32_t runPromptDialog(const PromptRequest& request, std::string* entered, uint32_t clockSpeed, QWidget* parent) {
  QuestionDialog dialog(request, clockSpeed, parent);
  const int result = dialog.exec();
  if (dialog.hasEntry() && entered)
    *entered = dialog.entered();
  // Escape and closing the window reject the dialog: that is the second
  // answer.
  return result == static_cast<int>(kPromptFirst) ? kPromptFirst : kPromptSecond;
}

}  // namespace plinka::gui
