// The Media Filler window: the filler's settings block shown as controls, the
// fill run started on a thread of its own, its progress in the window's
// title. It is the only window of a program started in filler mode
// (`plinka f`), which ends when it closes. The settings and the run live in
// the engine (filler/); this window only shows them and hands them back.
#pragma once

#include "filler/fill_run.h"
#include "gui/progress_view.h"

#include <QDialog>

#include <memory>

class QAction;
class QCheckBox;

namespace Ui {
class FillerDialog;
}

namespace plinka {
struct App;
}

namespace plinka::gui {

class GuiHandOff;
class QtUi;

class FillerWindow : public QDialog, public ProgressView {
  Q_OBJECT

public:
  explicit FillerWindow(App& app, QWidget* parent = nullptr);
  ~FillerWindow() override;

  // The controls' work, also for checks.
  // Every control from the settings block, with the enabling rules applied.
  void showBlock();
  // Every control into the settings block. False (the block's fill
  // directory unchanged) when the output folder's path is too long to keep.
  bool readBlock();
  // "Reset", after its question.
  void reset();
  // Asks a small yes/no question; true when the first answer was chosen.
  bool confirmed(const char* question, const char* yes, const char* no);
  // "Fill": Empty Dir (after its question), then the run.
  void fill();
  // "Close": the block into "dPkFill.dat", then the window closes.
  void closeFiller();
  // A path dropped on the window.
  void dropPath(const QString& path);
  // "On Top" (the check box, or the window's menu).
  void toggleOnTop();
  // True while a fill runs.
  bool fillRunning() const { return run_.running(); }

  void showProgressLine(uint32_t line, const QString& text) override;
  void showWorkProgress(const WorkProgress& progress) override;
  void showTitle(const QString& title) override;

  // Copies each song of a fill (the real copy when empty). A seam for
  // tests, set before a fill starts.
  filler::SongCopier copierForTests;

signals:
  // A fill has ended; its message (if any) has been shown.
  void fillEnded();

protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Escape closes as "Close" does.
  void reject() override;

private:
  void applyEnabling();
  void fillEndedWith(const filler::FillOutcome& outcome);
  void applyOnTop();

  App& app_;
  std::unique_ptr<::Ui::FillerDialog> form_;
  QAction* onTopAction_ = nullptr;
  // The eight single file-type boxes of the first types and the new types'
  // boxes (in filler::kNewTypeBoxes' order), greyed while "All" is checked.
  QCheckBox* firstTypes_[8] = {};
  QCheckBox* newTypes_[8] = {};
  bool closing_ = false;
  // Carries the end of a run from its thread to this window's.
  GuiHandOff* handOff_ = nullptr;
  filler::FillThread run_;
};

// Filler mode: the program's only window is the filler's, shown with no
// owner; the process ends when it closes. Loads "dPkFill.dat" and marks the
// builder as driven by the filler. Never writes the main settings file.
int runFillerProcess(App& app, QtUi& ui);

}  // namespace plinka::gui
