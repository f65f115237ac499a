// Where the now-playing area draws a quick-link list and which of its rows
// lies under a point. The painter and the click handler both use these
// numbers, so a click always lands on the row drawn there.
#pragma once

#include "play/quick_links.h"

#include <cstddef>
#include <cstdint>

namespace plinka {

// The two areas that can show a list: the right half beside the song texts
// (instead of the cover) and the tinted area below the song texts.
enum class QuickLinkArea { Upper, Lower };

// Rows are 16 pixels high; the first lies 20 pixels below the heading's top.
constexpr int kQuickLinkRowHeight = 16;
constexpr int kQuickLinkHeadingGap = 20;

// Where a list is drawn in a client area: the heading at (left, top), rows
// below it while their top stays above `bottom`. `shown` is false when a
// window of that size has no room for the area at all.
struct QuickLinkPlace {
  bool shown = false;
  int left = 0;
  int top = 0;
  int bottom = 0;
};

// The place of an area's list in a client area width x height: the upper
// area only in windows wider than 400 and taller than 200 pixels, the lower
// area only in windows taller than 400.
QuickLinkPlace quickLinkPlace(QuickLinkArea area, uint32_t width, uint32_t height);

// How many of `entries` songs are drawn: no more than fit between the top and
// half the window's height, no more than the limit, and only rows whose top
// lies above the place's bottom.
int quickLinkRowsShown(const QuickLinkPlace& place, uint32_t height, size_t entries);

// The top of row `row` (0 = the first song).
int quickLinkRowTop(const QuickLinkPlace& place, int row);

// The drawn row whose band of 16 pixels holds y, or -1 (the heading, below
// the last drawn row, or an area not shown).
int quickLinkRowAt(const QuickLinkPlace& place, uint32_t height, size_t entries, int y);

}  // namespace plinka
