#include "gui/main_window.h"

#include "play/list_commands.h"
#include "play/player.h"
#include "shell/app.h"
#include "shell/end_of_run.h"
#include "shell/scheduler.h"
#include "shell/settings_file.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstring>

namespace plinka::gui {

namespace {

// Width of a column whose stored width is unset.
constexpr int kDefaultColumnWidth = 150;

QString toQ(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// A text of a fixed-size buffer another thread may be rewriting: never read
// past its end even when its terminator is missing.
QString bufferText(const char* buffer, size_t capacity) {
  return QString::fromUtf8(buffer, static_cast<qsizetype>(strnlen(buffer, capacity)));
}

QTreeWidgetItem* makeItem(const play::ListRow& row) {
  auto* item = new QTreeWidgetItem;
  for (int c = 0; c < play::ColumnCount; ++c)
    item->setText(c, toQ(row.column[c]));
  return item;
}

}  // namespace

MainWindow::MainWindow(App& app, QWidget* parent) : QMainWindow(parent), app_(app) {
  setWindowTitle("Plinka");

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  nowPlaying_ = new QLabel(central);
  nowPlaying_->setTextFormat(Qt::PlainText);
  layout->addWidget(nowPlaying_);

  list_ = new QTreeWidget(central);
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setColumnCount(play::ColumnCount);
  list_->setHeaderLabels({"Title", "Artist", "Album", "FileName", "Type"});
  for (int c = 0; c < play::ColumnCount; ++c) {
    const uint32_t width = app_.settings.columnWidth[c];
    list_->setColumnWidth(c, width > 0 && width < 10000 ? static_cast<int>(width) : kDefaultColumnWidth);
  }
  layout->addWidget(list_);
  setCentralWidget(central);

  auto* tools = addToolBar("Player");
  tools->setMovable(false);
  playAction_ = tools->addAction("Play", this, [this] { playOrPause(); });
  tools->addAction("Skip", this, [this] { app_.run.playerRequest.store(play::kPlayerSkip); });
  tools->addAction("Stop", this, [this] { app_.run.playerRequest.store(play::kPlayerStop); });
  setPlaying(app_.run.playerRunning.load() != 0);

  for (int part = 0; part < 4; ++part) {
    status_[part] = new QLabel(this);
    status_[part]->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(status_[part], part == 0 ? 2 : 1);
  }

  // The rows the list holds now, then every change in the order it was
  // made. The observer runs on worker threads under the list's lock; each
  // change travels to the GUI thread as a queued call with its own copy of
  // the row texts, and calls queued to one object run in the order posted.
  for (const play::ListRow& row : app_.list.rows())
    list_->addTopLevelItem(makeItem(row));
  app_.list.setObserver([this](const play::ListChange& change) {
    QMetaObject::invokeMethod(
        this, [this, change] { applyListChange(change); }, Qt::QueuedConnection);
  });

  refreshNowPlaying();
  resize(900, 560);
}

MainWindow::~MainWindow() { app_.list.setObserver({}); }

void MainWindow::applyListChange(const play::ListChange& change) {
  switch (change.kind) {
  case play::ListChange::Insert: {
    const int count = list_->topLevelItemCount();
    const int at = change.index > static_cast<size_t>(count) ? count : static_cast<int>(change.index);
    list_->insertTopLevelItem(at, makeItem(change.row));
    break;
  }
  case play::ListChange::Remove:
    if (change.index < static_cast<size_t>(list_->topLevelItemCount()))
      delete list_->takeTopLevelItem(static_cast<int>(change.index));
    break;
  case play::ListChange::Clear:
    list_->clear();
    break;
  }
}

void MainWindow::applyStatus(const StatusTexts& texts) {
  for (int part = 0; part < 4; ++part)
    status_[part]->setText(toQ(texts.part[part]));
}

void MainWindow::refreshNowPlaying() {
  const play::SongDetails& current = app_.details.current;
  const QString title = bufferText(current.title, sizeof current.title);
  if (title.isEmpty()) {
    nowPlaying_->clear();
    return;
  }
  nowPlaying_->setText(title + "\n" + bufferText(current.artist, sizeof current.artist) + "\n" +
                       bufferText(current.album, sizeof current.album));
}

void MainWindow::setPlaying(bool playing) { playAction_->setText(playing ? "Pause" : "Play"); }

void MainWindow::playOrPause() {
  // As the terminal front end does: pause while the player runs, else start.
  const bool playing = app_.run.playerRunning.load() != 0;
  app_.run.playerRequest.store(playing ? play::kPlayerPause : play::kPlayerStart);
}

void MainWindow::runCommand(uint32_t command, uint32_t) {
  if (command == kEndRunCommand) {
    endRun();
  } else if (command == play::kWindowPlay) {
    app_.run.playerRunning.store(1);
    app_.run.playerRequest.store(play::kPlayerStart);
    setPlaying(true);
  }
}

void MainWindow::storeColumnWidths() {
  for (int c = 0; c < play::ColumnCount; ++c)
    app_.settings.columnWidth[c] = static_cast<uint32_t>(list_->columnWidth(c));
}

void MainWindow::endRun() {
  if (ended_)
    return;
  ended_ = true;
  stopScheduler(app_);
  storeColumnWidths();
  saveSettings(app_);
  QApplication::quit();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (ended_) {
    event->accept();
    return;
  }
  // Closing asks the engine to quit; the window stays until the run has
  // ended (command 2031).
  requestClose(app_);
  event->ignore();
}

int MainWindow::rowCount() const { return list_->topLevelItemCount(); }

std::string MainWindow::cellText(int row, int column) const {
  const QTreeWidgetItem* item = list_->topLevelItem(row);
  return item ? item->text(column).toUtf8().toStdString() : std::string();
}

std::string MainWindow::statusText(int part) const {
  return part >= 0 && part < 4 ? status_[part]->text().toUtf8().toStdString() : std::string();
}

std::string MainWindow::nowPlayingText() const { return nowPlaying_->text().toUtf8().toStdString(); }

}  // namespace plinka::gui
