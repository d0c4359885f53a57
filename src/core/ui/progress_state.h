// The state of the "Communicating..." window and its rules, in one place: whether it is shown,
// its range and position, the cancel flag, whether it is still waiting for its first news, and
// what it says it is doing (the printer, the step, the time since the show, and a hint once the
// printer has given no news for a while).
// The desktop windows, the tavi-cli bar and the test double hold one of these and only draw it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/ui/progress_status.h"

namespace tavi {

class Clock;

class ProgressState {
 public:
  // Times are read from `clock` (null: the steady clock of the system).
  explicit ProgressState(Clock* clock = nullptr) : clock_(clock) {}
  void set_clock(Clock* clock) { clock_ = clock; }

  // The owner's show request. Only a request that changes the visibility is a show
  // notification: it clears the cancel flag, and a show also puts the position at 0, starts
  // the waiting state, forgets the printer and the step and starts the elapsed time. A hide
  // request on a window that Cancel already hid changes nothing, so the flag stays set until
  // the next show. Returns true when the visibility changed.
  bool RequestShow(bool show);

  // The person's Cancel (button, Escape, close box, Ctrl-C). It applies only to a shown window:
  // it sets the flag and hides the window without clearing the flag. Returns true when it took
  // effect.
  bool Cancel();

  // While a message box stands over the operation nothing moves: the busy bar stands still and
  // the elapsed time and the quiet hint keep what they said when the box came up. The release
  // lets them go on from the time as it is then. Returns true when the hold changed.
  bool Hold(bool hold);

  // The range becomes 0..n, the upper bound taken modulo 65,536 (a 16-bit bound).
  void SetRange(std::int32_t n);
  // Any position is kept; a position above 0 ends the waiting state. A new position is news.
  void SetPos(std::int32_t p);

  // The printer the operation talks to, in the technician's words ("network, host '192.0.2.7'").
  void NamePrinter(std::string_view words);
  // The step under way; a step other than the one before is news.
  void SetStep(const ProgressStep& step);

  bool visible() const { return visible_; }
  bool cancelled() const { return cancelled_; }
  std::int32_t upper() const { return upper_; }
  std::int32_t pos() const { return pos_; }
  const std::string& printer() const { return printer_; }
  const ProgressStep& step() const { return step_; }

  // The position as a bar shows it: held inside the range.
  std::int32_t shown_pos() const;
  // Thousandths of the range covered by the shown position (0 for an empty range).
  int permille() const;
  // Shown and nothing known yet (no position above 0 since the show): the window shows that it
  // is alive instead of a bar standing at 0.
  bool waiting() const { return visible_ && !moved_; }
  bool held() const { return held_; }
  // Waiting and not held: the bar moves to and fro.
  bool busy() const { return waiting() && !held_; }
  // Shown and not held: the elapsed time is worth redrawing as time passes.
  bool ticking() const { return visible_ && !held_; }

  // "printer: step, elapsed" while shown; empty when nothing is known of printer and step.
  std::string StatusText() const;
  // While shown and talking to a printer that has given no news for kQuietHintMs or more: why
  // that usually happens. Empty otherwise. The wait goes on; Cancel ends it.
  std::string QuietText() const;

 private:
  std::int64_t Now() const;
  // Now, or the time the hold began while held.
  std::int64_t ShownNow() const { return held_ ? held_ms_ : Now(); }
  void News() { news_ms_ = Now(); }

  Clock* clock_;
  bool visible_ = false;
  bool cancelled_ = false;
  bool moved_ = false;
  bool held_ = false;
  std::int64_t held_ms_ = 0;  // the time the hold began
  std::int32_t upper_ = 100;
  std::int32_t pos_ = 0;
  std::string printer_;
  ProgressStep step_;
  std::int64_t shown_ms_ = 0;
  std::int64_t news_ms_ = 0;
};

}  // namespace tavi
