#include "gui/main_window.h"

#include "app/app.h"
#include "app/end_of_run.h"
#include "app/scheduler.h"
#include "app/settings_file.h"
#include "core/job_post.h"
#include "core/run_state.h"
#include "desk/keyboard.h"
#include "desk/popup_menu.h"
#include "desk/quit_requests.h"
#include "desk/status_texts.h"
#include "desk/toolbar_buttons.h"
#include "desk/window_commands.h"
#include "gui/about_dialog.h"
#include "gui/database_window.h"
#include "gui/internals_window.h"
#include "gui/now_playing_view.h"
#include "gui/options_window.h"
#include "gui/qt_text.h"
#include "gui/search_window.h"
#include "gui/session_end.h"
#include "gui/song_columns.h"
#include "gui/song_details_window.h"
#include "gui/toolbar_images.h"
#include "gui/tray_icon.h"
#include "gui/upcoming_model.h"
#include "gui/window_placement.h"
#include "library/media_types.h"
#include "play/list_commands.h"
#include "play/player.h"
#include "play/volume.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include <algorithm>
#include <cmath>
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
  // "=" shares its key with "+" on most layouts, so it works unshifted too.
  if (key == Qt::Key_Plus || key == Qt::Key_Equal)
    return kKeyVolumeUp;
  if (key == Qt::Key_Minus)
    return kKeyVolumeDown;
  return 0;
}

}  // namespace

MainWindow::MainWindow(App& app, QWidget* parent) : QWidget(parent), app_(app) {
  setWindowTitle("Plinka");
  setWindowIcon(programIcon());
  tray_ = std::make_unique<TrayIcon>(app_, this, [this] { trayRightClick(); });
  // The user sees the window go at once, with its place and column widths
  // in the settings before they are saved.
  runEnd_ = std::make_unique<RunEnd>(app_, this, [this] {
    if (onEnding)
      onEnding();
    storeColumnWidths();
    storePlacement();
    hide();
    tray_->hide();
  });
  // Made before the player thread starts: nothing else writes the details yet.
  if (app_.details.current.title[0] == '\0')
    std::strncpy(app_.details.current.title, kProgramTitle, sizeof app_.details.current.title - 1);

  view_ = new NowPlayingView(app_, this);
  view_->onLeftClick = [this](QPoint at) {
    if (pictureClick(app_, at.x(), at.y(), static_cast<uint32_t>(width()), static_cast<uint32_t>(height())))
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
    const WindowCommand id = button.id;
    QAction* action = toolbar_->addAction(QString::number(codeValue(id)), this, [this, id] { runCommand(id, 0); });
    action->setData(codeValue(id));
    action->setToolTip(toQ(toolbarTooltip(app_, id)));
    buttons_.push_back(action);
    if (id == WindowCommand::PlayPause)
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

  // The volume slider: thousandths of the slider's scale. A click beside the
  // knob or a notch of the wheel moves it one step, as the keys do. It never
  // takes the focus, so the keys stay the window's.
  volumeBar_ = new QSlider(Qt::Horizontal, this);
  volumeBar_->setRange(0, kVolumeBarRange);
  const int step = static_cast<int>(play::kVolumeStep * kVolumeBarRange + 0.5);
  volumeBar_->setSingleStep(step);
  volumeBar_->setPageStep(step);
  volumeBar_->setFocusPolicy(Qt::NoFocus);
  volumeBar_->setToolTip("Volume");
  refreshVolumeBar();
  connect(volumeBar_, &QSlider::valueChanged, this,
          [this](int value) { play::setCurrentVolume(app_, static_cast<double>(value) / kVolumeBarRange); });

  // The upcoming list: a view over the model that follows the engine's list
  // from the rows it holds now on.
  model_ = new UpcomingModel(app_.list, this);
  list_ = new QTreeView(this);
  list_->setModel(model_);
  list_->setRootIsDecorated(false);
  list_->setItemsExpandable(false);
  list_->setUniformRowHeights(true);
  list_->setAllColumnsShowFocus(true);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  // Each column keeps the width the user gave it, and the last one reaches
  // the window's right edge. None is narrower than the Type column's texts;
  // a double click on a divider fits the column before it to its texts
  // (the tree view's own way). Paths are cut in the middle.
  QHeaderView* header = list_->header();
  header->setMinimumSectionSize(narrowestSongColumn(*list_));
  for (int c = 0; c < play::ColumnCount; ++c) {
    const uint32_t width = app_.settings.columnWidth[c];
    const int stored = width > 0 && width < 10000 ? static_cast<int>(width) : kDefaultColumnWidth;
    list_->setColumnWidth(c, std::max(stored, header->minimumSectionSize()));
  }
  lastColumnWidth_ = list_->columnWidth(play::ColumnCount - 1);
  header->setStretchLastSection(true);
  list_->setItemDelegateForColumn(play::FileName, new PathDelegate(list_));
  // A double click plays the row: the command names it by its id, so a song
  // starting in between does not put another row in its place. Posted from a
  // job thread: the GUI thread does not wait for the command slot.
  connect(list_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    const uint32_t id = model_->rowId(index.row());
    if (id != play::kNoRowId)
      postFromJobThread(app_, play::ListCommand::PlayFromRow, id, kDoubleClickPatience);
  });
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (app_.mainWindow.creating.load() != 0)
      return;
    // The menu's row is the one clicked on, else the current one.
    const QModelIndex clicked = list_->indexAt(at);
    if (clicked.isValid())
      list_->setCurrentIndex(clicked);
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
  // The picture covers the window in full screen: the popup menu is there
  // too (Escape, taken by the keyboard filter, leaves full screen).
  video_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(video_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (app_.mainWindow.creating.load() == 0)
      showPopupMenu(video_->mapTo(this, at), false);
  });
  app_.player.videoWindow.store(static_cast<uintptr_t>(video_->winId()));

  trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
  qApp->installEventFilter(this);
  setPlaying(app_.run.playerRunning.load() != 0);
  resize(kFirstWidth, kFirstHeight);
  applyLayout();
  // Context menus are allowed from here on.
  app_.mainWindow.creating.store(0);
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
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
  volumeBar_->setGeometry(layout_.volumeX, layout_.seekBarY, layout_.volumeWidth, kSeekBarHeight);

  if (app_.run.playerRunning.load() != 0) {
    app_.player.videoWidth.store(layout_.videoWidth);
    app_.player.videoHeight.store(layout_.videoHeight);
    play::PlayerRequest none = play::PlayerRequest::None;
    app_.run.playerRequest.compare_exchange_strong(none, play::PlayerRequest::PlaceVideo);
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
                    app_.currentMediaType.load() >= library::kFirstVideoType && app_.player.inTray.load() == 0;
  const bool full = show && app_.settings.fullMovie != 0 && !fullScreenLeft_;
  if (full && !fullScreenVideo_) {
    fullScreenVideo_ = true;
    maximisedBeforeFullScreen_ = isMaximized();
    showFullScreen();
  } else if (!full && fullScreenVideo_) {
    // Back to the state the window had before: a maximised window stays
    // maximised.
    fullScreenVideo_ = false;
    if (maximisedBeforeFullScreen_)
      showMaximized();
    else
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

void MainWindow::applyStatus(const StatusTexts& texts) {
  for (int part = 0; part < 4; ++part)
    status_[part]->setText(toQ(texts.part[part]));
  if (playAction_)
    playAction_->setToolTip(toQ(toolbarTooltip(app_, WindowCommand::PlayPause)));
  tray_->refreshTip();
}

void MainWindow::refreshNowPlaying() {
  showNowPlaying();
  if (onPlayerChanged)
    onPlayerChanged();
}

void MainWindow::showNowPlaying() {
  view_->update();
  refreshVideo();
  // With PLINKA_LOG set, each song that starts is written to standard error,
  // so a run can be followed from outside.
  const std::string song = play::copyCurrentSong(app_).file;
  if (song != loggedSong_) {
    loggedSong_ = song;
    // Full screen, once left, stays left for the rest of a song only.
    if (fullScreenLeft_) {
      fullScreenLeft_ = false;
      refreshVideo();
    }
    // A video starts off screen; the layout gives it its place now rather
    // than at the next resize.
    if (app_.player.videoShowing.load() != 0)
      applyLayout();
    static const bool logging = std::getenv("PLINKA_LOG") != nullptr;
    if (logging && !song.empty())
      std::fprintf(stderr, "playing: %s\n", song.c_str());
  }
}

void MainWindow::showPlayerControls() {
  if (playAction_)
    playAction_->setToolTip(toQ(toolbarTooltip(app_, WindowCommand::PlayPause)));
  tray_->refreshTip();
}

void MainWindow::showPlayerChanges(PlayerChanges changes) {
  if (changes.has(PlayerChange::Stopped))
    setPlaying(false);
  if (changes.has(PlayerChange::NowPlaying))
    showNowPlaying();
  if (changes.has(PlayerChange::SeekBar))
    refreshSeekBar();
  if (changes.has(PlayerChange::Controls))
    showPlayerControls();
  if (changes.has(PlayerChange::Volume))
    refreshVolumeBar();
  if (onPlayerChanged && (changes.has(PlayerChange::NowPlaying) || changes.has(PlayerChange::Controls) ||
                          changes.has(PlayerChange::Volume)))
    onPlayerChanged();
}

void MainWindow::showListTop() { list_->scrollToTop(); }

void MainWindow::refreshSeekBar() {
  if (seekBar_->isSliderDown())
    return;
  const QSignalBlocker quiet(seekBar_);
  seekBar_->setValue(static_cast<int>(app_.player.seekBar.load()));
}

void MainWindow::refreshVolumeBar() {
  // A drag in progress keeps the knob where the mouse holds it; the value it
  // sets is the one shown anyway.
  if (volumeBar_->isSliderDown())
    return;
  const QSignalBlocker quiet(volumeBar_);
  volumeBar_->setValue(static_cast<int>(std::lround(play::currentVolume(app_) * kVolumeBarRange)));
}

void MainWindow::setPlaying(bool playing) {
  if (!playAction_)
    return;
  const size_t image = playing ? kPlayButtonPlaying : kPlayButtonStopped;
  if (image < pictures_.size())
    playAction_->setIcon(QIcon(pictures_[image]));
  else
    playAction_->setText(playing ? "Pause" : "Play");
  playAction_->setToolTip(toQ(toolbarTooltip(app_, WindowCommand::PlayPause)));
  refreshVideo();
}

void MainWindow::runCommand(WindowCommand command, uint32_t parameter) {
  if (runEnd_->ended())
    return;
  applyEffects(runWindowCommand(app_, command, parameter));
}

void MainWindow::applyEffects(const WindowEffects& effects) {
  if (effects.repaint)
    view_->update();
  if (effects.maximise)
    showMaximized();
  if (effects.applyOnTop) {
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, app_.settings.onTop != 0);
    if (visible)
      show();
  }
  if (effects.minimise)
    showMinimized();
  // Play was pressed: the button shows Pause at once, here on the GUI
  // thread; the player turns it back when it pauses or stops.
  if (effects.playing)
    setPlaying(true);
  if (effects.endRun)
    runEnd_->endRun();
}

void MainWindow::openWindow(WindowKind window, uint32_t argument) {
  if (window == WindowKind::Search) {
    // One at a time: a second open brings the open one forward.
    if (searchWindow_ && searchWindow_->isVisible()) {
      searchWindow_->bringForward();
    } else {
      searchWindow_ = new SearchWindow(app_, this);
      searchWindow_->begin(argument);
    }
    return;
  }
  if (window == WindowKind::Options && app_.prompts.dialogOpen.load() == 0) {
    const OptionsEffects options = runOptionsWindow(app_, this);
    WindowEffects effects;
    effects.applyOnTop = options.applyOnTop;
    effects.repaint = options.repaint;
    applyEffects(effects);
  }
  if (window == WindowKind::About && app_.mainWindow.aboutOpen == 0) {
    app_.mainWindow.aboutOpen = 1;
    runAbout(this);
    app_.mainWindow.aboutOpen = 0;
  }
  if (window == WindowKind::Database && app_.mainWindow.databaseOpen == 0) {
    app_.mainWindow.databaseOpen = 1;
    DatabaseWindow database(app_, static_cast<DatabaseWindowStart>(argument), this);
    database.exec();
    app_.mainWindow.databaseOpen = 0;
  }
  if (window == WindowKind::Internals) {
    InternalsWindow internals(app_, this);
    internals.exec();
  }
  // The filler is a program of its own, started beside this one.
  if (window == WindowKind::Filler) {
    runCommand(WindowCommand::OpenFiller, argument);
    return;
  }
  // One details window at a time; it is modal and owns the pending action.
  if (window == WindowKind::SongDetails && app_.mainWindow.detailsPendingAction.load() == 0) {
    SongDetailsWindow details(app_, argument, this);
    details.exec();
  }
}

bool MainWindow::takeKey(int key) {
  const KeyOutcome outcome = handleKey(app_, key);
  if (!outcome.handled)
    return false;
  if (outcome.repaint)
    view_->update();
  // Posted, as a menu choice would be: the key's handling ends first.
  if (outcome.command != WindowCommand::None) {
    const WindowCommand command = outcome.command;
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
      action->setData(codeValue(entry.id));
      if (entry.checked) {
        action->setCheckable(true);
        action->setChecked(true);
      }
    }
  }
}

std::unique_ptr<QMenu> MainWindow::makePopupMenu(QPoint at, bool listMenu) {
  app_.mainWindow.listMenu = listMenu ? 1 : 0;
  // The row the list menu's row commands act on, named by its id: rows that
  // come or go while the menu is open do not change it.
  menuRowId_ = listMenu ? currentRowId() : play::kNoRowId;
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
    chooseMenuEntry(windowCommand(chosen->data().toUInt()));
}

void MainWindow::chooseMenuEntry(WindowCommand command) { runCommand(command, menuRowId_); }

uint32_t MainWindow::currentRowId() const {
  const QModelIndex current = list_->currentIndex();
  return current.isValid() ? model_->rowId(current.row()) : play::kNoRowId;
}

void MainWindow::setCurrentRow(int row) { list_->setCurrentIndex(model_->index(row, 0)); }

void MainWindow::leaveFullScreen() {
  if (!fullScreenVideo_)
    return;
  fullScreenLeft_ = true;
  refreshVideo();
  applyLayout();
}

void MainWindow::trayLeftClick() { tray_->giveWindowBack(); }

void MainWindow::trayRightClick() { showPopupMenu(QPoint(0, 0), false); }

bool MainWindow::inTray() const { return app_.player.inTray.load() != 0; }

int MainWindow::columnWidthKept(int column) const {
  // The last column shows as wide as the window leaves it; its own width is
  // the one it was given.
  return column == play::ColumnCount - 1 ? lastColumnWidth_ : list_->columnWidth(column);
}

void MainWindow::storeColumnWidths() {
  for (int c = 0; c < play::ColumnCount; ++c)
    app_.settings.columnWidth[c] = static_cast<uint32_t>(columnWidthKept(c));
}

void MainWindow::storePlacement() { storeWindowPlacement(*this, app_.settings); }

void MainWindow::applyPlacement() {
  restoreWindowPlacement(*this, app_.settings);
  if (app_.settings.maximised != 0)
    QMetaObject::invokeMethod(
        this, [this] { runCommand(WindowCommand::Maximise, 0); }, Qt::QueuedConnection);
}

void MainWindow::finishRun() { runEnd_->finishRun(); }

void MainWindow::resizeEvent(QResizeEvent*) { applyLayout(); }

void MainWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Into the tray only where the desktop shows one: without it the hidden
  // window could not be brought back, so it stays minimised as usual.
  if (event->type() == QEvent::WindowStateChange && isMinimized() && app_.settings.trayMinimise != 0 &&
      app_.player.inTray.load() == 0 && trayAvailable && trayAvailable())
    QMetaObject::invokeMethod(
        this, [this] { tray_->takeWindow(); }, Qt::QueuedConnection);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
    return false;
  // Keys of every widget of this window, before the widget sees them; a
  // dialog opened from here keeps its own keys.
  if (static_cast<QWidget*>(watched)->window() != this)
    return false;
  const auto* press = static_cast<QKeyEvent*>(event);
  if (press->key() == Qt::Key_Escape && fullScreenVideo_) {
    leaveFullScreen();
    return true;
  }
  const int key = mapKey(*press);
  return key != 0 && takeKey(key);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (runEnd_->ended()) {
    event->accept();
    return;
  }
  // Closing asks the engine to quit; the window stays until the run has
  // ended (WindowCommand::EndRun).
  requestClose(app_);
  event->ignore();
}

int MainWindow::rowCount() const { return model_->rowCount(); }

std::string MainWindow::cellText(int row, int column) const {
  return fromQ(model_->data(model_->index(row, column)).toString());
}

std::string MainWindow::statusText(int part) const {
  return part >= 0 && part < 4 ? fromQ(status_[part]->text()) : std::string();
}

int MainWindow::statusPartCount() const { return static_cast<int>(layout_.statusEdges.size()); }

QRect MainWindow::listGeometry() const { return layout_.listVisible ? list_->geometry() : QRect(); }

QRect MainWindow::seekBarGeometry() const { return seekBar_->geometry(); }

QRect MainWindow::volumeBarGeometry() const { return volumeBar_->geometry(); }

std::string MainWindow::toolTipOf(WindowCommand command) const {
  for (QAction* action : buttons_)
    if (action && windowCommand(action->data().toUInt()) == command)
      return fromQ(action->toolTip());
  return {};
}

}  // namespace plinka::gui
