#include "gui/main_window.h"

#include "gui/now_playing_view.h"
#include "gui/prompt_dialogs.h"
#include "gui/toolbar_images.h"
#include "play/list_commands.h"
#include "play/player.h"
#include "shell/app.h"
#include "shell/end_of_run.h"
#include "shell/keyboard.h"
#include "shell/popup_menu.h"
#include "shell/run_state.h"
#include "shell/scheduler.h"
#include "shell/settings_file.h"
#include "shell/toolbar_buttons.h"
#include "shell/window_commands.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace plinka::gui {

namespace {

// Width of a column whose stored width is unset.
constexpr int kDefaultColumnWidth = 150;
// Size of a window that has no stored place yet.
constexpr int kFirstWidth = 900;
constexpr int kFirstHeight = 640;
// Patience of a double click's play request.
constexpr uint32_t kDoubleClickPatience = 5;

QString toQ(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QTreeWidgetItem* makeItem(const play::ListRow& row) {
  auto* item = new QTreeWidgetItem;
  for (int c = 0; c < play::ColumnCount; ++c)
    item->setText(c, toQ(row.column[c]));
  return item;
}

// The keyboard map's code for a Qt key, 0 for a key the map does not know.
int mapKey(const QKeyEvent& event) {
  if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
    return 0;
  const int key = event.key();
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
    return key;  // the same codes as upper-case ASCII
  if (key == Qt::Key_F1)
    return kKeyF1;
  if (key == Qt::Key_MediaPlay || key == Qt::Key_MediaTogglePlayPause || key == Qt::Key_Play)
    return kKeyPlay;
  return 0;
}

}  // namespace

MainWindow::MainWindow(App& app, QWidget* parent) : QWidget(parent), app_(app) {
  setWindowTitle("Plinka");
  setWindowIcon(programIcon());
  if (app_.details.current.title[0] == '\0')
    std::strncpy(app_.details.current.title, kProgramTitle, sizeof app_.details.current.title - 1);

  view_ = new NowPlayingView(app_, this);
  view_->onLeftClick = [this](QPoint at) {
    if (pictureClick(app_, at.x(), at.y(), static_cast<uint32_t>(width())))
      view_->update();
  };
  view_->onRightClick = [this](QPoint at) {
    if (app_.mainWindow.creating.load() == 0)
      showPopupMenu(at, false);
  };

  toolbar_ = new QToolBar(this);
  toolbar_->setIconSize(QSize(20, 20));
  toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  for (const ToolbarButton& button : toolbarButtons()) {
    if (button.image < 0) {
      toolbar_->addSeparator();
      buttons_.push_back(nullptr);
      continue;
    }
    const uint32_t id = button.id;
    QAction* action = toolbar_->addAction(QString::number(id), this, [this, id] { runCommand(id, 0); });
    action->setData(id);
    action->setToolTip(toQ(toolbarTooltip(app_, id)));
    buttons_.push_back(action);
    if (id == play::kWindowPlay)
      playAction_ = action;
  }

  seekBar_ = new QSlider(Qt::Horizontal, this);
  seekBar_->setRange(0, static_cast<int>(play::kSeekBarRange));
  seekBar_->setFocusPolicy(Qt::TabFocus);
  connect(seekBar_, &QSlider::sliderReleased, this,
          [this] { seekFromBar(app_, static_cast<uint32_t>(seekBar_->value())); });
  connect(seekBar_, &QSlider::actionTriggered, this, [this](int action) {
    if (action != QAbstractSlider::SliderMove)
      seekFromBar(app_, static_cast<uint32_t>(seekBar_->sliderPosition()));
  });

  list_ = new QTreeWidget(this);
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setAllColumnsShowFocus(true);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setColumnCount(play::ColumnCount);
  list_->setHeaderLabels({"Title", "Artist", "Album", "FileName", "Type"});
  // Each column keeps the width the user gave it.
  list_->header()->setStretchLastSection(false);
  for (int c = 0; c < play::ColumnCount; ++c) {
    const uint32_t width = app_.settings.columnWidth[c];
    list_->setColumnWidth(c, width > 0 && width < 10000 ? static_cast<int>(width) : kDefaultColumnWidth);
  }
  connect(list_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* item) { app_.focusedRow.store(item ? list_->indexOfTopLevelItem(item) : -1); });
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    const int row = list_->indexOfTopLevelItem(item);
    if (row < 0)
      return;
    App* app = &app_;
    app_.scheduler.jobThreads.start(
        [app, row] { post(*app, play::kCommandPlayFromRow, static_cast<uint32_t>(row), kDoubleClickPatience); });
  });
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (app_.mainWindow.creating.load() == 0)
      showPopupMenu(list_->viewport()->mapTo(this, at), true);
  });

  statusBar_ = new QWidget(this);
  for (int part = 0; part < 4; ++part) {
    auto* label = new QLabel(statusBar_);
    label->setTextFormat(Qt::PlainText);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setIndent(3);
    status_[part] = label;
  }
  status_[0]->setText(kProgramTitle);

  // The video draws into a window of its own, placed where the layout says.
  video_ = new QWidget(this);
  video_->setAttribute(Qt::WA_NativeWindow);
  video_->setAutoFillBackground(true);
  QPalette black = video_->palette();
  black.setColor(QPalette::Window, Qt::black);
  video_->setPalette(black);
  video_->hide();
  app_.player.videoWindow.store(static_cast<uintptr_t>(video_->winId()));

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

  qApp->installEventFilter(this);
  setPlaying(app_.run.playerRunning.load() != 0);
  resize(kFirstWidth, kFirstHeight);
  applyLayout();
  // Context menus are allowed from here on.
  app_.mainWindow.creating.store(0);
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  app_.list.setObserver({});
  app_.player.videoWindow.store(0);
}

bool MainWindow::loadToolbarPictures() {
  if (!loadToolbarImages(app_.folders.program, pictures_))
    return false;
  for (size_t k = 0; k < buttons_.size(); ++k) {
    const int image = toolbarButtons()[k].image;
    if (buttons_[k] && image >= 0 && static_cast<size_t>(image) < pictures_.size())
      buttons_[k]->setIcon(QIcon(pictures_[static_cast<size_t>(image)]));
  }
  setPlaying(app_.run.playerRunning.load() != 0);
  return true;
}

void MainWindow::applyLayout() {
  const uint32_t w = static_cast<uint32_t>(width());
  const uint32_t h = static_cast<uint32_t>(height());
  layout_ = layoutFor(w, h);
  app_.settings.maximised = isMaximized() ? 1 : 0;
  app_.player.windowWidth.store(w);
  app_.player.windowHeight.store(h);

  view_->setGeometry(0, 0, width(), height());
  view_->lower();
  toolbar_->setGeometry(0, 0, width(), kToolbarHeight);
  list_->setGeometry(0, layout_.listTop, width(), layout_.listHeight);
  list_->setVisible(layout_.listVisible);
  seekBar_->setGeometry(0, layout_.seekBarY, layout_.seekBarWidth, kSeekBarHeight);

  if (app_.run.playerRunning.load() != 0) {
    app_.player.videoWidth.store(layout_.videoWidth);
    app_.player.videoHeight.store(layout_.videoHeight);
    uint32_t none = 0;
    app_.run.playerRequest.compare_exchange_strong(none, play::kPlayerPlaceVideo);
  }
  refreshVideo();

  statusBar_->setGeometry(0, height() - kStatusBarHeight, width(), kStatusBarHeight);
  int left = 0;
  for (size_t part = 0; part < 4; ++part) {
    QLabel* label = status_[part];
    if (part >= layout_.statusEdges.size()) {
      label->hide();
      continue;
    }
    const int edge = layout_.statusEdges[part] < 0 ? width() : layout_.statusEdges[part];
    label->setGeometry(left, 0, std::max(0, edge - left), kStatusBarHeight);
    label->show();
    left = edge;
  }
}

void MainWindow::refreshVideo() {
  const bool show = app_.player.videoShowing.load() != 0 && app_.run.playerRunning.load() != 0 &&
                    app_.jobs.currentMediaType.load() >= kFirstVideoType && app_.player.inTray.load() == 0;
  const bool full = show && app_.settings.fullMovie != 0;
  if (full && !fullScreenVideo_) {
    fullScreenVideo_ = true;
    showFullScreen();
  } else if (!full && fullScreenVideo_) {
    fullScreenVideo_ = false;
    showNormal();
  }
  if (full) {
    video_->setGeometry(rect());
    app_.player.videoOriginX.store(0);
    app_.player.videoOriginY.store(0);
  } else {
    const int x = static_cast<int>(app_.player.videoWidth.load());
    video_->setGeometry(x, kToolbarHeight, static_cast<int>(app_.player.videoWidth.load()),
                        static_cast<int>(app_.player.videoHeight.load()));
    app_.player.videoOriginX.store(x);
    app_.player.videoOriginY.store(kToolbarHeight);
  }
  video_->setVisible(show);
  if (show)
    video_->raise();
}

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
  if (playAction_)
    playAction_->setToolTip(toQ(toolbarTooltip(app_, play::kWindowPlay)));
  if (tray_)
    tray_->setToolTip(toQ(trayTip(app_)));
}

void MainWindow::refreshNowPlaying() {
  view_->update();
  refreshVideo();
  // With PLINKA_LOG set, each song that starts is written to standard error,
  // so a run can be followed from outside.
  const char* file = app_.details.currentSongFile;
  const std::string song(file, strnlen(file, sizeof app_.details.currentSongFile));
  if (song != loggedSong_) {
    loggedSong_ = song;
    // A video starts off screen; the layout gives it its place now rather
    // than at the next resize.
    if (app_.player.videoShowing.load() != 0)
      applyLayout();
    static const bool logging = std::getenv("PLINKA_LOG") != nullptr;
    if (logging && !song.empty())
      std::fprintf(stderr, "playing: %s\n", song.c_str());
  }
  if (onPlayerChanged)
    onPlayerChanged();
}

void MainWindow::refreshPlayerControls() {
  if (playAction_)
    playAction_->setToolTip(toQ(toolbarTooltip(app_, play::kWindowPlay)));
  if (tray_)
    tray_->setToolTip(toQ(trayTip(app_)));
  if (onPlayerChanged)
    onPlayerChanged();
}

void MainWindow::refreshSeekBar() {
  if (seekBar_->isSliderDown())
    return;
  const QSignalBlocker quiet(seekBar_);
  seekBar_->setValue(static_cast<int>(app_.player.seekBar.load()));
}

void MainWindow::setPlaying(bool playing) {
  if (!playAction_)
    return;
  const size_t image = playing ? kPlayButtonPlaying : kPlayButtonStopped;
  if (image < pictures_.size())
    playAction_->setIcon(QIcon(pictures_[image]));
  else
    playAction_->setText(playing ? "Pause" : "Play");
  playAction_->setToolTip(toQ(toolbarTooltip(app_, play::kWindowPlay)));
  refreshVideo();
}

void MainWindow::runCommand(uint32_t command, uint32_t parameter) {
  if (ended_)
    return;
  const WindowEffects e = runWindowCommand(app_, command, parameter);
  applyEffects(e.minimise, e.maximise, e.applyOnTop, e.endRun, e.repaint);
}

void MainWindow::applyEffects(bool minimise, bool maximise, bool applyOnTop, bool endRunNow, bool repaint) {
  if (repaint)
    view_->update();
  if (maximise)
    showMaximized();
  if (applyOnTop) {
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, app_.settings.onTop != 0);
    if (visible)
      show();
  }
  if (minimise)
    showMinimized();
  if (endRunNow)
    endRun();
}

void MainWindow::openWindow(WindowKind window, uint32_t) {
  // The other windows arrive later; until then their commands show nothing.
  if (window == WindowKind::About && app_.mainWindow.aboutOpen == 0) {
    app_.mainWindow.aboutOpen = 1;
    runAbout();
    app_.mainWindow.aboutOpen = 0;
  }
}

bool MainWindow::takeKey(int key) {
  const KeyOutcome outcome = handleKey(app_, key);
  if (!outcome.handled)
    return false;
  if (outcome.repaint)
    view_->update();
  // Posted, as a menu choice would be: the key's handling ends first.
  if (outcome.command != 0) {
    const uint32_t command = outcome.command;
    QMetaObject::invokeMethod(
        this, [this, command] { runCommand(command, 0); }, Qt::QueuedConnection);
  }
  if (outcome.popupMenu)
    QMetaObject::invokeMethod(
        this, [this] { showPopupMenu(QPoint(0, 0), false); }, Qt::QueuedConnection);
  return true;
}

void MainWindow::fillMenu(QMenu* menu, const std::vector<MenuEntry>& entries) {
  for (const MenuEntry& entry : entries) {
    if (entry.separator) {
      menu->addSeparator();
    } else if (!entry.submenu.empty()) {
      fillMenu(menu->addMenu(toQ(entry.text)), entry.submenu);
    } else {
      QAction* action = menu->addAction(toQ(entry.text));
      action->setData(entry.id);
      if (entry.checked) {
        action->setCheckable(true);
        action->setChecked(true);
      }
    }
  }
}

std::unique_ptr<QMenu> MainWindow::makePopupMenu(QPoint at, bool listMenu) {
  app_.mainWindow.listMenu = listMenu ? 1 : 0;
  PopupPlace place;
  place.x = at.x();
  place.y = at.y();
  place.width = static_cast<uint32_t>(width());
  place.height = static_cast<uint32_t>(height());
  auto menu = std::make_unique<QMenu>();
  fillMenu(menu.get(), buildPopupMenu(app_, place));
  return menu;
}

void MainWindow::showPopupMenu(QPoint at, bool listMenu) {
  std::unique_ptr<QMenu> menu = makePopupMenu(at, listMenu);
  QAction* chosen = menu->exec(QCursor::pos());
  popupClosed(app_);
  if (chosen)
    runCommand(chosen->data().toUInt(), 0);
}

void MainWindow::toTray() {
  if (!tray_) {
    tray_ = new QSystemTrayIcon(programIcon(), this);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
      tray_->setToolTip(toQ(trayTip(app_)));
      if (reason == QSystemTrayIcon::Trigger)
        trayLeftClick();
      else if (reason == QSystemTrayIcon::Context)
        trayRightClick();
    });
  }
  tray_->setToolTip(kProgramTitle);
  tray_->show();
  app_.player.inTray.store(1);
  app_.settings.maximised = 0;
  hide();
}

void MainWindow::trayLeftClick() {
  app_.player.inTray.store(0);
  if (tray_)
    tray_->hide();
  showNormal();
  raise();
  activateWindow();
}

void MainWindow::trayRightClick() { showPopupMenu(QPoint(0, 0), false); }

bool MainWindow::inTray() const { return app_.player.inTray.load() != 0; }

void MainWindow::storeColumnWidths() {
  for (int c = 0; c < play::ColumnCount; ++c)
    app_.settings.columnWidth[c] = static_cast<uint32_t>(list_->columnWidth(c));
}

void MainWindow::storePlacement() {
  const QRect normal = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
  WindowPlacement p{};
  p.length = sizeof(WindowPlacement);
  p.showCommand = isMaximized() ? 3 : 1;
  p.left = normal.left();
  p.top = normal.top();
  p.right = normal.left() + normal.width();
  p.bottom = normal.top() + normal.height();
  std::memcpy(&app_.settings.windowPlacement, &p, sizeof p);
}

void MainWindow::applyPlacement() {
  WindowPlacement p;
  std::memcpy(&p, &app_.settings.windowPlacement, sizeof p);
  const int w = p.right - p.left;
  const int h = p.bottom - p.top;
  // A place never stored, or one no screen could show, leaves the first size.
  if (p.length == static_cast<int32_t>(sizeof(WindowPlacement)) && w >= 100 && h >= 60 && w <= 20000 && h <= 20000)
    setGeometry(p.left, p.top, w, h);
  if (app_.settings.maximised != 0)
    QMetaObject::invokeMethod(
        this, [this] { runCommand(kCmdMaximise, 0); }, Qt::QueuedConnection);
}

void MainWindow::endRun() {
  if (ended_)
    return;
  // A question still on screen (a worker may be waiting for it) is answered
  // with its second button first; the run ends once its loop has unwound.
  if (QWidget* shown =
          QApplication::activePopupWidget() ? QApplication::activePopupWidget() : QApplication::activeModalWidget()) {
    if (auto* dialog = qobject_cast<QDialog*>(shown))
      dialog->reject();
    else
      shown->close();
    QMetaObject::invokeMethod(
        this, [this] { endRun(); }, Qt::QueuedConnection);
    return;
  }
  ended_ = true;
  if (onEnding)
    onEnding();
  stopScheduler(app_);
  storeColumnWidths();
  storePlacement();
  saveSettings(app_);
  if (tray_)
    tray_->hide();
  QApplication::quit();
}

void MainWindow::resizeEvent(QResizeEvent*) { applyLayout(); }

void MainWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && isMinimized() && app_.settings.trayMinimise != 0 &&
      app_.player.inTray.load() == 0)
    QMetaObject::invokeMethod(
        this, [this] { toTray(); }, Qt::QueuedConnection);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
    return false;
  // Keys of every widget of this window, before the widget sees them; a
  // dialog opened from here keeps its own keys.
  if (static_cast<QWidget*>(watched)->window() != this)
    return false;
  const int key = mapKey(*static_cast<QKeyEvent*>(event));
  return key != 0 && takeKey(key);
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

int MainWindow::statusPartCount() const { return static_cast<int>(layout_.statusEdges.size()); }

QRect MainWindow::listGeometry() const { return layout_.listVisible ? list_->geometry() : QRect(); }

QRect MainWindow::seekBarGeometry() const { return seekBar_->geometry(); }

std::string MainWindow::toolTipOf(uint32_t command) const {
  for (QAction* action : buttons_)
    if (action && action->data().toUInt() == command)
      return action->toolTip().toUtf8().toStdString();
  return {};
}

}  // namespace plinka::gui
