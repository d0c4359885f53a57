// The state of the "Communicating..." window and its rules, in one place: whether it is shown,
// its range and position, the cancel flag, and whether it is still waiting for its first news.
// The desktop window, the tavi-cli bar and the test double hold one of these and only draw it.
#pragma once

#include <cstdint>

namespace tavi {

class ProgressState {
 public:
  // The owner's show request. Only a request that changes the visibility is a show
  // notification: it clears the cancel flag, and a show also puts the position at 0 and starts
  // the waiting state. A hide request on a window that Cancel already hid changes nothing, so
  // the flag stays set until the next show. Returns true when the visibility changed.
  bool RequestShow(bool show);

  // The person's Cancel (button, Escape, close box, Ctrl-C). It applies only to a shown window:
  // it sets the flag and hides the window without clearing the flag. Returns true when it took
  // effect.
  bool Cancel();

  // The range becomes 0..n, the upper bound taken modulo 65,536 (a 16-bit bound).
  void SetRange(std::int32_t n);
  // Any position is kept; a position above 0 ends the waiting state.
  void SetPos(std::int32_t p);

  bool visible() const { return visible_; }
  bool cancelled() const { return cancelled_; }
  std::int32_t upper() const { return upper_; }
  std::int32_t pos() const { return pos_; }

  // The position as a bar shows it: held inside the range.
  std::int32_t shown_pos() const;
  // Thousandths of the range covered by the shown position (0 for an empty range).
  int permille() const;
  // Shown and nothing known yet (no position above 0 since the show): the window shows that it
  // is alive instead of a bar standing at 0.
  bool waiting() const { return visible_ && !moved_; }

 private:
  bool visible_ = false;
  bool cancelled_ = false;
  bool moved_ = false;
  std::int32_t upper_ = 100;
  std::int32_t pos_ = 0;
};

}  // namespace tavi
