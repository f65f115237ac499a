#include "gui/window_layout.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>

namespace plinka::gui {
namespace {

struct LayoutCase {
  uint32_t width, height;
  bool listVisible;
  int listTop, listHeight, seekY, seekWidth, volumeX, volumeWidth;
  std::vector<int> statusEdges;
  uint32_t videoWidth, videoHeight;
};

// The seek bar and the volume slider share the seek bar's row: the left half
// of a wide window, the whole width of a narrow one.
TEST(WindowLayout, FollowsTheClientSize) {
  const LayoutCase cases[] = {
      {300, 200, false, 200, 106, 114, 192, 200, 100, {150, -1}, 400, 400},
      {400, 600, true, 336, 242, 314, 292, 300, 100, {200, -1}, 400, 400},
      {1000, 800, true, 436, 342, 414, 392, 400, 100, {250, 500, 750, -1}, 500, 400},
      {401, 251, true, 161, 67, 139, 92, 100, 100, {100, 200, 300, -1}, 200, 125},
      {500, 250, false, 250, 156, 139, 142, 150, 100, {125, 250, 375, -1}, 250, 125},
      {200, 100, false, 100, 6, 60, 92, 100, 100, {100, -1}, 400, 400},  // low window: seek bar kept at 60
      {200, 40, false, 40, 0, 60, 92, 100, 100, {100, -1}, 400, 400},    // never a negative list height
      {60, 100, false, 100, 6, 60, 0, 0, 60, {30, -1}, 400, 400},        // the slider alone fills the row
  };
  for (const LayoutCase& c : cases) {
    const MainLayout l = layoutFor(c.width, c.height);
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    EXPECT_EQ(l.listVisible, c.listVisible);
    EXPECT_EQ(l.listTop, c.listTop);
    EXPECT_EQ(l.listHeight, c.listHeight);
    EXPECT_EQ(l.seekBarY, c.seekY);
    EXPECT_EQ(l.seekBarWidth, c.seekWidth);
    EXPECT_EQ(l.volumeX, c.volumeX);
    EXPECT_EQ(l.volumeWidth, c.volumeWidth);
    EXPECT_EQ(l.statusEdges, c.statusEdges);
    EXPECT_EQ(l.videoWidth, c.videoWidth);
    EXPECT_EQ(l.videoHeight, c.videoHeight);
  }
}

TEST(ClipText, CutsAtTheEndOrTheStartByCharacters) {
  const std::string artist(200, 'a');
  EXPECT_EQ(clipText(artist, 400, 8, Cut::End), std::string(50, 'a') + "...");
  const std::string path = "/music/" + std::string(40, 'x') + "/the end.mp3";
  const std::string shown = clipText(path, 400, 18, Cut::Start);  // 22 characters
  EXPECT_EQ(shown, "..." + path.substr(path.size() - 22));
  EXPECT_EQ(clipText("short", 400, 8, Cut::End), "short");
  EXPECT_EQ(clipText(std::string(50, 'b'), 400, 8, Cut::End), std::string(50, 'b'));  // exactly fits
  // Multi-byte characters count once and are never split.
  const std::string accents = "\xC3\xA9\xC3\xA9\xC3\xA9";  // three e-acute
  EXPECT_EQ(clipText(accents, 16, 8, Cut::End), "\xC3\xA9\xC3\xA9...");
  EXPECT_EQ(clipText(accents, 8, 8, Cut::Start), "...\xC3\xA9");
}

std::vector<std::string> texts(const std::vector<PaintStep>& steps) {
  std::vector<std::string> out;
  for (const PaintStep& s : steps)
    if (s.kind == PaintStep::Text)
      out.push_back(s.text);
  return out;
}

int count(const std::vector<PaintStep>& steps, PaintStep::Kind kind) {
  int n = 0;
  for (const PaintStep& s : steps)
    n += s.kind == kind ? 1 : 0;
  return n;
}

NowPlayingFacts song(uint32_t width, uint32_t height) {
  NowPlayingFacts f;
  f.width = width;
  f.height = height;
  f.title = "Title";
  f.artist = "Artist";
  f.album = "Album";
  f.comment = "Comment";
  f.path = "/music/song.mp3";
  f.ratingIcons = 7;
  f.coverChoice = 1;
  f.pictureReady = true;
  return f;
}

TEST(NowPlaying, ShowsMoreAsTheWindowGrows) {
  struct Case {
    uint32_t height;
    std::vector<std::string> shown;
    int icons;
  };
  const Case cases[] = {
      {60, {"Title"}, 0},
      {150, {"Title"}, 7},
      {200, {"Title", "Artist"}, 7},
      {240, {"Title", "Artist", "Album"}, 7},
      {280, {"Title", "/music/song.mp3", "Artist", "Album"}, 7},
      {600, {"Title", "/music/song.mp3", "Artist", "Album", "Comment"}, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.height);
    const std::vector<PaintStep> steps = nowPlayingSteps(song(1000, c.height));
    EXPECT_EQ(texts(steps), c.shown);
    EXPECT_EQ(count(steps, PaintStep::Icon), c.icons);
  }
  // A window 60 high or less: only the title, in a font a third of its height.
  const std::vector<PaintStep> low = nowPlayingSteps(song(1000, 60));
  EXPECT_EQ(low.back().fontHeight, 20);
}

TEST(NowPlaying, PictureOnlyInWideWindowsForAudio) {
  const std::vector<PaintStep> wide = nowPlayingSteps(song(1000, 800));
  ASSERT_EQ(count(wide, PaintStep::Picture), 1);
  const PaintStep& picture = wide.back();
  EXPECT_EQ(picture.x, 600);  // a 400-pixel square at the right edge
  EXPECT_EQ(picture.y, 30);
  EXPECT_EQ(picture.right - picture.x, 400);
  EXPECT_EQ(picture.bottom - picture.y, 400);

  EXPECT_EQ(count(nowPlayingSteps(song(400, 800)), PaintStep::Picture), 0);
  NowPlayingFacts video = song(1000, 800);
  video.audio = false;
  EXPECT_EQ(count(nowPlayingSteps(video), PaintStep::Picture), 0);
  NowPlayingFacts unrated = song(1000, 800);
  unrated.ratingIcons = 0;
  EXPECT_EQ(count(nowPlayingSteps(unrated), PaintStep::Icon), 0);
}

TEST(NowPlaying, ArtistOf200CharactersAt400Pixels) {
  NowPlayingFacts f = song(400, 600);
  f.artist = std::string(200, 'q');
  const std::vector<std::string> shown = texts(nowPlayingSteps(f));
  ASSERT_GE(shown.size(), 3u);
  EXPECT_EQ(shown[2], std::string(50, 'q') + "...");
}

TEST(NowPlaying, QuickLinkListsInTheLowerAreaOnlyInTallWindows) {
  NowPlayingFacts f = song(1000, 800);
  f.quickLinksReady = true;
  f.quickLinkChoice = 11;
  f.lowerLinks = {"Other songs from the same artist", {"one", "two", "three"}};
  std::vector<std::string> shown = texts(nowPlayingSteps(f));
  EXPECT_NE(std::find(shown.begin(), shown.end(), "three"), shown.end());
  f.height = 400;
  shown = texts(nowPlayingSteps(f));
  EXPECT_EQ(std::find(shown.begin(), shown.end(), "three"), shown.end());
}

TEST(NowPlaying, EachAreaPaintsItsOwnList) {
  NowPlayingFacts f = song(1000, 800);
  f.quickLinksReady = true;
  f.coverChoice = 12;
  f.quickLinkChoice = 10;
  f.upperLinks = {"Other songs with same name", {"upper song"}};
  f.lowerLinks = {"Other songs from this album", {"lower song"}};
  const std::vector<PaintStep> steps = nowPlayingSteps(f);
  auto at = [&steps](const std::string& text) {
    for (const PaintStep& s : steps)
      if (s.kind == PaintStep::Text && s.text == text)
        return std::make_pair(s.x, s.y);
    return std::make_pair(-1, -1);
  };
  EXPECT_EQ(at("Other songs with same name"), std::make_pair(510, 30));
  EXPECT_EQ(at("upper song"), std::make_pair(510, 50));
  EXPECT_EQ(at("Other songs from this album"), std::make_pair(10, 180));
  EXPECT_EQ(at("lower song"), std::make_pair(10, 200));
  // Out of date: neither list is painted.
  f.quickLinksReady = false;
  const std::vector<std::string> stale = texts(nowPlayingSteps(f));
  EXPECT_EQ(std::find(stale.begin(), stale.end(), "upper song"), stale.end());
  EXPECT_EQ(std::find(stale.begin(), stale.end(), "lower song"), stale.end());
}

// A click must find the row the painter drew under it: every painted row is
// found at its top and its last pixel, nothing above the first or below the
// last, in windows where the area's bottom or half the height cuts the list.
TEST(QuickLinkRows, ClickFindsTheRowThePainterDrewThere) {
  struct Case {
    QuickLinkArea area;
    uint32_t width, height;
    size_t entries;
    int rows;
  };
  const Case cases[] = {
      {QuickLinkArea::Upper, 1000, 800, 30, 22},  // half the height cuts 25 to 22
      {QuickLinkArea::Upper, 1000, 2000, 30, 25},
      {QuickLinkArea::Upper, 1000, 800, 3, 3},
      {QuickLinkArea::Upper, 1000, 300, 30, 7},
      {QuickLinkArea::Upper, 400, 800, 30, 0},  // narrow: no upper area
      {QuickLinkArea::Lower, 1000, 800, 30, 12},
      {QuickLinkArea::Lower, 600, 450, 30, 1},  // the bottom margin leaves one row
      {QuickLinkArea::Lower, 1000, 400, 30, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) +
                 (c.area == QuickLinkArea::Upper ? " upper" : " lower"));
    const QuickLinkPlace place = quickLinkPlace(c.area, c.width, c.height);
    QuickLinkFacts list{"heading", {}};
    for (size_t i = 0; i < c.entries; ++i)
      list.rows.push_back("song " + std::to_string(i));
    std::vector<PaintStep> steps;
    if (place.shown)
      quickLinkSteps(list, place, c.width, c.height, steps);
    const int painted = steps.empty() ? 0 : static_cast<int>(steps.size()) - 1;  // the heading
    EXPECT_EQ(painted, c.rows);
    for (int i = 0; i < painted; ++i) {
      const PaintStep& row = steps[static_cast<size_t>(i) + 1];
      EXPECT_EQ(row.text, "song " + std::to_string(i));
      EXPECT_EQ(quickLinkRowAt(place, c.height, c.entries, row.y), i);
      EXPECT_EQ(quickLinkRowAt(place, c.height, c.entries, row.y + kQuickLinkRowHeight - 1), i);
    }
    const int first = quickLinkRowTop(place, 0);
    EXPECT_EQ(quickLinkRowAt(place, c.height, c.entries, first - 1), -1) << "the heading";
    EXPECT_EQ(quickLinkRowAt(place, c.height, c.entries, quickLinkRowTop(place, painted)), -1) << "below the list";
  }
}

}  // namespace
}  // namespace plinka::gui
