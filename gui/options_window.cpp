#include "gui/options_window.h"

#include "app/app.h"
#include "core/current_state.h"
#include "core/prompt.h"
#include "desk/state_switch.h"
#include "gui/gui_hand_off.h"
#include "gui/qt_text.h"
#include "library/buffer_cache.h"

#include "ui_options_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QMessageBox>

namespace plinka::gui {

namespace {

constexpr char kTitle[] = "Plinka Options";
constexpr char kResetQuestion[] = "This will reset all Plinka settings.";
constexpr char kResetYes[] = "Yes, please reset to default";
constexpr char kResetNo[] = "No, cancel this";

// The on/off switches that are not a State's, with the value each shows.
struct SwitchBox {
  QCheckBox* ::Ui::OptionsWindow::*box;
  bool OptionsForm::*value;
};
constexpr SwitchBox kSwitches[] = {
    {&::Ui::OptionsWindow::id5385, &OptionsForm::fullMovie}, {&::Ui::OptionsWindow::id5392, &OptionsForm::autoBuild},
    {&::Ui::OptionsWindow::id5389, &OptionsForm::dirToId},   {&::Ui::OptionsWindow::id5391, &OptionsForm::network},
    {&::Ui::OptionsWindow::id5386, &OptionsForm::shutdown},  {&::Ui::OptionsWindow::id5383, &OptionsForm::autoMini},
    {&::Ui::OptionsWindow::id5381, &OptionsForm::coverArt},  {&::Ui::OptionsWindow::id5387, &OptionsForm::buffer},
    {&::Ui::OptionsWindow::id5380, &OptionsForm::tray},      {&::Ui::OptionsWindow::id1023, &OptionsForm::autoRate},
    {&::Ui::OptionsWindow::id5384, &OptionsForm::autoPlay},  {&::Ui::OptionsWindow::id5393, &OptionsForm::markVideo},
    {&::Ui::OptionsWindow::id5394, &OptionsForm::showRate},  {&::Ui::OptionsWindow::id5382, &OptionsForm::onTop},
};

// Selects a list's entry; kNoChoice (or anything outside the list) selects
// none.
void select(QComboBox* list, int32_t choice) { list->setCurrentIndex(choice < list->count() ? choice : -1); }

// A list's selected entry, kNoChoice when none is.
int32_t selected(const QComboBox* list) { return list->currentIndex() >= 0 ? list->currentIndex() : kNoChoice; }

}  // namespace

OptionsWindow::OptionsWindow(App& app, QWidget* parent)
    : QDialog(parent), app_(app), ui_(std::make_unique<::Ui::OptionsWindow>()) {
  ui_->setupUi(this);
  ::Ui::OptionsWindow& f = *ui_;
  userNames_ = {f.id1059, f.id1060, f.id1061, f.id1062, f.id1063, f.id1064, f.id1065, f.id1066, f.id1067, f.id1068};
  altModeNames_ = {f.id1085, f.id1086, f.id1087, f.id1088, f.id1089, f.id1090, f.id1091, f.id1092, f.id1093};
  altModePatterns_ = {f.id1076, f.id1077, f.id1078, f.id1079, f.id1080, f.id1081, f.id1082, f.id1083, f.id1084};
  // In the order of FileType.
  types_ = {f.id5363,   f.id5362,  f.id5365,   f.id5364,  f.id5366,  f.id5367,  f.id5369,  f.id5368,
            f.typeFlac, f.typeOgg, f.typeOpus, f.typeM4a, f.typeAac, f.typeMp4, f.typeMkv, f.typeWebm};

  // The User and User Mode lists name their entries as the names read now,
  // and follow the names as they are typed.
  for (int u = 0; u < kUserCount; ++u) {
    f.userList->addItem(QString());
    connect(userNames_[u], &QLineEdit::textChanged, this,
            [this, u](const QString& name) { ui_->userList->setItemText(u, name); });
  }
  for (int k = 0; k < kAltModeChoices; ++k)
    f.userModeList->addItem(toQ(app_.settings.altModeName[k]));
  for (int k = 0; k < kPatternModes; ++k)
    connect(altModeNames_[k], &QLineEdit::textChanged, this,
            [this, k](const QString& name) { ui_->userModeList->setItemText(k + 1, name); });

  connect(f.id5361, &QCheckBox::toggled, this, [this](bool all) {
    setTypeAll(app_, all);
    applyEnabling();
  });
  connect(f.userModeList, &QComboBox::currentIndexChanged, this, [this] { applyEnabling(); });
  connect(f.id5396, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (!showing_)
      chooseState(index);
  });
  connect(f.id1, &QPushButton::clicked, this, &OptionsWindow::accept);
  connect(f.id2, &QPushButton::clicked, this, &OptionsWindow::reject);
  connect(f.id10, &QPushButton::clicked, this, [this] { reset(); });
  connect(f.id5307, &QPushButton::clicked, this, [this] {
    if (app_.ui)
      app_.ui->openFolder(app_.folders.data);
  });
  connect(f.id9, &QPushButton::clicked, this, [this] {
    if (app_.ui)
      app_.ui->openHelp();
  });

  showValues(readOptions(app_));
}

OptionsWindow::~OptionsWindow() = default;

void OptionsWindow::showStateNames() {
  QComboBox* states = ui_->id5396;
  showing_ = true;
  states->clear();
  for (int i = 0; i < kStateCount; ++i)
    states->addItem(toQ(app_.settings.stateName[i]));
  states->setCurrentIndex(static_cast<int>(shownState_));
  showing_ = false;
}

void OptionsWindow::showStateChoices(const StateChoices& c) {
  select(ui_->id5373, c.playUpTo);
  select(ui_->id5376, c.minRating);
  select(ui_->userList, c.user);
  select(ui_->userModeList, c.altMode);
  ui_->id5390->setChecked(c.noArtistRepeat);
  ui_->id5388->setChecked(c.history);
  applyEnabling();
}

void OptionsWindow::showValues(const OptionsForm& form) {
  ::Ui::OptionsWindow& f = *ui_;
  for (int u = 0; u < kUserCount; ++u)
    userNames_[u]->setText(toQ(form.userNames[u]));
  for (int k = 0; k < kPatternModes; ++k) {
    altModeNames_[k]->setText(toQ(form.altModeNames[k]));
    altModePatterns_[k]->setText(toQ(form.altModePatterns[k]));
  }
  f.userModeList->setItemText(0, toQ(app_.settings.altModeName[0]));
  for (int t = 0; t < kFileTypeCount; ++t)
    types_[t]->setChecked(form.types[t]);
  f.id5361->setChecked(form.typeAll);
  f.id1011->setText(toQ(form.prepare));
  for (const SwitchBox& s : kSwitches)
    (f.*s.box)->setChecked(form.*s.value);
  select(f.levelling, form.levelling);
  shownState_ = form.state;
  showStateNames();
  showStateChoices(form.choices);
}

StateChoices OptionsWindow::shownChoices() const {
  StateChoices c;
  c.playUpTo = selected(ui_->id5373);
  c.minRating = selected(ui_->id5376);
  c.user = selected(ui_->userList);
  c.altMode = selected(ui_->userModeList);
  c.noArtistRepeat = ui_->id5390->isChecked();
  c.history = ui_->id5388->isChecked();
  return c;
}

OptionsForm OptionsWindow::formValues() const {
  const ::Ui::OptionsWindow& f = *ui_;
  OptionsForm form;
  for (int u = 0; u < kUserCount; ++u)
    form.userNames[u] = fromQ(userNames_[u]->text());
  for (int k = 0; k < kPatternModes; ++k) {
    form.altModeNames[k] = fromQ(altModeNames_[k]->text());
    form.altModePatterns[k] = fromQ(altModePatterns_[k]->text());
  }
  form.typeAll = f.id5361->isChecked();
  for (int t = 0; t < kFileTypeCount; ++t)
    form.types[t] = types_[t]->isChecked();
  form.state = shownState_;
  form.choices = shownChoices();
  form.prepare = fromQ(f.id1011->text());
  for (const SwitchBox& s : kSwitches)
    form.*s.value = (f.*s.box)->isChecked();
  form.levelling = selected(f.levelling);
  return form;
}

void OptionsWindow::applyEnabling() {
  const bool all = ui_->id5361->isChecked();
  for (QCheckBox* type : types_)
    type->setEnabled(!all);
  ui_->userList->setEnabled(ui_->userModeList->currentIndex() == 0);
}

void OptionsWindow::chooseState(int index) {
  if (index < 0 || static_cast<uint32_t>(index) == shownState_)
    return;
  // The shown choices belong to the State they were shown for.
  storeStateChoices(app_, shownState_, shownChoices());
  switchAndWait(static_cast<uint32_t>(index));
  // The State now current (the one chosen, unless its switch lapsed).
  shownState_ = currentStateIndex(app_);
  showStateNames();
  showStateChoices(readStateChoices(app_, shownState_));
}

void OptionsWindow::switchAndWait(uint32_t state) {
  // The job's last word travels through a hand-off of its own, which lives
  // until that word has been taken on the GUI thread; the loop it ends is
  // looked up there, and found gone if it has ended meanwhile.
  struct Waiter {
    QEventLoop* loop = nullptr;
  };
  QEventLoop loop;
  auto waiter = std::make_shared<Waiter>();
  waiter->loop = &loop;
  auto* handOff = new GuiHandOff(qApp);
  App* app = &app_;
  switching_ = true;
  setEnabled(false);
  const bool started = app_.jobThreads.start([app, state, waiter, handOff] {
    switchState(*app, state);
    awaitStateSwitches(*app);
    handOff->post([waiter, handOff] {
      if (waiter->loop)
        waiter->loop->quit();
      handOff->deleteLater();
    });
  });
  if (started)
    loop.exec();
  else
    handOff->deleteLater();
  waiter->loop = nullptr;
  setEnabled(true);
  switching_ = false;
}

void OptionsWindow::reset() {
  PromptRequest request;
  request.message = kResetQuestion;
  request.firstCaption = kResetYes;
  request.secondCaption = kResetNo;
  request.style = PromptStyle::SmallQuestion;
  const uint32_t answer = askPrompt(app_, request);
  // The prompt has closed; this window is still open.
  app_.prompts.dialogOpen.store(1);
  if (answer != kPromptFirst)
    return;
  const uint32_t onTop = app_.settings.onTop;
  const uint32_t state = resetOptions(app_);
  // In effect now, whichever button closes the window.
  effects_.applyOnTop = effects_.applyOnTop || app_.settings.onTop != onTop;
  effects_.repaint = true;
  if (state != currentStateIndex(app_))
    switchAndWait(state);
  showValues(readOptions(app_));
}

QWidget* OptionsWindow::fieldOf(const OptionsRefusal& refusal) const {
  switch (refusal.field) {
  case OptionsRefusal::Field::UserName:
    return userNames_[refusal.index];
  case OptionsRefusal::Field::AltModeName:
    return altModeNames_[refusal.index];
  case OptionsRefusal::Field::AltModePattern:
    return altModePatterns_[refusal.index];
  case OptionsRefusal::Field::Prepare:
    break;
  }
  return ui_->id1011;
}

void OptionsWindow::accept() {
  if (switching_)
    return;
  const OptionsStored stored = storeOptions(app_, formValues());
  if (stored.refused) {
    QMessageBox::warning(this, kTitle, toQ(stored.refused->message));
    QWidget* field = fieldOf(*stored.refused);
    field->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(field))
      edit->selectAll();
    return;
  }
  effects_.applyOnTop = effects_.applyOnTop || stored.onTopChanged;
  effects_.repaint = effects_.repaint || stored.coverArtChanged;
  if (stored.bufferChanged)
    library::openCache(app_);
  QDialog::accept();
}

void OptionsWindow::reject() {
  if (switching_)
    return;
  QDialog::reject();
}

OptionsEffects runOptionsWindow(App& app, QWidget* parent) {
  app.prompts.dialogOpen.store(1);
  app.prompts.result.store(kPromptNone);
  OptionsWindow window(app, parent);
  const int closed = window.exec();
  app.prompts.result.store(closed == QDialog::Accepted ? kPromptFirst : kPromptSecond);
  app.prompts.dialogOpen.store(0);
  return window.effects();
}

}  // namespace plinka::gui
