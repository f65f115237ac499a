// The About window: the program's name, version and what it does. Modal over
// the window it belongs to, until it is closed.
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class AboutDialog;
}

namespace plinka::gui {

class AboutDialog : public QDialog {
  Q_OBJECT

public:
  explicit AboutDialog(QWidget* parent);
  ~AboutDialog() override;

private:
  std::unique_ptr<::Ui::AboutDialog> ui_;
};

// Shows the About window modally until it is closed.
void runAbout(QWidget* parent = nullptr);

}  // namespace plinka::gui
