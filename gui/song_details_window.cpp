#include "gui/song_details_window.h"

#include "app/app.h"
#include "core/prompt.h"
#include "desk/window_commands.h"
#include "gui/qt_text.h"
#include "library/loudness.h"
#include "play/list_commands.h"
#include "play/play_next.h"
#include "play/player.h"

#include "ui_song_details_window.h"

#include <QLineEdit>
#include <QSpinBox>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

namespace plinka::gui {

namespace {

// "Name" while the first record is being loaded.
constexpr char kLoadingText[] = "Corvane busy...";
// The largest point a spin box holds.
constexpr uint32_t kLargestPoint = std::numeric_limits<int>::max();
constexpr const char* kOScaleNames[kOScaleCount] = {"Clean", "Muddy", "Dirty", "Really Dirty"};

constexpr char kGotoText[] = "Enter the index number of the song to view.";
constexpr char kGotoCaption[] = "Goto";
constexpr char kCancelCaption[] = "Cancel";
constexpr char kSearchText[] = "Enter word or phrase to search for in a song. (Must be at least two characters.)";
constexpr char kSearchCaption[] = "Search";
constexpr char kNoMatchText[] = "No matches found";
constexpr char kNoMatchOk[] = "OK";
constexpr char kNoMatchClose[] = "Close Song Details window";
constexpr char kMovedText[] =
    "This song is no longer at this place in the database (it was changed elsewhere), so nothing was changed.";
constexpr char kNoSongText[] = "This place in the database holds no song, so nothing was changed.";
constexpr char kNextBusyText[] =
    "Plinka is busy with the list just now, so the song was not put next. Try \"Next\" again in a moment.";

// What the window says under the buttons when a change was not made.
const char* notDoneText(DetailsAction action) {
  switch (action) {
  case DetailsAction::LoadId:
    return "The tag details were not loaded: the database is offline.";
  case DetailsAction::Delete:
    return "The song was not deleted: the database is offline.";
  default:
    return "The edit was not saved: the database is offline.";
  }
}

// The number typed into the "Goto" prompt: digits only, surrounding blanks
// allowed; anything else is no number. Large numbers are kept large, to be
// cut to the slot count.
std::optional<uint32_t> typedIndex(const std::string& typed) {
  const QString text = toQ(typed).trimmed();
  if (text.isEmpty())
    return std::nullopt;
  uint64_t n = 0;
  for (const QChar c : text) {
    if (c.unicode() < u'0' || c.unicode() > u'9')
      return std::nullopt;
    n = std::min<uint64_t>(n * 10 + static_cast<uint64_t>(c.unicode() - u'0'), std::numeric_limits<uint32_t>::max());
  }
  return static_cast<uint32_t>(n);
}

}  // namespace

SongDetailsWindow::SongDetailsWindow(App& app, uint32_t record, QWidget* parent)
    : QDialog(parent), app_(app), form_(std::make_unique<::Ui::SongDetailsDialog>()) {
  form_->setupUi(this);
  for (const char* name : kOScaleNames)
    form_->oScale->addItem(name);
  form_->oScale->setCurrentIndex(0);
  form_->name->setText(kLoadingText);
  form_->startPoint->setEnabled(false);
  form_->endPoint->setEnabled(false);
  // The slot + 1; a record of -1 (none) shows 0.
  dbIdx_ = record + 1;
  form_->dbIdx->setText(QString::number(dbIdx_));

  connect(form_->startSet, &QCheckBox::toggled, form_->startPoint, &QWidget::setEnabled);
  connect(form_->endSet, &QCheckBox::toggled, form_->endPoint, &QWidget::setEnabled);
  connect(form_->close, &QPushButton::clicked, this, [this] { startAction(DetailsAction::SaveAndClose); });
  connect(form_->save, &QPushButton::clicked, this, [this] { startAction(DetailsAction::Save); });
  connect(form_->previous, &QPushButton::clicked, this, [this] { startAction(DetailsAction::Previous); });
  connect(form_->next, &QPushButton::clicked, this, [this] { startAction(DetailsAction::Next); });
  connect(form_->loadId, &QPushButton::clicked, this, [this] { startAction(DetailsAction::LoadId); });
  connect(form_->findMore, &QPushButton::clicked, this, [this] { startAction(DetailsAction::FindMore); });
  connect(form_->find, &QPushButton::clicked, this, [this] { askFind(); });
  connect(form_->gotoEntry, &QPushButton::clicked, this, [this] { askGoto(); });
  connect(form_->deleteSong, &QPushButton::clicked, this, [this] { askDelete(); });
  connect(form_->play, &QPushButton::clicked, this, [this] { playFileNext(true); });
  connect(form_->playNext, &QPushButton::clicked, this, [this] { playFileNext(false); });
  connect(form_->cancel, &QPushButton::clicked, this, &QDialog::reject);

  timer_.setInterval(static_cast<int>(kDetailsRetryMs));
  connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
  startAction(DetailsAction::Load);
}

SongDetailsWindow::~SongDetailsWindow() {
  if (attempt_) {
    std::lock_guard lock(attempt_->mutex);
    attempt_->receiver = nullptr;
  }
  if (pending() != DetailsAction::Closed)
    setPending(DetailsAction::Closed);
}

void SongDetailsWindow::setPending(DetailsAction action) {
  app_.mainWindow.detailsPendingAction.store(actionValue(action));
}

DetailsAction SongDetailsWindow::pending() const {
  return static_cast<DetailsAction>(app_.mainWindow.detailsPendingAction.load());
}

bool SongDetailsWindow::actionPending() const {
  return attempt_ != nullptr || actionValue(pending()) > actionValue(DetailsAction::Idle);
}

void SongDetailsWindow::startAction(DetailsAction action) {
  // With no record shown (the current song is not in the table) there is
  // nothing to save or change: "Close" just closes.
  if (isWritingAction(action) && !recordShown_) {
    if (action == DetailsAction::SaveAndClose)
      reject();
    return;
  }
  setPending(action);
  enableActions(false);
  timer_.start();
  tick();
}

void SongDetailsWindow::tick() {
  const DetailsAction action = pending();
  if (actionValue(action) <= actionValue(DetailsAction::Idle)) {
    timer_.stop();
    return;
  }
  if (attempt_)
    return;  // the job of this action is still at work

  DetailsRequest request;
  request.action = action;
  request.dbIdx = dbIdx_;
  request.form = formShown();
  request.loadedFileName = loadedFileName_;
  request.searchText = app_.mainWindow.searchInput;

  auto attempt = std::make_shared<Attempt>();
  attempt->action = action;
  attempt->receiver = this;
  attempt_ = attempt;
  App* app = &app_;
  const bool started = app_.jobThreads.start([app, attempt, request] {
    std::optional<DetailsOutcome> outcome = tryDetailsAction(*app, request);
    std::lock_guard lock(attempt->mutex);
    attempt->outcome = std::move(outcome);
    attempt->finished = true;
    // Only a wake-up goes through Qt's queue; the outcome stays here.
    if (attempt->receiver)
      QMetaObject::invokeMethod(attempt->receiver, "takeOutcome", Qt::QueuedConnection);
  });
  if (!started)
    attempt_.reset();  // the run is ending; the next tick tries again
}

void SongDetailsWindow::takeOutcome() {
  if (!attempt_)
    return;
  std::optional<DetailsOutcome> outcome;
  {
    std::lock_guard lock(attempt_->mutex);
    if (!attempt_->finished)
      return;
    outcome = std::move(attempt_->outcome);
  }
  const DetailsAction action = attempt_->action;
  attempt_.reset();
  // Not granted: the action stays pending and the timer asks again.
  if (!outcome || pending() != action)
    return;

  const DetailsOutcome& out = *outcome;
  if (out.slotCount != 0) {
    slotCount_ = out.slotCount;
    form_->slotCount->setText(QString::number(slotCount_));
  }
  if (out.loaded) {
    dbIdx_ = out.dbIdx;
    form_->dbIdx->setText(QString::number(dbIdx_));
    showForm(out.form);
    loadedFileName_ = out.form.fileName;
    loadedRatings_ = out.form.rating;
    recordShown_ = true;
  } else if (!recordShown_) {
    form_->name->clear();  // no longer loading: there is no record to show
  }
  if (out.written && (action == DetailsAction::Save || action == DetailsAction::SaveAndClose))
    form_->notice->setText("Saved.");
  else if (out.notice == DetailsNotice::None)
    form_->notice->clear();

  if (out.closeWindow) {
    setPending(DetailsAction::Closed);
    accept();
    return;
  }
  setPending(DetailsAction::Idle);
  timer_.stop();
  enableActions(true);
  notify(out.notice, action);
}

void SongDetailsWindow::notify(DetailsNotice notice, DetailsAction action) {
  PromptRequest request;
  request.style = PromptStyle::SmallQuestion;
  switch (notice) {
  case DetailsNotice::None:
    return;
  case DetailsNotice::Offline:
    form_->notice->setText(notDoneText(action));
    request.message = kOfflineText;
    request.firstCaption = kOfflineOk;
    request.secondCaption = kOfflineHelp;
    if (askPrompt(app_, request) == kPromptSecond && app_.ui)
      app_.ui->openHelp();
    return;
  case DetailsNotice::NotSaved:
  case DetailsNotice::NoSong: {
    const char* text = notice == DetailsNotice::NoSong ? kNoSongText : kMovedText;
    form_->notice->setText(text);
    request.message = text;
    request.firstCaption = kOfflineOk;
    request.secondCaption = kOfflineHelp;
    if (askPrompt(app_, request) == kPromptSecond && app_.ui)
      app_.ui->openHelp();
    return;
  }
  case DetailsNotice::NoMatch:
    request.message = kNoMatchText;
    request.firstCaption = kNoMatchOk;
    request.secondCaption = kNoMatchClose;
    if (askPrompt(app_, request) == kPromptSecond)
      reject();
    return;
  }
}

void SongDetailsWindow::showForm(const DetailsForm& form) {
  form_->fileName->setText(toQ(form.fileName));
  form_->fileSize->setText(QString::number(form.fileSize));
  form_->name->setText(toQ(form.name));
  form_->artist->setText(toQ(form.artist));
  form_->album->setText(toQ(form.album));
  form_->comment->setText(toQ(form.comment));
  // Long paths show from their start, as the texts do.
  for (QLineEdit* edit : {form_->fileName, form_->name, form_->artist, form_->album, form_->comment})
    edit->setCursorPosition(0);
  form_->oScale->setCurrentIndex(static_cast<int>(form.oScale));
  form_->lockName->setChecked(form.lockName);
  form_->startPoint->setValue(static_cast<int>(std::min<uint32_t>(form.startPoint, kLargestPoint)));
  form_->startSet->setChecked(form.startSet);
  form_->startPoint->setEnabled(form.startSet);
  form_->endPoint->setValue(static_cast<int>(std::min<uint32_t>(form.endPoint, kLargestPoint)));
  form_->endSet->setChecked(form.endSet);
  form_->endPoint->setEnabled(form.endSet);
  form_->playCount->setText(QString::number(form.playCount));
  form_->songId->setText(QString::number(form.id));
  form_->loudness->setText(toQ(library::describeLoudness(form.loudness)));
  for (uint32_t u = 0; u < kUserCount; ++u) {
    if (auto* box = findChild<QSpinBox*>(QString("rating%1").arg(u + 1)))
      box->setValue(static_cast<int>(form.rating[u]));
  }
}

DetailsForm SongDetailsWindow::formShown() const {
  DetailsForm form;
  form.fileName = fromQ(form_->fileName->text());
  form.name = fromQ(form_->name->text());
  form.artist = fromQ(form_->artist->text());
  form.album = fromQ(form_->album->text());
  form.comment = fromQ(form_->comment->text());
  form.oScale = static_cast<uint32_t>(std::max(form_->oScale->currentIndex(), 0));
  form.lockName = form_->lockName->isChecked();
  form.startSet = form_->startSet->isChecked();
  form.startPoint = static_cast<uint32_t>(form_->startPoint->value());
  form.endSet = form_->endSet->isChecked();
  form.endPoint = static_cast<uint32_t>(form_->endPoint->value());
  for (uint32_t u = 0; u < kUserCount; ++u) {
    if (const auto* box = findChild<QSpinBox*>(QString("rating%1").arg(u + 1)))
      form.rating[u] = static_cast<uint32_t>(box->value());
    form.ratingChanged[u] = form.rating[u] != loadedRatings_[u];
  }
  return form;
}

void SongDetailsWindow::enableActions(bool enabled) {
  for (QPushButton* button : {form_->close, form_->save, form_->previous, form_->next, form_->loadId, form_->find,
                              form_->findMore, form_->gotoEntry, form_->deleteSong})
    button->setEnabled(enabled);
}

void SongDetailsWindow::askGoto() {
  PromptRequest request;
  request.message = kGotoText;
  request.firstCaption = kGotoCaption;
  request.secondCaption = kCancelCaption;
  request.style = PromptStyle::SmallTextEntry;
  request.entryText = std::to_string(dbIdx_);
  std::string typed;
  if (askPrompt(app_, request, &typed) != kPromptFirst)
    return;
  const std::optional<uint32_t> n = typedIndex(typed);
  if (!n || *n == 0)
    return;
  // Without a slot count yet (nothing loaded) the number stands as typed;
  // the load shows nothing for a slot beyond the table.
  dbIdx_ = slotCount_ != 0 ? gotoIndex(*n, slotCount_) : *n;
  form_->dbIdx->setText(QString::number(dbIdx_));
  startAction(DetailsAction::Load);
}

void SongDetailsWindow::askFind() {
  PromptRequest request;
  request.message = kSearchText;
  request.firstCaption = kSearchCaption;
  request.secondCaption = kCancelCaption;
  request.style = PromptStyle::SmallTextEntry;
  std::string& searchText = app_.mainWindow.searchInput;
  request.entryText = searchText;
  std::string typed;
  const uint32_t answer = askPrompt(app_, request, &typed);
  // The text is kept whichever button ended the prompt, as the prompt hands
  // it back; the search runs only on "Search".
  searchText = typed.substr(0, kSearchTextMax);
  if (answer == kPromptFirst)
    startAction(DetailsAction::Find);
}

void SongDetailsWindow::askDelete() {
  PromptRequest request;
  request.message = play::kDeleteQuestion;
  request.firstCaption = play::kDeleteYes;
  request.secondCaption = play::kDeleteNo;
  request.style = PromptStyle::SmallQuestion;
  if (askPrompt(app_, request) == kPromptFirst)
    startAction(DetailsAction::Delete);
}

void SongDetailsWindow::playFileNext(bool startPlaying) {
  // "Next" only while nothing else holds or asks for the list; the window
  // says why nothing happened.
  if (!startPlaying && (app_.run.busyCode.load() != 0 || app_.run.commandSlot.load() != 0)) {
    form_->notice->setText(kNextBusyText);
    return;
  }
  if (form_->notice->text() == kNextBusyText)
    form_->notice->clear();
  const std::string path = fromQ(form_->fileName->text());
  App* app = &app_;
  app_.jobThreads.start([app, path, startPlaying] {
    if (play::playNext(*app, path) && startPlaying)
      app->run.playerRequest.store(play::PlayerRequest::Start);
  });
}

void SongDetailsWindow::done(int result) {
  // "Cancel" and the window's close button leave at once without saving.
  // A job at work finishes and gives its busy code back itself.
  timer_.stop();
  setPending(DetailsAction::Closed);
  if (attempt_) {
    std::lock_guard lock(attempt_->mutex);
    attempt_->receiver = nullptr;
  }
  attempt_.reset();
  QDialog::done(result);
}

}  // namespace plinka::gui
