#include "gui/now_playing_view.h"

#include "app/app.h"
#include "db/records.h"
#include "gui/toolbar_images.h"
#include "library/cover_art.h"
#include "library/media_types.h"
#include "play/quick_links.h"
#include "play/volume.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWheelEvent>

#include <algorithm>
#include <mutex>

namespace plinka::gui {

namespace {

QFont arial(int pixelHeight) {
  QFont font("Arial");
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixelHeight > 0 ? pixelHeight : 1);
  font.setWeight(QFont::Normal);
  return font;
}

// The list of `kind` as the engine last built it; nothing while the lists
// are out of date.
QuickLinkFacts linksOf(const App& app, uint32_t kind) {
  QuickLinkFacts facts;
  play::QuickLinkList list;
  if (!play::copyQuickLinks(app, kind, list))
    return facts;
  facts.heading = play::quickLinkHeading(kind);
  facts.rows = std::move(list.rows);
  return facts;
}

QColor colourOf(uint32_t rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

}  // namespace

NowPlayingView::NowPlayingView(App& app, QWidget* parent) : QWidget(parent), app_(app) {
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  // The picture area is at most half the window's smaller side: pictures
  // are decoded no larger than that on the largest screen.
  double largest = 0;
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect area = screen->availableGeometry();
    largest = std::max(largest, std::min(area.width(), area.height()) / 2 * screen->devicePixelRatio());
  }
  if (largest >= 1)
    app_.cover.largestShownSide.store(static_cast<uint32_t>(largest));
}

bool NowPlayingView::scalePicture(const QSize& size) {
  std::lock_guard lock(app_.cover.pictureMutex);
  const uint64_t generation = app_.cover.pictureGeneration;
  if (scaledValid_ && generation == scaledGeneration_ && size == scaledSize_)
    return !scaled_.isNull();
  scaledValid_ = true;
  scaledGeneration_ = generation;
  scaledSize_ = size;
  scaled_ = QImage();
  const platform::PixelBlock& block = app_.cover.picture;
  if (block.width <= 0 || block.height <= 0 || size.isEmpty() ||
      block.argb.size() != static_cast<size_t>(block.width) * static_cast<size_t>(block.height))
    return false;
  // The block is only read: the scaled picture is a new image of its own.
  const QImage image(reinterpret_cast<const uchar*>(block.argb.data()), block.width, block.height, block.width * 4,
                     QImage::Format_ARGB32);
  const qreal ratio = devicePixelRatioF();
  scaled_ = image.scaled(size * ratio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  scaled_.setDevicePixelRatio(ratio);
  ++scalings_;
  return !scaled_.isNull();
}

NowPlayingFacts NowPlayingView::facts() const {
  NowPlayingFacts f;
  f.width = static_cast<uint32_t>(width());
  f.height = static_cast<uint32_t>(height());
  const play::CurrentSongTexts song = play::copyCurrentSong(app_);
  f.title = song.title;
  f.artist = song.artist;
  f.album = song.album;
  f.comment = song.comment;
  f.path = song.file;
  f.ratingIcons = db::ratingOfScore(app_.settings, app_.details.currentSongScore.load());
  f.coverChoice = app_.settings.coverChoice;
  f.quickLinkChoice = app_.settings.quickLinkChoice;
  f.quickLinksReady = app_.quickLinks.ready.load() == 1;
  f.upperLinks = linksOf(app_, f.coverChoice);
  f.lowerLinks = linksOf(app_, f.quickLinkChoice);
  f.pictureReady = app_.cover.ready.load() == 1;
  f.audio = app_.currentMediaType.load() < library::kFirstVideoType;
  return f;
}

void NowPlayingView::paintEvent(QPaintEvent*) {
  if (app_.player.inTray.load() != 0)
    return;
  lastSteps_ = nowPlayingSteps(facts());
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::WindowText));
  for (const PaintStep& step : lastSteps_) {
    switch (step.kind) {
    case PaintStep::Fill:
      painter.fillRect(QRect(QPoint(step.x, step.y), QPoint(step.right - 1, step.bottom - 1)), colourOf(step.colour));
      break;
    case PaintStep::Text: {
      painter.setFont(arial(step.fontHeight));
      painter.setPen(Qt::black);
      const QString text = QString::fromUtf8(step.text.data(), static_cast<qsizetype>(step.text.size()));
      painter.drawText(QRect(step.x, step.y, width() - step.x, step.fontHeight + step.fontHeight / 2),
                       Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
      break;
    }
    case PaintStep::Icon:
      painter.drawPixmap(step.x, step.y, programIcon().pixmap(16, 16));
      break;
    case PaintStep::Picture:
      if (scalePicture(QSize(step.right - step.x, step.bottom - step.y)))
        painter.drawImage(QPoint(step.x, step.y), scaled_);
      break;
    }
  }
}

void NowPlayingView::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (event->button() == Qt::LeftButton && onLeftClick)
    onLeftClick(at);
  else if (event->button() == Qt::RightButton && onRightClick)
    onRightClick(at);
}

void NowPlayingView::wheelEvent(QWheelEvent* event) {
  // A mouse wheel turns in notches of 120; a touchpad sends small parts of
  // one, which add up to a step.
  constexpr int kNotch = 120;
  wheelRest_ += event->angleDelta().y();
  const int notches = wheelRest_ / kNotch;
  wheelRest_ -= notches * kNotch;
  if (notches != 0)
    play::setCurrentVolume(app_, play::currentVolume(app_) + notches * play::kVolumeStep);
  event->accept();
}

}  // namespace plinka::gui
