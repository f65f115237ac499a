// The main window's geometry and the now-playing area's drawing, worked out
// by integer arithmetic on the client size alone. No Qt here: the window
// applies these numbers, and tests check them directly.
#pragma once

#include "core/window_state.h"
#include "desk/quick_link_rows.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plinka::gui {

// Height of the toolbar strip at the top; the now-playing area starts below.
constexpr int kToolbarHeight = 30;
// Height of the status bar at the bottom.
constexpr int kStatusBarHeight = 22;
constexpr int kSeekBarHeight = 20;
// The volume slider at the seek bar's right end, on the same row, and the
// gap between the two.
constexpr int kVolumeBarWidth = 100;
constexpr int kVolumeBarGap = 8;

struct MainLayout {
  // The list view: shown only in windows taller than 250 pixels; otherwise
  // pushed out of sight at the bottom edge.
  bool listVisible = false;
  int listTop = 0;
  int listHeight = 0;
  int seekBarY = 0;
  int seekBarWidth = 0;
  // The volume slider, on the seek bar's row: it ends where the seek bar's
  // space ends (the window's middle, or its right edge in narrow windows),
  // so the picture area and the video beside it never cover it.
  int volumeX = 0;
  int volumeWidth = 0;
  // Right edges of the status bar parts; -1 for the last, which takes the
  // rest.
  std::vector<int> statusEdges;
  // The video's size while the player runs.
  uint32_t videoWidth = 0;
  uint32_t videoHeight = 0;
};

MainLayout layoutFor(uint32_t width, uint32_t height);

enum class Cut { End, Start };

// A text as it fits `width` pixels at an assumed `charWidth` pixels a
// character: at most width / charWidth characters; a longer text keeps its
// first that many followed by "..." (end cut) or "..." and its last that many
// (start cut). Characters are counted as UTF-8 code points, so a cut never
// splits one.
std::string clipText(const std::string& text, uint32_t width, uint32_t charWidth, Cut cut);

// A quick-link list as one area shows it: its heading and its songs' rows.
struct QuickLinkFacts {
  std::string heading;
  std::vector<std::string> rows;
};

// What the now-playing area shows, read from the engine at paint time.
struct NowPlayingFacts {
  uint32_t width = 0;
  uint32_t height = 0;
  std::string title, artist, album, comment, path;
  uint32_t ratingIcons = 0;  // 0-10
  uint32_t coverChoice = 0;
  uint32_t quickLinkChoice = 0;
  bool quickLinksReady = false;
  bool pictureReady = false;  // a decoded picture exists and the cover is ready
  bool audio = true;          // the current song is not a video
  // The lists of the upper area (coverChoice) and the lower area
  // (quickLinkChoice); empty while the lists are out of date.
  QuickLinkFacts upperLinks;
  QuickLinkFacts lowerLinks;
};

// One drawing step, in client coordinates.
struct PaintStep {
  enum Kind { Fill, Text, Icon, Picture };
  Kind kind = Fill;
  int x = 0, y = 0;
  int right = 0, bottom = 0;   // Fill: the far corner; Picture: x + side, y + side
  int fontHeight = 0;          // Text: font height in pixels
  uint32_t colour = 0xFFFFFF;  // Fill: 0xRRGGBB
  std::string text;            // Text
};

// The steps of one paint of the now-playing area, in drawing order.
std::vector<PaintStep> nowPlayingSteps(const NowPlayingFacts& facts);

// The quick-link list painter: the heading at the place's top left, then the
// rows that quickLinkRowsShown allows, each cut to the window's width.
void quickLinkSteps(const QuickLinkFacts& list, const QuickLinkPlace& place, uint32_t width, uint32_t height,
                    std::vector<PaintStep>& steps);

}  // namespace plinka::gui
