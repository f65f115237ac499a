#include "gui/prompt_dialogs.h"

#include "gui/qt_text.h"
#include "gui/toolbar_images.h"
#include "text/text.h"

#include "ui_about_dialog.h"
#include "ui_question_dialog.h"
#include "ui_question_dialog_entry.h"
#include "ui_rating_keypad.h"
#include "ui_welcome_dialog.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFont>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <climits>

namespace plinka::gui {

namespace {

// Pixel heights of the prompt fonts.
constexpr int kButtonFontPixels = 20;
constexpr int kMessageFontPixels = 20;
constexpr int kSmallMessageFontPixels = 16;
constexpr int kWelcomeFontPixels = 25;

QFont arial(int pixels) {
  QFont font("Arial");
  font.setPixelSize(pixels);
  return font;
}

// At most `limit` bytes of UTF-8 text, never ending inside a character.
std::string cutUtf8(const QByteArray& text, size_t limit) {
  return std::string(text.constData(), text::utf8Fit(text.constData(), static_cast<size_t>(text.size()), limit));
}

// Milliseconds until an auto-close, at the clock's speed, within what a timer
// takes.
int autoCloseMs(uint32_t seconds, uint32_t clockSpeed) {
  const uint64_t ms = static_cast<uint64_t>(seconds) * 1000 / std::max<uint32_t>(clockSpeed, 1);
  return static_cast<int>(std::clamp<uint64_t>(ms, 1, INT_MAX));
}

}  // namespace

uint32_t runPromptDialog(const PromptRequest& request, std::string* entered, uint32_t clockSpeed, QWidget* parent) {
  // The icon first: it makes the built-in pictures the forms show available.
  const QIcon icon = programIcon();
  const bool small = isSmallFont(request.style);
  const bool withEntry = hasTextEntry(request.style);

  QDialog dialog(parent);
  ::Ui::QuestionDialog question;
  ::Ui::TextEntryDialog entryForm;
  QPlainTextEdit* message = nullptr;
  QPushButton* first = nullptr;
  QPushButton* second = nullptr;
  QLineEdit* entry = nullptr;
  if (withEntry) {
    entryForm.setupUi(&dialog);
    message = entryForm.message;
    first = entryForm.first;
    second = entryForm.second;
    entry = entryForm.entry;
    entry->setText(toQ(request.entryText));
  } else {
    question.setupUi(&dialog);
    message = question.message;
    first = question.first;
    second = question.second;
  }
  dialog.setWindowIcon(icon);
  dialog.setWindowFlag(Qt::WindowStaysOnTopHint, request.topMost == 1);

  message->setFont(arial(small ? kSmallMessageFontPixels : kMessageFontPixels));
  message->setPlainText(toQ(request.message));
  first->setFont(arial(kButtonFontPixels));
  second->setFont(arial(kButtonFontPixels));
  first->setText(toQ(request.firstCaption));
  second->setText(toQ(request.secondCaption));
  QObject::connect(first, &QPushButton::clicked, &dialog, [&dialog] { dialog.done(kPromptFirst); });
  QObject::connect(second, &QPushButton::clicked, &dialog, [&dialog] { dialog.done(kPromptSecond); });

  QTimer autoClose;
  if (request.autoCloseSeconds != 0) {
    autoClose.setSingleShot(true);
    autoClose.setTimerType(Qt::PreciseTimer);
    QObject::connect(&autoClose, &QTimer::timeout, &dialog, [&dialog] { dialog.done(kPromptFirst); });
    autoClose.start(autoCloseMs(request.autoCloseSeconds, clockSpeed));
  }

  const int result = dialog.exec();
  if (entry && entered)
    *entered = cutUtf8(entry->text().toUtf8(), kEntryCapacity);
  // Escape and closing the window reject the dialog: that is the second
  // answer.
  return result == static_cast<int>(kPromptFirst) ? kPromptFirst : kPromptSecond;
}

uint32_t runRatingKeypad(QWidget* parent) {
  QDialog dialog(parent);
  ::Ui::RatingKeypad form;
  form.setupUi(&dialog);
  dialog.setWindowIcon(programIcon());
  QPushButton* const ratings[] = {form.rating0, form.rating1, form.rating2, form.rating3, form.rating4, form.rating5,
                                  form.rating6, form.rating7, form.rating8, form.rating9, form.rating10};
  for (uint32_t r = 0; r < std::size(ratings); ++r)
    QObject::connect(ratings[r], &QPushButton::clicked, &dialog,
                     [&dialog, r] { dialog.done(static_cast<int>(kKeypadRating + r)); });
  QObject::connect(form.ratingD, &QPushButton::clicked, &dialog,
                   [&dialog] { dialog.done(static_cast<int>(kKeypadDelete)); });
  QObject::connect(form.cancel, &QPushButton::clicked, &dialog, [&dialog] { dialog.done(kPromptSecond); });
  const int result = dialog.exec();
  // Keypad buttons answer with their own codes; anything else (Cancel,
  // Escape, closing the window) is the second answer.
  return result >= static_cast<int>(kKeypadRating) ? static_cast<uint32_t>(result) : kPromptSecond;
}

uint32_t runWelcome(QWidget* parent) {
  const QIcon icon = programIcon();
  QDialog dialog(parent);
  ::Ui::WelcomeDialog form;
  form.setupUi(&dialog);
  dialog.setWindowIcon(icon);
  form.first->setFont(arial(kWelcomeFontPixels));
  form.second->setFont(arial(kWelcomeFontPixels));
  QObject::connect(form.first, &QPushButton::clicked, &dialog, [&dialog] { dialog.done(kPromptFirst); });
  QObject::connect(form.second, &QPushButton::clicked, &dialog, [&dialog] { dialog.done(kPromptSecond); });
  return dialog.exec() == static_cast<int>(kPromptFirst) ? kPromptFirst : kPromptSecond;
}

void runAbout(QWidget* parent) {
  const QIcon icon = programIcon();
  QDialog dialog(parent);
  ::Ui::AboutDialog form;
  form.setupUi(&dialog);
  dialog.setWindowIcon(icon);
  dialog.exec();
}

bool chooseFolder(std::string& path, QWidget* parent) {
  QFileDialog dialog(parent, "Choose Folder", path.empty() ? QDir::homePath() : toQ(path));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (dialog.exec() != QDialog::Accepted)
    return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.first().isEmpty())
    return false;
  path = fromQ(chosen.first());
  return true;
}

void openHelpFile(const std::string& programFolder) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(toQ(programFolder + "ReadMe.htm")));
}

}  // namespace plinka::gui
