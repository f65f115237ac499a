// The Internals window: the numbers behind the rating scheme (rating values,
// target value, default import score), the buffer size, the LAME check and
// the auto-rate speed, and read-outs of the list builder's and the workers'
// run-time state, refreshed every second while the window is open. What is
// typed is checked and stored by the engine (shell/internals_values.h).
#pragma once

#include "desk/internals_values.h"

#include <QDialog>

#include <memory>

class QTimer;

namespace Ui {
class InternalsDialog;
}

namespace plinka {
struct App;
}

namespace plinka::gui {

class InternalsWindow : public QDialog {
  Q_OBJECT

public:
  InternalsWindow(App& app, QWidget* parent = nullptr);
  ~InternalsWindow() override;

  // The buttons' work, also for checks. store() is false, with the window
  // left open and a message shown, when a field was refused.
  bool store();
  void setDefault();
  void setAlternate();
  void refreshReadouts();

private:
  InternalsEntries entries() const;
  void showEntries(const InternalsEntries& entries);

  App& app_;
  std::unique_ptr<::Ui::InternalsDialog> form_;
  QTimer* refresh_ = nullptr;
};

}  // namespace plinka::gui
