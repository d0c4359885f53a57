// Where a window goes on a screen so that a person can reach all of it, and how a template's
// layout widens where a control needs more room than the template gave it. Pixels throughout.
#pragma once

#include <cstddef>
#include <span>

#include "core/resources/dialog_templates.h"

namespace tavi {

// What the window manager's frame adds around a client area.
struct FrameExtents {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

struct WindowFit {
  PixelRect client;     // the client area's place and size
  bool shrunk = false;  // smaller than wanted: its content has to scroll or follow the size
};

// Fits the client area `wanted`, framed by `frame`, into `area`: a window whose frame is larger
// than the area is cut down to it; then the frame moves the least distance that puts it inside
// the area. The top-left corner wins where an area is smaller than the frame alone.
[[nodiscard]] WindowFit FitWindow(PixelRect wanted, FrameExtents frame, PixelRect area);

// Widens a layout where controls need more room than they have: for every control i whose
// `needed[i]` exceeds its width, a column of the difference is put in at its right edge, as a
// column is put into a grid. Every rectangle that starts at or right of that edge moves right by
// it, every rectangle that starts left of it and reaches it widens by it, so that edges aligned
// before stay aligned. The controls are taken from the leftmost right edge on. `needed` holds one
// width per rectangle (0: no need). Returns the width added to the layout.
[[nodiscard]] int WidenForContents(std::span<PixelRect> rects, std::span<const int> needed);

// Lengthens the frame `rects[frame]` downwards so that it holds, `margin` below the lowest,
// every other rectangle whose top-left corner lies inside it; it never grows over a rectangle
// it does not hold. Returns the height added.
[[nodiscard]] int HoldContents(std::span<PixelRect> rects, std::size_t frame, int margin);

}  // namespace tavi
