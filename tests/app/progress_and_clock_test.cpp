// The "Communicating..." window's cancel flag and bar, and the clock that keeps windows alive
// while it waits.
#include <gtest/gtest.h>

#include <QProgressBar>
#include <QPushButton>
#include <chrono>

#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/pumping_clock.h"
#include "frontends/qt/qt_progress_dialog.h"
#include "qt_env.h"
#include "ui_script.h"

namespace tavi {
namespace {

QProgressBar& Bar(QtProgressDialog& dialog) {
  return *FindControlAs<QProgressBar>(dialog, kIdProgressBar);
}

TEST(ProgressDialog, IsAHiddenToolWindowWithBarAndCancel) {
  QtProgressDialog dialog;
  EXPECT_TRUE(dialog.isHidden());
  EXPECT_FALSE(dialog.isModal());
  EXPECT_EQ(dialog.windowTitle(), QString("Communicating..."));
  EXPECT_EQ(dialog.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
  ASSERT_NE(FindControlAs<QProgressBar>(dialog, kIdProgressBar), nullptr);
  EXPECT_EQ(Bar(dialog).maximum(), 100);
  auto* cancel = FindControlAs<QPushButton>(dialog, kIdCancel);
  ASSERT_NE(cancel, nullptr);
  const BaseUnits base = BaseUnitsOf(dialog.font());
  EXPECT_EQ(cancel->geometry(),
            QRect(52 * base.x / 4, 28 * base.y / 8, 50 * base.x / 4, 14 * base.y / 8));
  EXPECT_FALSE(dialog.IsCancelled());
}

TEST(ProgressDialog, CancelHidesAndStaysSetUntilTheNextShow) {
  QtProgressDialog dialog;
  dialog.Show(true);
  EXPECT_TRUE(dialog.isVisible());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  dialog.SetProgressPos(40);

  test::ClickControl(dialog, kIdCancel);
  EXPECT_TRUE(dialog.IsCancelled());
  EXPECT_TRUE(dialog.isHidden());

  // A hide request does not apply to the hidden window: the flag stays.
  dialog.Show(false);
  EXPECT_TRUE(dialog.IsCancelled());
  dialog.PumpMessages(false);
  EXPECT_TRUE(dialog.IsCancelled());

  // The next show clears it and puts the position back at 0, which the bar shows as busy
  // until the first news arrives.
  dialog.SetProgressPos(70);
  dialog.Show(true);
  EXPECT_FALSE(dialog.IsCancelled());
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.state().pos(), 0);
  EXPECT_EQ(Bar(dialog).maximum(), 0);
  dialog.SetProgressPos(5);
  EXPECT_EQ(Bar(dialog).maximum(), 100);
  EXPECT_EQ(Bar(dialog).value(), 5);
  dialog.Show(false);
  EXPECT_TRUE(dialog.isHidden());
  EXPECT_FALSE(dialog.IsCancelled());
}

TEST(ProgressDialog, EscapeCancelsLikeTheButton) {
  QtProgressDialog dialog;
  dialog.Show(true);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  test::PressKey(Qt::Key_Escape);
  EXPECT_TRUE(dialog.IsCancelled());
  EXPECT_TRUE(dialog.isHidden());
}

TEST(ProgressDialog, RangeUpperBoundIsSixteenBitAndPositionsStayInside) {
  QtProgressDialog dialog;
  dialog.SetProgressRange(70000);
  EXPECT_EQ(Bar(dialog).minimum(), 0);
  EXPECT_EQ(Bar(dialog).maximum(), 4464);
  dialog.SetProgressRange(65536);
  EXPECT_EQ(Bar(dialog).maximum(), 0);
  dialog.SetProgressRange(-1);
  EXPECT_EQ(Bar(dialog).maximum(), 65535);
  dialog.SetProgressRange(200);
  dialog.SetProgressPos(150);
  EXPECT_EQ(Bar(dialog).value(), 150);
  dialog.SetProgressPos(500);
  EXPECT_EQ(Bar(dialog).value(), 200);
  dialog.SetProgressPos(-3);
  EXPECT_EQ(Bar(dialog).value(), 0);
}

TEST(ProgressDialog, SettingThePositionRunsPendingEvents) {
  QtProgressDialog dialog;
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  dialog.SetProgressPos(1);
  EXPECT_TRUE(ran);
  // A Cancel click queued while an operation runs is seen at the next pumping moment.
  dialog.Show(true);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QTimer::singleShot(0, &dialog, [&] { test::ClickControl(dialog, kIdCancel); });
  EXPECT_FALSE(dialog.IsCancelled());
  dialog.SetProgressRange(100);
  EXPECT_TRUE(dialog.IsCancelled());
}

TEST(PumpingClock, WaitsTheFullTimeAndRunsEventsMeanwhile) {
  PumpingClock clock;
  const auto start = std::chrono::steady_clock::now();
  std::int64_t seen_at_ms = -1;
  QTimer::singleShot(30, [&] {
    seen_at_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - start)
                     .count();
  });
  clock.Sleep(150);
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - start)
                          .count();
  EXPECT_GE(waited, 150);
  EXPECT_LT(waited, 1000);
  ASSERT_GE(seen_at_ms, 30);
  // Seen within a slice (plus scheduling slack), not at the end of the wait.
  EXPECT_LT(seen_at_ms, 30 + 100);

  const std::int64_t before = clock.NowMs();
  clock.Sleep(0);
  clock.Sleep(-5);
  EXPECT_LT(clock.NowMs() - before, 20);
}

}  // namespace
}  // namespace tavi
