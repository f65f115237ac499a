#include "gui/qt_test_env.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace plinka::gui {

namespace {

// The one QApplication of the suite: made before the first test and ended
// after the last, while Qt's own statics still exist.
class QtEnvironment : public ::testing::Environment {
public:
  void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
  void TearDown() override { app_.reset(); }

private:
  int argc_ = 1;
  char name_[10] = "gui_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

bool processUntil(const std::function<bool()>& done, int limitMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > limitMs)
      return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

std::shared_ptr<std::atomic<bool>> clickWhenShown(const char* button) {
  auto clicked = std::make_shared<std::atomic<bool>>(false);
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, timer, [timer, button, clicked] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal)
      return;
    if (auto* found = modal->findChild<QPushButton*>(button)) {
      timer->stop();
      timer->deleteLater();
      clicked->store(true);
      found->click();
    }
  });
  timer->start(20);
  return clicked;
}

}  // namespace plinka::gui
