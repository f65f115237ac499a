#include "gui/filler_window.h"

#include "app/app.h"
#include "app/settings_file.h"
#include "filler/empty_dir.h"
#include "filler/filler_settings.h"
#include "gui/gui_hand_off.h"
#include "gui/qt_text.h"
#include "gui/qt_ui.h"
#include "gui/toolbar_images.h"
#include "text/text.h"

#include "ui_filler_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <algorithm>
#include <cstring>

namespace plinka::gui {

namespace {

QtUi* qtUiOf(App& app) { return dynamic_cast<QtUi*>(app.ui); }

uint32_t choiceOf(const QComboBox* list, uint32_t kept) {
  const int index = list->currentIndex();
  return index < 0 ? kept : static_cast<uint32_t>(index);
}

}  // namespace

FillerWindow::FillerWindow(App& app, QWidget* parent)
    : QDialog(parent), app_(app), form_(std::make_unique<::Ui::FillerDialog>()) {
  form_->setupUi(this);
  setWindowIcon(programIcon());
  setAcceptDrops(true);
  handOff_ = new GuiHandOff(this);

  QCheckBox* const first[] = {form_->typeMp3,  form_->typeAvi, form_->typeWav, form_->typeMpeg,
                              form_->typeMidi, form_->typeWma, form_->typeAsf, form_->typeWmv};
  std::copy(std::begin(first), std::end(first), firstTypes_);
  QCheckBox* const added[] = {form_->typeFlac, form_->typeOgg, form_->typeOpus, form_->typeM4a,
                              form_->typeAac,  form_->typeMp4, form_->typeMkv,  form_->typeWebm};
  std::copy(std::begin(added), std::end(added), newTypes_);

  const SettingsRecord& s = app_.settings;
  for (const auto& name : s.userName)
    form_->userList->addItem(toQ(name));
  for (uint32_t mode = 0; mode < filler::kUserModeCount; ++mode)
    form_->userModeList->addItem(toQ(s.altModeName[mode]));
  for (const char* size : filler::kFillSizeNames)
    form_->fillSizeList->addItem(size);
  for (const char* level : filler::kPlayUpToNames)
    form_->playUpToList->addItem(level);
  for (uint32_t rating = 0; rating <= filler::kHighestRating; ++rating)
    form_->minRatingList->addItem(QString::number(rating));

  // "On Top" is a check box beside the buttons, and is also in the window's
  // own menu (a right click on it).
  onTopAction_ = new QAction("On Top", this);
  onTopAction_->setCheckable(true);
  addAction(onTopAction_);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(onTopAction_, &QAction::triggered, this, [this] { toggleOnTop(); });
  connect(form_->onTopBox, &QCheckBox::clicked, this, [this] { toggleOnTop(); });

  connect(form_->userModeList, &QComboBox::currentIndexChanged, this, [this] {
    app_.settings.fillerSettings.userMode = choiceOf(form_->userModeList, app_.settings.fillerSettings.userMode);
    applyEnabling();
  });
  connect(form_->typeAll, &QCheckBox::toggled, this, [this](bool all) {
    app_.settings.fillerSettings.typeAll = all ? 1 : 0;
    applyEnabling();
  });
  connect(form_->changeButton, &QPushButton::clicked, this, [this] {
    std::string folder = fromQ(form_->outputEdit->text());
    if (app_.ui && app_.ui->chooseFolder(folder))
      form_->outputEdit->setText(toQ(folder));
  });
  connect(form_->openOutputButton, &QPushButton::clicked, this, [this] {
    const std::string folder = fromQ(form_->outputEdit->text());
    if (folder.size() >= filler::kShortestOpenableOutput && app_.ui)
      app_.ui->openFolder(folder);
  });
  connect(form_->resetButton, &QPushButton::clicked, this, [this] { reset(); });
  connect(form_->fillButton, &QPushButton::clicked, this, [this] { fill(); });
  connect(form_->closeButton, &QPushButton::clicked, this, [this] { closeFiller(); });
  connect(form_->helpButton, &QPushButton::clicked, this, [this] {
    if (app_.ui)
      app_.ui->openHelp();
  });

  showBlock();
  applyOnTop();
  if (QtUi* ui = qtUiOf(app_))
    ui->attachView(WindowKind::Filler, this);
}

FillerWindow::~FillerWindow() {
  // The run reports to this window until its thread has ended.
  run_.stopAndJoin();
  if (QtUi* ui = qtUiOf(app_))
    ui->attachView(WindowKind::Filler, nullptr);
}

void FillerWindow::showBlock() {
  const FillerSettings& b = app_.settings.fillerSettings;
  const QSignalBlocker quietMode(form_->userModeList);
  const QSignalBlocker quietAll(form_->typeAll);
  form_->fillSizeList->setCurrentIndex(static_cast<int>(b.fillSize));
  form_->playUpToList->setCurrentIndex(static_cast<int>(b.playUpTo));
  form_->minRatingList->setCurrentIndex(static_cast<int>(b.minRating));
  form_->userList->setCurrentIndex(static_cast<int>(b.user));
  form_->userModeList->setCurrentIndex(static_cast<int>(b.userMode));
  form_->typeAll->setChecked(b.typeAll != 0);
  const uint32_t first[] = {b.typeMp3, b.typeAvi, b.typeWav, b.typeMpeg, b.typeMidi, b.typeWma, b.typeAsf, b.typeWmv};
  for (size_t k = 0; k < std::size(first); ++k)
    firstTypes_[k]->setChecked(first[k] != 0);
  for (size_t k = 0; k < filler::kNewTypeBoxes.size(); ++k)
    newTypes_[k]->setChecked((b.newTypesOff & filler::kNewTypeBoxes[k].bit) == 0);
  form_->emptyDir->setChecked(b.emptyDir != 0);
  form_->addNumber->setChecked(b.addNumber != 0);
  form_->outputEdit->setText(toQ(b.fillDirectory));
  applyEnabling();
}

bool FillerWindow::readBlock() {
  FillerSettings& b = app_.settings.fillerSettings;
  b.fillSize = choiceOf(form_->fillSizeList, b.fillSize);
  b.playUpTo = choiceOf(form_->playUpToList, b.playUpTo);
  b.minRating = choiceOf(form_->minRatingList, b.minRating);
  b.user = choiceOf(form_->userList, b.user);
  b.userMode = choiceOf(form_->userModeList, b.userMode);
  b.typeAll = form_->typeAll->isChecked() ? 1 : 0;
  const auto on = [this](int k) -> uint32_t { return firstTypes_[k]->isChecked() ? 1 : 0; };
  b.typeMp3 = on(0);
  b.typeAvi = on(1);
  b.typeWav = on(2);
  b.typeMpeg = on(3);
  b.typeMidi = on(4);
  b.typeWma = on(5);
  b.typeAsf = on(6);
  b.typeWmv = on(7);
  uint32_t off = b.newTypesOff;
  for (size_t k = 0; k < filler::kNewTypeBoxes.size(); ++k) {
    if (newTypes_[k]->isChecked())
      off &= ~filler::kNewTypeBoxes[k].bit;
    else
      off |= filler::kNewTypeBoxes[k].bit;
  }
  b.newTypesOff = off;
  b.emptyDir = form_->emptyDir->isChecked() ? 1 : 0;
  b.addNumber = form_->addNumber->isChecked() ? 1 : 0;
  const std::string folder = fromQ(form_->outputEdit->text());
  if (folder.size() >= sizeof b.fillDirectory)
    return false;
  std::memset(b.fillDirectory, 0, sizeof b.fillDirectory);
  text::copy(b.fillDirectory, folder.c_str());
  return true;
}

void FillerWindow::applyEnabling() {
  form_->userList->setEnabled(form_->userModeList->currentIndex() == 0);
  const bool single = !form_->typeAll->isChecked();
  for (QCheckBox* box : firstTypes_)
    box->setEnabled(single);
  for (QCheckBox* box : newTypes_)
    box->setEnabled(single);
}

bool FillerWindow::confirmed(const char* question, const char* yes, const char* no) {
  PromptRequest request;
  request.message = question;
  request.firstCaption = yes;
  request.secondCaption = no;
  request.style = PromptStyle::SmallQuestion;
  return app_.ui->prompt(request, nullptr) == kPromptFirst;
}

void FillerWindow::reset() {
  if (!app_.ui || fillRunning())
    return;
  if (!confirmed(filler::kResetQuestion, filler::kResetYes, filler::kResetNo))
    return;
  resetFillerSettings(app_);
  showBlock();
}

void FillerWindow::fill() {
  if (fillRunning())
    return;
  if (!readBlock()) {
    if (app_.ui)
      app_.ui->messageBox("The output folder's path is too long.", filler::kFillerTitle);
    return;
  }
  const FillerSettings& b = app_.settings.fillerSettings;
  const std::string folder = text::fixedText(b.fillDirectory, sizeof b.fillDirectory);
  if (b.emptyDir != 0 && app_.ui) {
    if (!confirmed(filler::kEmptyDirQuestion, filler::kEmptyDirContinue, filler::kEmptyDirCancel))
      return;
    const filler::EmptyDirResult emptied = filler::emptyFillDirectory(app_, folder, filler::homeFolder());
    if (emptied.refused) {
      app_.ui->messageBox(emptied.refusal, filler::kFillerTitle);
      return;
    }
  }

  filler::applyFillerChoices(app_, b);
  filler::FillJob job;
  job.folder = folder;
  job.budgetKb = filler::kFillBudgetsKb[filler::fillSizeIndex(b)];
  job.addNumber = b.addNumber != 0;
  job.copy = copierForTests;
  form_->fillButton->setEnabled(false);
  form_->resetButton->setEnabled(false);
  run_.start(app_, std::move(job), [this](const filler::FillOutcome& outcome) {
    handOff_->post([this, outcome] { fillEndedWith(outcome); });
  });
}

void FillerWindow::fillEndedWith(const filler::FillOutcome& outcome) {
  form_->fillButton->setEnabled(true);
  form_->resetButton->setEnabled(true);
  if (!outcome.message.empty() && !closing_ && app_.ui)
    app_.ui->messageBox(outcome.message, filler::kFillerTitle);
  emit fillEnded();
}

void FillerWindow::closeFiller() {
  if (closing_)
    return;
  closing_ = true;
  readBlock();
  // A file that cannot be written is not written; the filler closes all the
  // same.
  filler::saveFillerSettings(app_);
  // A run stops with the window; its thread is waited for once the window's
  // loop has ended (it may be waiting for an answer on this thread now).
  run_.requestStop();
  done(QDialog::Accepted);
}

void FillerWindow::reject() { closeFiller(); }

void FillerWindow::closeEvent(QCloseEvent* event) {
  closeFiller();
  event->accept();
}

void FillerWindow::dropPath(const QString& path) {
  const std::string dropped = fromQ(path);
  if (filler::droppedPathAccepted(dropped))
    form_->outputEdit->setText(path);
}

void FillerWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls())
    event->acceptProposedAction();
}

void FillerWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.isEmpty() || !urls.first().isLocalFile())
    return;
  dropPath(urls.first().toLocalFile());
  event->acceptProposedAction();
}

void FillerWindow::toggleOnTop() {
  app_.settings.onTop = app_.settings.onTop != 0 ? 0 : 1;
  applyOnTop();
}

void FillerWindow::applyOnTop() {
  const bool onTop = app_.settings.onTop != 0;
  onTopAction_->setChecked(onTop);
  form_->onTopBox->setChecked(onTop);
  const bool visible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
  if (visible)
    show();
}

void FillerWindow::showProgressLine(uint32_t, const QString&) {}

void FillerWindow::showWorkProgress(const WorkProgress&) {}

void FillerWindow::showTitle(const QString& title) { setWindowTitle(title); }

int runFillerProcess(App& app, QtUi& ui) {
  QApplication::setWindowIcon(programIcon());
  filler::loadFillerSettings(app);
  app.builder.fillerActive.store(1);
  // A fill never switches the machine off (the settings are never saved
  // from here, so the user's choice stays as it is).
  app.settings.shutdownAfterBuild = 0;
  {
    FillerWindow window(app);
    window.exec();
    // Workers still asking get the second answer now: nobody will show
    // their questions, and the run's thread is joined next.
    ui.close();
  }
  return 0;
}

}  // namespace plinka::gui
