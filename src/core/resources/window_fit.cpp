#include "core/resources/window_fit.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace tavi {
namespace {

// The start of [start, start + length) moved the least distance that puts it within
// [lo, lo + room); the start wins when it cannot fit.
int Clamp(int start, int length, int lo, int room) {
  return std::max(lo, std::min(start, lo + room - length));
}

}  // namespace

WindowFit FitWindow(PixelRect wanted, FrameExtents frame, PixelRect area) {
  const int frame_w = frame.left + frame.right;
  const int frame_h = frame.top + frame.bottom;
  WindowFit fit;
  fit.client.width = std::max(1, std::min(wanted.width, area.width - frame_w));
  fit.client.height = std::max(1, std::min(wanted.height, area.height - frame_h));
  fit.shrunk = fit.client.width < wanted.width || fit.client.height < wanted.height;
  fit.client.x =
      Clamp(wanted.x - frame.left, fit.client.width + frame_w, area.x, area.width) + frame.left;
  fit.client.y =
      Clamp(wanted.y - frame.top, fit.client.height + frame_h, area.y, area.height) + frame.top;
  return fit;
}

int WidenForContents(std::span<PixelRect> rects, std::span<const int> needed) {
  const std::size_t n = std::min(rects.size(), needed.size());
  std::vector<bool> done(n, false);
  int added = 0;
  for (std::size_t round = 0; round < n; ++round) {
    // The control with the leftmost right edge among those not yet seen.
    std::size_t pick = n;
    for (std::size_t i = 0; i < n; ++i) {
      if (done[i]) continue;
      if (pick == n || rects[i].x + rects[i].width < rects[pick].x + rects[pick].width) pick = i;
    }
    done[pick] = true;
    const int grow = needed[pick] - rects[pick].width;
    if (grow <= 0) continue;
    const int edge = rects[pick].x + rects[pick].width;
    for (PixelRect& r : rects) {
      if (r.x >= edge) {
        r.x += grow;
      } else if (r.x + r.width >= edge) {
        r.width += grow;
      }
    }
    added += grow;
  }
  return added;
}

int HoldContents(std::span<PixelRect> rects, std::size_t frame, int margin) {
  if (frame >= rects.size()) return 0;
  PixelRect& f = rects[frame];
  auto inside = [&f](const PixelRect& r) {
    return r.x >= f.x && r.x < f.x + f.width && r.y >= f.y && r.y < f.y + f.height;
  };
  int bottom = f.y + f.height;
  for (std::size_t i = 0; i < rects.size(); ++i) {
    if (i != frame && inside(rects[i]))
      bottom = std::max(bottom, rects[i].y + rects[i].height + margin);
  }
  // No further than the first rectangle it does not hold that lies below it, across its width.
  for (std::size_t i = 0; i < rects.size(); ++i) {
    const PixelRect& r = rects[i];
    if (i == frame || inside(r)) continue;
    const bool across = r.x < f.x + f.width && r.x + r.width > f.x;
    if (across && r.y >= f.y + f.height) bottom = std::min(bottom, r.y - 1);
  }
  const int added = std::max(0, bottom - (f.y + f.height));
  f.height += added;
  return added;
}

}  // namespace tavi
