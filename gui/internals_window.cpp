#include "gui/internals_window.h"

#include "app/app.h"
#include "gui/qt_text.h"
#include "gui/toolbar_images.h"

#include "ui_internals_window.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>

namespace plinka::gui {

namespace {

// The read-outs are taken again this often while the window is open.
constexpr int kReadoutRefreshMs = 1000;

}  // namespace

InternalsWindow::InternalsWindow(App& app, QWidget* parent)
    : QDialog(parent), app_(app), form_(std::make_unique<::Ui::InternalsDialog>()) {
  form_->setupUi(this);
  setWindowIcon(programIcon());
  for (const char* speed : kAutoRateSpeedNames)
    form_->arSpeed->addItem(speed);
  showEntries(internalsEntriesOf(app_.settings));
  refreshReadouts();

  connect(form_->okButton, &QPushButton::clicked, this, [this] {
    if (store())
      accept();
  });
  connect(form_->cancelButton, &QPushButton::clicked, this, [this] { reject(); });
  connect(form_->defaultButton, &QPushButton::clicked, this, [this] { setDefault(); });
  connect(form_->alternateButton, &QPushButton::clicked, this, [this] { setAlternate(); });
  connect(form_->helpButton, &QPushButton::clicked, this, [this] {
    if (app_.ui)
      app_.ui->openHelp();
  });

  refresh_ = new QTimer(this);
  connect(refresh_, &QTimer::timeout, this, [this] { refreshReadouts(); });
  refresh_->start(kReadoutRefreshMs);
}

InternalsWindow::~InternalsWindow() = default;

InternalsEntries InternalsWindow::entries() const {
  InternalsEntries e;
  QLineEdit* const ratings[] = {form_->rating1, form_->rating2, form_->rating3, form_->rating4, form_->rating5,
                                form_->rating6, form_->rating7, form_->rating8, form_->rating9, form_->rating10};
  for (size_t k = 0; k < e.ratingValue.size(); ++k)
    e.ratingValue[k] = fromQ(ratings[k]->text());
  e.targetValue = fromQ(form_->targetValue->text());
  e.defaultImport = fromQ(form_->defaultImport->text());
  e.bufferSize = fromQ(form_->bufferSize->text());
  e.lameCheck = form_->lameCheck->isChecked();
  e.autoRateSpeed = static_cast<uint32_t>(std::max(form_->arSpeed->currentIndex(), 0));
  return e;
}

void InternalsWindow::showEntries(const InternalsEntries& e) {
  QLineEdit* const ratings[] = {form_->rating1, form_->rating2, form_->rating3, form_->rating4, form_->rating5,
                                form_->rating6, form_->rating7, form_->rating8, form_->rating9, form_->rating10};
  for (size_t k = 0; k < e.ratingValue.size(); ++k)
    ratings[k]->setText(toQ(e.ratingValue[k]));
  form_->targetValue->setText(toQ(e.targetValue));
  form_->defaultImport->setText(toQ(e.defaultImport));
  form_->bufferSize->setText(toQ(e.bufferSize));
  form_->lameCheck->setChecked(e.lameCheck);
  form_->arSpeed->setCurrentIndex(static_cast<int>(e.autoRateSpeed));
}

bool InternalsWindow::store() {
  const std::string refused = storeInternals(app_.settings, entries());
  if (refused.empty())
    return true;
  QMessageBox::warning(this, windowTitle(), toQ(refused));
  return false;
}

void InternalsWindow::setDefault() {
  InternalsEntries e = entries();
  applyDefaultScheme(e);
  showEntries(e);
}

void InternalsWindow::setAlternate() {
  InternalsEntries e = entries();
  applyAlternateScheme(e);
  showEntries(e);
}

void InternalsWindow::refreshReadouts() {
  const InternalsReadouts r = internalsReadouts(app_);
  form_->buildTime->setText(toQ(r.buildTime));
  form_->currRate->setText(toQ(r.currRate));
  form_->lbBuffer->setText(toQ(r.lbBuffer));
  form_->hashStat->setText(toQ(r.hashStat));
  form_->dbAverage->setText(toQ(r.dbAverage));
  form_->listState->setText(toQ(r.listState));
  form_->workPos->setText(toQ(r.workPos));
  form_->waiting->setText(toQ(r.waiting));
  form_->loudness->setText(toQ(r.loudness));
}

}  // namespace plinka::gui
