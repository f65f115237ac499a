#include "gui/window_layout.h"

#include "library/cover_art.h"
#include "play/quick_links.h"

#include <algorithm>

namespace plinka::gui {

namespace {

constexpr uint32_t kLowestListHeight = 250;
constexpr uint32_t kSmallestVideo = 400;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kLowerAreaColour = 0xC8C8FF;  // red 200, green 200, blue 255
constexpr int kQuickLinkFont = 16;
constexpr uint32_t kQuickLinkCharWidth = 19;

// Byte offsets where each UTF-8 character starts, and the end.
std::vector<size_t> characterStarts(const std::string& text) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < text.size(); ++i)
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
      starts.push_back(i);
  return starts;
}

void addText(std::vector<PaintStep>& steps, int x, int y, int fontHeight, std::string text) {
  PaintStep step;
  step.kind = PaintStep::Text;
  step.x = x;
  step.y = y;
  step.fontHeight = fontHeight;
  step.text = std::move(text);
  steps.push_back(std::move(step));
}

void addFill(std::vector<PaintStep>& steps, int x, int y, int right, int bottom, uint32_t colour) {
  PaintStep step;
  step.kind = PaintStep::Fill;
  step.x = x;
  step.y = y;
  step.right = right;
  step.bottom = bottom;
  step.colour = colour;
  steps.push_back(step);
}

}  // namespace

MainLayout layoutFor(uint32_t width, uint32_t height) {
  MainLayout l;
  const int w = static_cast<int>(width);
  const int h = static_cast<int>(height);
  l.listVisible = height > kLowestListHeight;
  l.listTop = l.listVisible ? h / 2 + 36 : h;
  // Never a negative height in a very low window.
  l.listHeight = std::max(0, l.listTop - 94);
  const int row = width <= kNarrowWidth ? w : w / 2;
  l.volumeWidth = std::min(kVolumeBarWidth, row);
  l.volumeX = row - l.volumeWidth;
  l.seekBarWidth = std::max(0, l.volumeX - kVolumeBarGap);
  l.seekBarY = h / 2 < 60 ? 60 : h / 2 + 14;
  if (width <= kNarrowWidth)
    l.statusEdges = {w / 2, -1};
  else
    l.statusEdges = {w / 4, w / 2, 3 * w / 4, -1};
  l.videoWidth = width <= kNarrowWidth ? kSmallestVideo : width / 2;
  l.videoHeight = width <= kNarrowWidth ? kSmallestVideo : height / 2;
  return l;
}

std::string clipText(const std::string& text, uint32_t width, uint32_t charWidth, Cut cut) {
  if (charWidth == 0)
    return text;
  const size_t allowed = width / charWidth;
  const std::vector<size_t> starts = characterStarts(text);
  if (starts.size() <= allowed)
    return text;
  if (cut == Cut::End)
    return text.substr(0, starts[allowed]) + "...";
  return "..." + text.substr(starts[starts.size() - allowed]);
}

void quickLinkSteps(const QuickLinkFacts& list, const QuickLinkPlace& place, uint32_t width, uint32_t height,
                    std::vector<PaintStep>& steps) {
  addText(steps, place.left, place.top, kQuickLinkFont, list.heading);
  const int rows = quickLinkRowsShown(place, height, list.rows.size());
  for (int i = 0; i < rows; ++i)
    addText(steps, place.left, quickLinkRowTop(place, i), kQuickLinkFont,
            clipText(list.rows[static_cast<size_t>(i)], width, kQuickLinkCharWidth, Cut::End));
}

std::vector<PaintStep> nowPlayingSteps(const NowPlayingFacts& f) {
  std::vector<PaintStep> steps;
  const uint32_t W = f.width;
  const uint32_t H = f.height;
  const int w = static_cast<int>(W);
  const int h = static_cast<int>(H);
  const bool narrow = W <= kNarrowWidth;

  addFill(steps, 0, kToolbarHeight, narrow ? w : w / 2 - 10, h / 2, kWhite);
  if (H <= 60) {
    addText(steps, 3, 30, h / 3, f.title);
    return steps;
  }
  addText(steps, 3, 30, 25, clipText(f.title, W, narrow ? 10 : 21, Cut::End));
  if (H > 175) {
    if (H > 250)
      addText(steps, 3, 123, 18, clipText(f.path, W, 18, Cut::Start));
    addText(steps, 3, 80, 20, clipText(f.artist, W, 8, Cut::End));
    if (H > 210)
      addText(steps, 3, 100, 20, clipText(f.album, W, 8, Cut::End));
    if (H > 290)
      addText(steps, 3, 145, 20, clipText(f.comment, W, 19, Cut::End));
  }
  if (H <= 120)
    return steps;

  for (uint32_t i = 0; i < std::min<uint32_t>(f.ratingIcons, 10); ++i) {
    PaintStep icon;
    icon.kind = PaintStep::Icon;
    icon.x = 5 + 20 * static_cast<int>(i);
    icon.y = 56;
    icon.right = icon.x + 16;
    icon.bottom = icon.y + 16;
    steps.push_back(icon);
  }

  const QuickLinkPlace lower = quickLinkPlace(QuickLinkArea::Lower, W, H);
  if (f.quickLinksReady && f.quickLinkChoice != 0 && lower.shown) {
    addFill(steps, 4, 175, w / 2, h / 2, kLowerAreaColour);
    if (play::isQuickLinkKind(f.quickLinkChoice))
      quickLinkSteps(f.lowerLinks, lower, W, H, steps);
  }

  const QuickLinkPlace upper = quickLinkPlace(QuickLinkArea::Upper, W, H);
  if (upper.shown) {
    addFill(steps, w / 2, kToolbarHeight, w, h / 2 + 30, kWhite);
    if (play::isQuickLinkKind(f.coverChoice) && f.quickLinksReady) {
      quickLinkSteps(f.upperLinks, upper, W, H, steps);
    } else if (f.coverChoice < library::kCoverChoiceQuickLinks && f.pictureReady && f.audio) {
      const int side = std::min(w / 2, h / 2);
      PaintStep picture;
      picture.kind = PaintStep::Picture;
      picture.x = w - side;
      picture.y = kToolbarHeight;
      picture.right = w;
      picture.bottom = kToolbarHeight + side;
      steps.push_back(picture);
    }
  }
  return steps;
}

}  // namespace plinka::gui
