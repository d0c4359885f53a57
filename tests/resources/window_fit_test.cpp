// Placing a window within a screen's available area, and widening a template's layout where a
// control needs more room.
#include "core/resources/window_fit.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace tavi {
namespace {

constexpr PixelRect kArea{0, 0, 512, 300};
constexpr FrameExtents kFrame{2, 20, 2, 3};

TEST(WindowFit, AWindowThatFitsMovesTheLeastIntoTheAreaAndKeepsItsSize) {
  // Hanging over the right and bottom edges: the frame comes back to touch them.
  WindowFit fit = FitWindow({450, 250, 176, 100}, kFrame, kArea);
  EXPECT_FALSE(fit.shrunk);
  EXPECT_EQ(fit.client, (PixelRect{512 - 2 - 176, 300 - 3 - 100, 176, 100}));
  // Above and left of the area: the title bar comes into view, not just the client area.
  fit = FitWindow({-40, 5, 176, 100}, kFrame, {0, 24, 512, 276});
  EXPECT_EQ(fit.client, (PixelRect{2, 24 + 20, 176, 100}));
  // Already inside: left where it is.
  fit = FitWindow({100, 60, 176, 100}, kFrame, kArea);
  EXPECT_EQ(fit.client, (PixelRect{100, 60, 176, 100}));
}

TEST(WindowFit, AWindowLargerThanTheAreaIsCutDownToItFrameIncluded) {
  const WindowFit fit = FitWindow({-100, -50, 567, 284}, kFrame, {10, 0, 512, 300});
  EXPECT_TRUE(fit.shrunk);
  EXPECT_EQ(fit.client, (PixelRect{12, 20, 512 - 4, 300 - 23}));
  // The frame lies wholly within the area.
  EXPECT_GE(fit.client.x - kFrame.left, 10);
  EXPECT_LE(fit.client.x + fit.client.width + kFrame.right, 10 + 512);
  EXPECT_LE(fit.client.y + fit.client.height + kFrame.bottom, 300);
}

TEST(WindowFit, AColumnPutInAtAFieldsEdgeMovesWhatLiesRightAndWidensWhatSpansIt) {
  // A row of two fields (the second right of the first), a field below ending where the second
  // ends, and a frame around all three.
  std::array<PixelRect, 4> rects = {{
      {100, 30, 19, 20},   // 0: too narrow, needs 30
      {122, 30, 52, 20},   // 1: right of it, needs 60
      {100, 55, 74, 20},   // 2: below, its right edge aligned with field 1
      {80, 10, 114, 100},  // 3: the frame
  }};
  const std::array<int, 4> needed = {30, 60, 0, 0};
  EXPECT_EQ(WidenForContents(rects, needed), 11 + 8);
  EXPECT_EQ(rects[0], (PixelRect{100, 30, 30, 20}));
  EXPECT_EQ(rects[1], (PixelRect{133, 30, 60, 20}));
  // The edges aligned before are aligned after.
  EXPECT_EQ(rects[2].x + rects[2].width, rects[1].x + rects[1].width);
  EXPECT_EQ(rects[3], (PixelRect{80, 10, 114 + 19, 100}));
  // Nothing overlaps that did not.
  EXPECT_LT(rects[0].x + rects[0].width, rects[1].x);
  // Enough room everywhere: nothing moves.
  const std::array<PixelRect, 4> before = rects;
  EXPECT_EQ(WidenForContents(rects, std::array<int, 4>{10, 10, 10, 10}), 0);
  EXPECT_EQ(rects, before);
}

TEST(WindowFit, AFrameGrowsToHoldATallerControlButNotOverTheNextOne) {
  std::vector<PixelRect> rects = {
      {13, 13, 70, 52},   // 0: frame
      {20, 32, 50, 36},   // 1: in it, taller than the frame allows
      {13, 137, 63, 26},  // 2: below the frame
  };
  EXPECT_EQ(HoldContents(rects, 0, 7), 32 + 36 + 7 - 65);
  EXPECT_EQ(rects[0].y + rects[0].height, 32 + 36 + 7);
  // A control right below stops the growth short of itself.
  rects = {{13, 13, 70, 52}, {20, 32, 50, 36}, {13, 70, 63, 26}};
  EXPECT_EQ(HoldContents(rects, 0, 7), 69 - 65);
  EXPECT_EQ(rects[0].y + rects[0].height, 69);
}

}  // namespace
}  // namespace tavi
