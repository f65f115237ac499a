#include "desk/quick_link_rows.h"

#include <algorithm>

namespace plinka {

namespace {

// Windows at most this wide have no upper picture area.
constexpr uint32_t kNarrowWidth = 400;
constexpr uint32_t kUpperAreaMinHeight = 200;
constexpr uint32_t kLowerAreaMinHeight = 400;

constexpr int kUpperTop = 30;
constexpr int kUpperIndent = 10;
constexpr int kLowerLeft = 10;
constexpr int kLowerTop = 180;
constexpr int kLowerBottomMargin = 16;

}  // namespace

QuickLinkPlace quickLinkPlace(QuickLinkArea area, uint32_t width, uint32_t height) {
  const int w = static_cast<int>(width);
  const int h = static_cast<int>(height);
  QuickLinkPlace place;
  if (area == QuickLinkArea::Upper) {
    place.shown = width > kNarrowWidth && height > kUpperAreaMinHeight;
    place.left = w / 2 + kUpperIndent;
    place.top = kUpperTop;
    place.bottom = h / 2;
  } else {
    place.shown = height > kLowerAreaMinHeight;
    place.left = kLowerLeft;
    place.top = kLowerTop;
    place.bottom = h / 2 - kLowerBottomMargin;
  }
  return place;
}

int quickLinkRowTop(const QuickLinkPlace& place, int row) {
  return place.top + kQuickLinkHeadingGap + kQuickLinkRowHeight * row;
}

int quickLinkRowsShown(const QuickLinkPlace& place, uint32_t height, size_t entries) {
  if (!place.shown)
    return 0;
  const int fit = std::max(0, (static_cast<int>(height) / 2 - place.top) / kQuickLinkRowHeight);
  const int limit = static_cast<int>(std::min(entries, play::kQuickLinkRowLimit));
  int rows = std::min(fit, limit);
  while (rows > 0 && quickLinkRowTop(place, rows - 1) >= place.bottom)
    --rows;
  return rows;
}

int quickLinkRowAt(const QuickLinkPlace& place, uint32_t height, size_t entries, int y) {
  const int first = quickLinkRowTop(place, 0);
  if (y < first)
    return -1;
  const int row = (y - first) / kQuickLinkRowHeight;
  return row < quickLinkRowsShown(place, height, entries) ? row : -1;
}

}  // namespace plinka
