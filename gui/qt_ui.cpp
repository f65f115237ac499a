#include "gui/qt_ui.h"

#include "gui/main_window.h"
#include "shell/app.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace plinka::gui {

namespace {

QString toQ(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

std::string fromQ(const QString& s) { return s.toUtf8().toStdString(); }

// The filters as a file dialog takes them: "Name (*.mp3 *.wav)" joined by
// ";;"; `chosen` becomes the 1-based filter `selected`.
QString filterText(const std::vector<FileFilter>& filters, uint32_t selected, QString& chosen) {
  QStringList parts;
  for (size_t i = 0; i < filters.size(); ++i) {
    QString patterns = toQ(filters[i].patterns);
    patterns.replace(';', ' ');
    const QString part = toQ(filters[i].name) + " (" + patterns + ")";
    parts << part;
    if (i + 1 == selected)
      chosen = part;
  }
  return parts.join(";;");
}

}  // namespace

uint32_t runPromptDialog(const PromptRequest& request, std::string* entered) {
  QDialog dialog;
  dialog.setWindowTitle("Plinka");
  if (request.topMost != 0)
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
  auto* layout = new QVBoxLayout(&dialog);
  auto* message = new QLabel(toQ(request.message), &dialog);
  message->setWordWrap(true);
  if (request.style >= 10) {
    QFont font = message->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    message->setFont(font);
  }
  layout->addWidget(message);

  QLineEdit* entry = nullptr;
  if (request.style % 10 == 4) {
    entry = new QLineEdit(toQ(request.entryText), &dialog);
    layout->addWidget(entry);
  }

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  auto* first = new QPushButton(toQ(request.firstCaption), &dialog);
  first->setObjectName("first");
  first->setDefault(true);
  buttons->addWidget(first);
  QObject::connect(first, &QPushButton::clicked, &dialog, [&dialog] { dialog.done(kPromptFirst); });
  if (!request.secondCaption.empty()) {
    auto* second = new QPushButton(toQ(request.secondCaption), &dialog);
    second->setObjectName("second");
    buttons->addWidget(second);
    QObject::connect(second, &QPushButton::clicked, &dialog, [&dialog] { dialog.done(kPromptSecond); });
  }
  layout->addLayout(buttons);

  QTimer autoClose;
  if (request.autoCloseSeconds != 0) {
    autoClose.setSingleShot(true);
    autoClose.setTimerType(Qt::PreciseTimer);
    QObject::connect(&autoClose, &QTimer::timeout, &dialog, [&dialog] { dialog.done(kPromptFirst); });
    autoClose.start(static_cast<int>(std::min<uint32_t>(request.autoCloseSeconds, 2000000u)) * 1000);
  }

  const int result = dialog.exec();
  if (entry && entered)
    *entered = fromQ(entry->text());
  // Escape and the caption button reject the dialog: that is the second
  // answer.
  return result == static_cast<int>(kPromptFirst) ? kPromptFirst : kPromptSecond;
}

QtUi::QtUi(App& app) : app_(app) {}

void QtUi::attachWindow(MainWindow* window) {
  window_ = window;
  StatusTexts texts;
  {
    std::lock_guard lock(statusMutex_);
    if (!earlyPending_)
      return;
    earlyPending_ = false;
    texts = early_;
  }
  if (window_)
    window_->applyStatus(texts);
}

uint32_t QtUi::onGuiThread(const std::function<uint32_t()>& body) {
  if (QThread::currentThread() == thread())
    return body();
  uint32_t answer = kPromptSecond;
  QMetaObject::invokeMethod(
      this, [&body, &answer] { answer = body(); }, Qt::BlockingQueuedConnection);
  return answer;
}

void QtUi::later(std::function<void()> body) { QMetaObject::invokeMethod(this, std::move(body), Qt::QueuedConnection); }

uint32_t QtUi::prompt(const PromptRequest& request, std::string* entered) {
  return onGuiThread([&] { return runPromptDialog(request, entered); });
}

uint32_t QtUi::showWelcome() {
  return onGuiThread([] {
    QMessageBox box;
    box.setWindowTitle("Plinka");
    box.setText("Welcome to Plinka");
    QPushButton* import = box.addButton("Import music now", QMessageBox::AcceptRole);
    box.addButton("No, I have other plans", QMessageBox::RejectRole);
    box.exec();
    return box.clickedButton() == import ? kPromptFirst : kPromptSecond;
  });
}

void QtUi::openHelp() {
  const QString path = toQ(app_.folders.program + "ReadMe.htm");
  later([path] { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); });
}

void QtUi::openFolder(const std::string& path) {
  const QString folder = toQ(path);
  later([folder] { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); });
}

void QtUi::showStatus(const StatusTexts& texts) {
  if (!window_) {
    std::lock_guard lock(statusMutex_);
    early_ = texts;
    earlyPending_ = true;
    return;
  }
  later([this, texts] {
    if (window_)
      window_->applyStatus(texts);
  });
}

uint32_t QtUi::ratingKeypad() {
  return onGuiThread([] {
    QDialog dialog;
    dialog.setWindowTitle("Plinka");
    auto* grid = new QGridLayout(&dialog);
    int place = 0;
    auto addButton = [&](const QString& caption, uint32_t answer) {
      auto* button = new QPushButton(caption, &dialog);
      grid->addWidget(button, place / 4, place % 4);
      ++place;
      QObject::connect(button, &QPushButton::clicked, &dialog,
                       [&dialog, answer] { dialog.done(static_cast<int>(answer)); });
    };
    for (int r = 10; r >= 0; --r)
      addButton(QString::number(r), kKeypadRating + static_cast<uint32_t>(r));
    addButton("D", kKeypadDelete);
    addButton("Cancel", kPromptSecond);
    const int result = dialog.exec();
    return result >= static_cast<int>(kKeypadRating) ? static_cast<uint32_t>(result) : kPromptSecond;
  });
}

bool QtUi::chooseFolder(std::string& path) {
  QString chosen;
  onGuiThread([&] {
    chosen = QFileDialog::getExistingDirectory(nullptr, "Choose Folder", toQ(path));
    return 0u;
  });
  if (chosen.isEmpty())
    return false;
  path = fromQ(chosen);
  return true;
}

bool QtUi::chooseOpenFile(const std::vector<FileFilter>& filters, uint32_t selected, std::string& path) {
  QString chosen;
  onGuiThread([&] {
    QString first;
    const QString all = filterText(filters, selected, first);
    chosen = QFileDialog::getOpenFileName(nullptr, QString(), toQ(path), all, &first);
    return 0u;
  });
  if (chosen.isEmpty())
    return false;
  path = fromQ(chosen);
  return true;
}

bool QtUi::chooseSaveFile(const std::vector<FileFilter>& filters, uint32_t selected, std::string& path) {
  QString chosen;
  onGuiThread([&] {
    QString first;
    const QString all = filterText(filters, selected, first);
    chosen = QFileDialog::getSaveFileName(nullptr, QString(), toQ(path), all, &first);
    return 0u;
  });
  if (chosen.isEmpty())
    return false;
  path = fromQ(chosen);
  return true;
}

void QtUi::repaint(RepaintArea area) {
  if (area != RepaintArea::Window && area != RepaintArea::NowPlaying)
    return;
  later([this] {
    if (window_)
      window_->refreshNowPlaying();
  });
}

void QtUi::setPlayButtonImage(int image) {
  later([this, image] {
    if (window_)
      window_->setPlaying(image == kPlayButtonPlaying);
  });
}

void QtUi::postCommand(uint32_t command, uint32_t parameter) {
  later([this, command, parameter] {
    if (window_)
      window_->runCommand(command, parameter);
  });
}

void QtUi::messageBox(const std::string& text, const std::string& title) {
  onGuiThread([&] {
    QMessageBox::information(nullptr, toQ(title), toQ(text));
    return 0u;
  });
}

}  // namespace plinka::gui
