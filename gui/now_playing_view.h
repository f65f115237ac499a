// The now-playing area: the song's texts, its rating icons and the picture
// area, painted by the window itself on every paint from what the engine
// holds. It lies under every other child of the main window and uses the
// main window's client coordinates.
#pragma once

#include "gui/window_layout.h"

#include <QWidget>

#include <functional>
#include <vector>

namespace plinka {
struct App;
}

namespace plinka::gui {

class NowPlayingView : public QWidget {
  Q_OBJECT

public:
  NowPlayingView(App& app, QWidget* parent);

  // Called with the click position (client coordinates) of a left or right
  // button release.
  std::function<void(QPoint)> onLeftClick;
  std::function<void(QPoint)> onRightClick;

  // What the view shows now, read from the engine as a paint would.
  NowPlayingFacts facts() const;
  // The steps of the last paint, for checks.
  const std::vector<PaintStep>& lastSteps() const { return lastSteps_; }

protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  App& app_;
  std::vector<PaintStep> lastSteps_;
};

}  // namespace plinka::gui
