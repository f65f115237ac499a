#include "gui/search_window.h"

#include "app/app.h"
#include "core/prompt.h"
#include "desk/window_commands.h"
#include "gui/found_songs_model.h"
#include "gui/main_window.h"
#include "gui/qt_text.h"
#include "gui/song_columns.h"
#include "play/play_next.h"
#include "play/player.h"
#include "ui_search_window.h"

#include <QCloseEvent>
#include <QCursor>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

namespace plinka::gui {

namespace {

constexpr char kSearchQuestion[] = "Enter word or phrase to search for in a song. (Must be at least two characters.)";
constexpr char kSearchButton[] = "Search";
constexpr char kCancelButton[] = "Cancel";
constexpr char kNoMatches[] = "No matches found";
constexpr char kSearchAgain[] = "Search again";
constexpr char kCloseWindow[] = "Close Search window";

// How far the window opens from the main window's corner.
constexpr int kOffset = 100;
// Widths of the "Rating" and "Index" columns, and of a list column whose
// width the main window cannot give.
constexpr int kNumberColumnWidth = 50;
constexpr int kFallbackColumnWidth = 100;
// No list column is made narrower than this to fit the window.
constexpr int kNarrowestColumn = 40;
// Kept free beside the columns when they are narrowed to fit.
constexpr int kRoomToSpare = 16;

// Narrows the columns to `room` in all, each in proportion to its width,
// none below kNarrowestColumn (those that would be take that much and the
// others share the rest). Columns that fit are left alone.
void fitWidths(int (&widths)[play::ColumnCount], int room) {
  int total = 0;
  for (const int w : widths)
    total += w;
  if (total <= room || room <= 0)
    return;
  int narrowest = 0, shared = 0;
  for (const int w : widths) {
    if (w * room / total < kNarrowestColumn)
      narrowest += kNarrowestColumn;
    else
      shared += w;
  }
  const int left = std::max(room - narrowest, 0);
  for (int& w : widths)
    w = w * room / total < kNarrowestColumn || shared == 0 ? kNarrowestColumn
                                                           : std::max(w * left / shared, kNarrowestColumn);
}

}  // namespace

SearchWindow::SearchWindow(App& app, MainWindow* owner)
    : QWidget(owner, Qt::Window), app_(app), owner_(owner), form_(std::make_unique<::Ui::SearchWindow>()),
      search_(app) {
  form_->setupUi(this);
  setAttribute(Qt::WA_DeleteOnClose);
  app_.mainWindow.searchWindowRunning.store(1);

  model_ = new FoundSongsModel(this);
  QTreeView* list = form_->results;
  list->setModel(model_);
  list->header()->setStretchLastSection(false);
  // The upcoming list's columns as wide as the main window shows them now,
  // narrowed where that is needed for "Rating" and "Index" to show in the
  // window without scrolling sideways.
  int widths[play::ColumnCount];
  for (int c = 0; c < play::ColumnCount; ++c) {
    const int width = owner_ ? owner_->columnWidthKept(c) : 0;
    widths[c] = width > 0 ? width : kFallbackColumnWidth;
  }
  const int room = width() - 2 * kNumberColumnWidth - list->verticalScrollBar()->sizeHint().width() -
                   2 * list->frameWidth() - kRoomToSpare;
  fitWidths(widths, room);
  for (int c = 0; c < play::ColumnCount; ++c)
    list->setColumnWidth(c, widths[c]);
  list->setColumnWidth(kRatingColumn, kNumberColumnWidth);
  list->setColumnWidth(kIndexColumn, kNumberColumnWidth);
  list->setItemDelegateForColumn(play::FileName, new PathDelegate(list));

  connect(list, &QAbstractItemView::doubleClicked, this,
          [this](const QModelIndex& index) { playNext(index.row(), true); });
  list->installEventFilter(this);
  connect(list, &QWidget::customContextMenuRequested, this, [this](const QPoint&) {
    std::unique_ptr<QMenu> menu = makeContextMenu();
    if (const QAction* chosen = menu->exec(QCursor::pos()))
      chooseMenuEntry(windowCommand(chosen->data().toUInt()));
  });

  // The reports come on the search's job thread; each travels to the GUI
  // thread whole, in the order the search made them.
  search_.setReceiver([this](play::SearchReport&& report) {
    handOff_.post([this, report = std::move(report)]() mutable { take(std::move(report)); });
  });
}

SearchWindow::~SearchWindow() {
  // No report reaches this window once the search has let go of it.
  search_.cancel();
  search_.setReceiver(nullptr);
  if (!closed_)
    app_.mainWindow.searchWindowRunning.store(0);
}

void SearchWindow::begin(uint32_t mode) {
  // Down and to the right of the main window's corner, where it does not
  // hide the now-playing texts.
  move((owner_ ? owner_->pos() : QPoint()) + QPoint(kOffset, kOffset));
  show();
  bringForward();
  if (mode == kSearchTopSongs) {
    setWindowTitle("Top Songs");
    search({play::SearchKind::TopSongs, std::string()});
  } else if (mode == kSearchNormal) {
    // Asked once the window is on screen and the command that opened it has
    // returned.
    QTimer::singleShot(0, this, [this] { askAndSearch(); });
  } else {
    search({play::SearchKind::Text, app_.mainWindow.searchInput});
  }
}

void SearchWindow::bringForward() {
  if (isMinimized())
    showNormal();
  raise();
  activateWindow();
}

void SearchWindow::askAndSearch() {
  PromptRequest request;
  request.message = kSearchQuestion;
  request.firstCaption = kSearchButton;
  request.secondCaption = kCancelButton;
  request.entryText = app_.mainWindow.searchInput;
  request.style = PromptStyle::SmallTextEntry;
  std::string entered;
  const QPointer<SearchWindow> alive(this);
  const uint32_t answer = askPrompt(app_, request, &entered);
  if (!alive)
    return;
  // The prompt edits the search text shared with the Song details window,
  // whichever button ended it.
  app_.mainWindow.searchInput = entered;
  if (answer != kPromptFirst) {
    close();
    return;
  }
  search({play::SearchKind::Text, entered});
}

void SearchWindow::search(const play::SearchOrder& order) {
  kind_ = order.kind;
  model_->clear();
  form_->progress->setText(order.kind == play::SearchKind::TopSongs ? "Listing the most played songs..."
                                                                    : "Searching for \"" + toQ(order.text) + "\"...");
  running_ = search_.start(order);
  if (running_ == 0)
    form_->progress->setText("The search could not start.");
}

void SearchWindow::take(play::SearchReport&& report) {
  if (report.search != running_)
    return;
  model_->append(std::move(report.songs));
  if (!report.finished)
    return;
  running_ = 0;
  const QString count = QString::number(report.found) + (report.found == 1 ? " song" : " songs");
  switch (report.end) {
  case play::SearchEnd::Done:
    form_->progress->setText(kind_ == play::SearchKind::TopSongs ? count + " played" : count + " found");
    if (kind_ == play::SearchKind::Text && report.found == 0)
      QTimer::singleShot(0, this, [this] { offerSearchAgain(); });
    break;
  case play::SearchEnd::Lost:
    form_->progress->setText(count + " found before the search was stopped");
    break;
  case play::SearchEnd::Cancelled:
    form_->progress->setText("Search stopped");
    break;
  }
}

void SearchWindow::offerSearchAgain() {
  PromptRequest request;
  request.message = kNoMatches;
  request.firstCaption = kSearchAgain;
  request.secondCaption = kCloseWindow;
  request.style = PromptStyle::SmallQuestion;
  const QPointer<SearchWindow> alive(this);
  const uint32_t answer = askPrompt(app_, request);
  if (!alive)
    return;
  if (answer == kPromptFirst)
    askAndSearch();
  else
    close();
}

void SearchWindow::playNext(int row, bool startPlaying) {
  if (row < 0)
    row = form_->results->currentIndex().row();
  const std::string file = fromQ(model_->fileName(row));
  if (file.empty())
    return;
  // Play next waits for exclusive use: on a job thread.
  App* app = &app_;
  app_.jobThreads.start([app, file, startPlaying] {
    if (play::playNext(*app, file) && startPlaying)
      app->run.playerRequest.store(play::PlayerRequest::Start);
  });
}

void SearchWindow::showDetails(int row) {
  if (row < 0)
    row = form_->results->currentIndex().row();
  const int64_t slot = model_->slot(row);
  if (slot < 0 || !owner_)
    return;
  owner_->runCommand(WindowCommand::SongDetailsOf, static_cast<uint32_t>(slot));
}

std::unique_ptr<QMenu> SearchWindow::makeContextMenu() {
  auto menu = std::make_unique<QMenu>(this);
  const bool onRow = form_->results->currentIndex().isValid();
  const struct {
    const char* text;
    WindowCommand command;
    bool enabled;
  } entries[] = {{"Details", WindowCommand::ListDetails, onRow},
                 {"Play Next", WindowCommand::PlayNext, onRow},
                 {"Help", WindowCommand::Help, true}};
  for (const auto& entry : entries) {
    QAction* action = menu->addAction(entry.text);
    action->setData(codeValue(entry.command));
    action->setEnabled(entry.enabled);
  }
  return menu;
}

void SearchWindow::chooseMenuEntry(WindowCommand command) {
  switch (command) {
  case WindowCommand::ListDetails:
    showDetails(-1);
    break;
  case WindowCommand::PlayNext:
    playNext(-1, false);
    break;
  case WindowCommand::Help:
    if (app_.ui)
      app_.ui->openHelp();
    break;
  default:
    break;
  }
}

QTreeView* SearchWindow::results() const { return form_->results; }

int SearchWindow::rowCount() const { return model_->rowCount(); }

std::string SearchWindow::cellText(int row, int column) const {
  return fromQ(model_->data(model_->index(row, column)).toString());
}

std::string SearchWindow::progressText() const { return fromQ(form_->progress->text()); }

bool SearchWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == form_->results && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && form_->results->currentIndex().isValid()) {
      playNext(-1, true);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void SearchWindow::closeEvent(QCloseEvent* event) {
  // The search lets go of the song table at its next look.
  search_.cancel();
  running_ = 0;
  if (!closed_)
    app_.mainWindow.searchWindowRunning.store(0);
  // A new window may open before this one is deleted; from now on the flag
  // is that one's.
  closed_ = true;
  event->accept();
}

}  // namespace plinka::gui
