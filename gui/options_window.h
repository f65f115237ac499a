// The Options window: a modal dialog over the main window that shows the
// settings it edits and hands them back on OK. Reading, checking and storing
// the values is the engine's (shell/options_form.h); the window shows them,
// keeps its controls' enabling rules, and carries out a change of State and
// "Reset" with the event loop running.
#pragma once

#include "desk/options_form.h"

#include <QDialog>

#include <array>
#include <memory>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace Ui {
class OptionsWindow;
}

namespace plinka {
struct App;
}

namespace plinka::gui {

// What the main window applies once the Options window has closed, whichever
// way ("Reset" and "All" take effect at once).
struct OptionsEffects {
  bool applyOnTop = false;  // "On Top" may have changed
  bool repaint = false;     // the now-playing area shows something else
};

class OptionsWindow : public QDialog {
  Q_OBJECT

public:
  // Shows the settings as they are now, with the current State's choices.
  OptionsWindow(App& app, QWidget* parent);
  ~OptionsWindow() override;

  const OptionsEffects& effects() const { return effects_; }

  // OK: stores the values, or names the value it refuses and stays open.
  void accept() override;
  // Cancel, Escape, closing: stores nothing more.
  void reject() override;

private:
  void showValues(const OptionsForm& form);
  void showStateChoices(const StateChoices& choices);
  void showStateNames();
  OptionsForm formValues() const;
  StateChoices shownChoices() const;
  // "All" greys the eight type boxes; the User list is for the single-user
  // mode only.
  void applyEnabling();
  void chooseState(int index);
  void reset();
  // Runs the State switch on a job thread and returns once it is done, with
  // the event loop running (so the list and the status bar follow it);
  // the window takes no input meanwhile.
  void switchAndWait(uint32_t state);
  QWidget* fieldOf(const OptionsRefusal& refusal) const;

  App& app_;
  std::unique_ptr<::Ui::OptionsWindow> ui_;
  std::array<QLineEdit*, kUserCount> userNames_{};
  std::array<QLineEdit*, kPatternModes> altModeNames_{};
  std::array<QLineEdit*, kPatternModes> altModePatterns_{};
  std::array<QCheckBox*, kFileTypeCount> types_{};
  // The State whose choices the per-State controls show.
  uint32_t shownState_ = 0;
  // Set while values are put into the controls, so that the controls'
  // change signals do not act on them.
  bool showing_ = false;
  bool switching_ = false;
  OptionsEffects effects_;
};

// Opens the window modally over `parent` until it closes, keeping the
// dialog-open flag and the prompt result (1 OK, 2 Cancel). Returns what the
// main window must apply.
OptionsEffects runOptionsWindow(App& app, QWidget* parent);

}  // namespace plinka::gui
