// The progress window's state rules, which the desktop window, the tavi-cli bar and the test
// double share.
#include "core/ui/progress_state.h"

#include <gtest/gtest.h>

#include "support/doubles.h"

namespace tavi {
namespace {

TEST(ProgressState, ShowRequestsCancelAndTheFlagsLife) {
  ProgressState s;
  EXPECT_FALSE(s.visible());
  EXPECT_FALSE(s.Cancel());  // nobody can press Cancel on a hidden window
  EXPECT_FALSE(s.cancelled());

  EXPECT_TRUE(s.RequestShow(true));
  s.SetPos(30);
  EXPECT_TRUE(s.Cancel());
  EXPECT_TRUE(s.cancelled());
  EXPECT_FALSE(s.visible());
  // The owner's hide request finds the window hidden already: no notification, flag kept.
  EXPECT_FALSE(s.RequestShow(false));
  EXPECT_TRUE(s.cancelled());
  EXPECT_FALSE(s.Cancel());
  // The next show clears it and starts from 0.
  EXPECT_TRUE(s.RequestShow(true));
  EXPECT_FALSE(s.cancelled());
  EXPECT_EQ(s.pos(), 0);

  // A show request on a shown window is no notification either: a Cancel stays pressed. (One
  // front end used to clear the flag here.)
  EXPECT_TRUE(s.Cancel());
  EXPECT_TRUE(s.RequestShow(true));
  EXPECT_TRUE(s.Cancel());
  EXPECT_FALSE(s.RequestShow(false));
  EXPECT_TRUE(s.RequestShow(true));
  s.SetPos(10);
  EXPECT_FALSE(s.RequestShow(true));
  EXPECT_EQ(s.pos(), 10);
  EXPECT_TRUE(s.RequestShow(false));
  EXPECT_FALSE(s.cancelled());
}

TEST(ProgressState, SixteenBitRangeAndTheShownPosition) {
  ProgressState s;
  EXPECT_EQ(s.upper(), 100);
  s.SetRange(70000);
  EXPECT_EQ(s.upper(), 4464);
  s.SetRange(-1);
  EXPECT_EQ(s.upper(), 65535);
  s.SetRange(65536);
  EXPECT_EQ(s.upper(), 0);
  s.SetPos(7);
  EXPECT_EQ(s.shown_pos(), 0);
  EXPECT_EQ(s.permille(), 0);  // an empty range divides by nothing
  s.SetRange(200);
  s.SetPos(500);
  EXPECT_EQ(s.pos(), 500);
  EXPECT_EQ(s.shown_pos(), 200);
  EXPECT_EQ(s.permille(), 1000);
  s.SetPos(-3);
  EXPECT_EQ(s.shown_pos(), 0);
  s.SetPos(50);
  EXPECT_EQ(s.permille(), 250);
}

TEST(ProgressState, WaitingUntilTheFirstNewsOfEachShow) {
  ProgressState s;
  EXPECT_FALSE(s.waiting());  // hidden
  s.SetPos(0);
  s.RequestShow(true);
  EXPECT_TRUE(s.waiting());
  s.SetRange(3);  // a range alone is no news
  s.SetPos(0);
  EXPECT_TRUE(s.waiting());
  s.SetPos(1);
  EXPECT_FALSE(s.waiting());
  s.SetPos(0);
  EXPECT_FALSE(s.waiting());  // once moved, the bar stays a bar
  s.RequestShow(false);
  EXPECT_FALSE(s.waiting());
  s.RequestShow(true);
  EXPECT_TRUE(s.waiting());
  s.Cancel();
  EXPECT_FALSE(s.waiting());
}

// The status line and the quiet hint in virtual time: news (a new step, position or printer)
// restarts the quiet time, a repeated step is no news, and a show forgets what was said.
TEST(ProgressState, StatusAndQuietHintFollowTheNews) {
  test::FakeClock clock;
  ProgressState s(&clock);
  clock.now_ms = 5000;
  s.RequestShow(true);
  EXPECT_EQ(s.StatusText(), "");  // nothing said yet
  s.NamePrinter("USB");
  s.SetStep({ProgressStage::kWaitingForParameterHeader});
  clock.now_ms += 29999;
  EXPECT_EQ(s.StatusText(), "USB: waiting for the parameter block's header, 29 s");
  EXPECT_EQ(s.QuietText(), "");
  s.SetStep({ProgressStage::kWaitingForParameterHeader});  // the same step again: no news
  clock.now_ms += 1;
  EXPECT_TRUE(s.QuietText().starts_with("The printer has not answered for 30 s.")) << s.QuietText();
  s.SetStep({ProgressStage::kReceivingChunks, 1, 9});
  EXPECT_EQ(s.QuietText(), "");
  clock.now_ms += 9 * 60000 + 5000;
  EXPECT_EQ(s.StatusText(), "USB: chunk 1 of 9, 9 min 35 s");
  EXPECT_TRUE(s.QuietText().starts_with("The printer has not answered for 9 min 05 s."));
  s.SetPos(3);
  EXPECT_EQ(s.QuietText(), "");
  s.RequestShow(false);
  EXPECT_EQ(s.StatusText(), "");
  s.RequestShow(true);
  EXPECT_EQ(s.StatusText(), "");
  EXPECT_EQ(s.printer(), "");
}

// Under a message box nothing moves: the busy bar stands, the elapsed time and the quiet hint
// keep what they said when the box came up, and the release lets real time show again.
TEST(ProgressState, HeldUnderAMessageBoxTheBarAndTheClockStandStill) {
  test::FakeClock clock;
  ProgressState s(&clock);
  clock.now_ms = 1000;
  EXPECT_FALSE(s.ticking());
  s.RequestShow(true);
  s.NamePrinter("USB");
  s.SetStep({ProgressStage::kWaitingForReportHeader});
  EXPECT_TRUE(s.busy());
  EXPECT_TRUE(s.ticking());
  clock.now_ms += 29000;
  EXPECT_TRUE(s.Hold(true));
  EXPECT_FALSE(s.Hold(true));
  EXPECT_TRUE(s.held());
  EXPECT_TRUE(s.waiting());
  EXPECT_FALSE(s.busy());
  EXPECT_FALSE(s.ticking());
  clock.now_ms += 60000;
  EXPECT_EQ(s.StatusText(), "USB: waiting for the report header, 29 s");
  EXPECT_EQ(s.QuietText(), "");
  EXPECT_TRUE(s.Hold(false));
  EXPECT_TRUE(s.busy());
  EXPECT_EQ(s.StatusText(), "USB: waiting for the report header, 1 min 29 s");
  EXPECT_TRUE(s.QuietText().starts_with("The printer has not answered for 1 min 29 s."));
  // A window shown while held starts at 0 s and stays there until the release.
  s.RequestShow(false);
  s.Hold(true);
  clock.now_ms += 5000;
  s.RequestShow(true);
  s.NamePrinter("USB");
  clock.now_ms += 7000;
  EXPECT_EQ(s.StatusText(), "USB, 0 s");
  EXPECT_FALSE(s.busy());
  s.Hold(false);
  EXPECT_EQ(s.StatusText(), "USB, 7 s");
}

}  // namespace
}  // namespace tavi
