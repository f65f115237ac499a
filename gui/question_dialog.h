// The question and text-entry prompt: a message, two buttons and, for the
// text-entry styles, a line to type in. It runs on the GUI thread and returns
// when it is closed; it does not touch the App, so the caller keeps the
// dialog-open flag and the prompt result (QtUi does that for the engine). It
// takes the window it belongs to (the main window once it exists): it stays
// above that window, also when the window is kept on top, and opens centred
// on it.
#pragma once

#include "core/front_end.h"

#include <QDialog>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class QLineEdit;
class QTimer;

namespace Ui {
class QuestionDialog;
class TextEntryDialog;
}  // namespace Ui

namespace plinka::gui {

// The most bytes a text entry hands back.
constexpr size_t kEntryCapacity = 600;

class QuestionDialog : public QDialog {
  Q_OBJECT

public:
  // The caller's captions always replace the form's, so empty captions give
  // empty buttons; the small styles show the message in the smaller font.
  // With autoCloseSeconds set the prompt answers the first button by itself
  // after that long, divided by `clockSpeed` (the App clock's speed factor),
  // counted from here.
  QuestionDialog(const PromptRequest& request, uint32_t clockSpeed, QWidget* parent);
  ~QuestionDialog() override;

  // Whether the prompt has a line to type in.
  bool hasEntry() const { return entry_ != nullptr; }
  // The typed text, cut to kEntryCapacity bytes on a character boundary.
  std::string entered() const;

private:
  std::unique_ptr<::Ui::QuestionDialog> question_;
  std::unique_ptr<::Ui::TextEntryDialog> textEntry_;
  QLineEdit* entry_ = nullptr;
  QTimer* autoClose_ = nullptr;
};

// Shows the prompt modally until it is answered. Returns kPromptFirst for the
// first button (or OK, or the auto-close) and kPromptSecond for the second
// (or Cancel, Escape, closing the window). For a text entry the typed text is
// put into `entered` whichever way the prompt ended.
uint32_t runPromptDialog(const PromptRequest& request, std::string* entered, uint32_t clockSpeed = 1,
                         QWidget* parent = nullptr);

}  // namespace plinka::gui
