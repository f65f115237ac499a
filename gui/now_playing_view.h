// The now-playing area: the song's texts, its rating icons and the picture
// area, painted by the window itself on every paint from what the engine
// holds. It lies under every other child of the main window and uses the
// main window's client coordinates. The mouse wheel over it sets the volume.
#pragma once

#include "gui/window_layout.h"

#include <QImage>
#include <QSize>
#include <QWidget>

#include <cstdint>

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
  // How many times the cover picture was scaled for painting: once for each
  // picture and size, not on every paint.
  uint32_t pictureScalings() const { return scalings_; }

protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  // Each notch up or down steps the volume (play::kVolumeStep).
  void wheelEvent(QWheelEvent* event) override;

private:
  // The cover picture scaled to `size` (logical pixels) in scaled_, scaled
  // anew only when the picture or the size changed. False when there is no
  // picture to show.
  bool scalePicture(const QSize& size);

  App& app_;
  std::vector<PaintStep> lastSteps_;
  QImage scaled_;
  QSize scaledSize_;
  uint64_t scaledGeneration_ = 0;
  bool scaledValid_ = false;
  uint32_t scalings_ = 0;
  // The wheel's turn not yet a whole notch.
  int wheelRest_ = 0;
};

}  // namespace plinka::gui
