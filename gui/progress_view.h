// A window that shows how work running on other threads is going: its
// progress lines, a progress display and its title. QtUi hands the engine's
// reports for a kind of window to the one attached for it.
#pragma once

#include "core/front_end.h"

#include <QString>

#include <cstdint>

namespace plinka::gui {

class ProgressView {
public:
  virtual ~ProgressView() = default;
  // Everything below runs on the GUI thread.
  // Line 0 is the status line, 1 the detail line.
  virtual void showProgressLine(uint32_t line, const QString& text) = 0;
  virtual void showWorkProgress(const WorkProgress& progress) = 0;
  virtual void showTitle(const QString& title) = 0;
};

}  // namespace plinka::gui
