// Every window of the program under a real window manager (openbox, started here) on a small X
// screen at a large scale: each lies within the screen's available area with its frame, each of
// its buttons can be brought into view and pressed, and the window manager offers minimise and
// maximise only where the template has such a box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStandardPaths>
#include <QTest>
#include <QWindow>
#include <csignal>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "core/connection/default_channels.h"
#include "core/connection/printer_connection.h"
#include "frontends/qt/about_box.h"
#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/get_report_dialog.h"
#include "frontends/qt/main_dialog.h"
#include "frontends/qt/pumping_clock.h"
#include "frontends/qt/qt_progress_dialog.h"
#include "frontends/qt/select_port_dialog.h"
#include "frontends/qt/set_head_rank_dialog.h"
#include "frontends/qt/wire_operations.h"
#include "support/doubles.h"

namespace tavi {
namespace {

// The window manager, for as long as the test program runs.
class WindowManager {
 public:
  bool Start() {
    process_.setProgram(QStandardPaths::findExecutable("openbox"));
    process_.setArguments({"--sm-disable"});
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start();
    if (!process_.waitForStarted(5000)) return false;
    // openbox owns the screen once it has set the supporting-WM property on the root window.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 5000) {
      // openbox announces itself first and its work area once it has set up the screen.
      if (RootProperty("_NET_SUPPORTING_WM_CHECK").contains("window id") &&
          RootProperty("_NET_WORKAREA").contains("=")) {
        return true;
      }
      QTest::qWait(50);
    }
    return false;
  }
  ~WindowManager() {
    if (process_.state() == QProcess::NotRunning) return;
    ::kill(static_cast<pid_t>(process_.processId()), SIGTERM);
    process_.waitForFinished(5000);
  }

  static QString RootProperty(const QString& name) { return Xprop({"-root", name}); }

  // `name` of the X window of `window`, as xprop prints it.
  static QString Property(const QWidget& window, const QString& name) {
    return Xprop({"-id", QString::number(window.windowHandle()->winId()), name});
  }

 private:
  static QString Xprop(const QStringList& arguments) {
    QProcess xprop;
    xprop.start("xprop", arguments);
    xprop.waitForFinished(5000);
    return QString::fromUtf8(xprop.readAllStandardOutput());
  }

  QProcess process_;
};

// Where the X server has `window` and its frame, in the screen's own pixels: the client area
// as xwininfo reports it, the frame from the extents the window manager announces.
struct OnScreen {
  QRect client;
  QRect frame;
};

std::optional<OnScreen> PlaceOnScreen(const QWidget& window) {
  const QString extents = WindowManager::Property(window, "_NET_FRAME_EXTENTS");
  const QStringList numbers = extents.section('=', 1).split(',', Qt::SkipEmptyParts);
  if (numbers.size() != 4) return std::nullopt;
  QProcess xwininfo;
  xwininfo.start("xwininfo", {"-id", QString::number(window.windowHandle()->winId())});
  xwininfo.waitForFinished(5000);
  const QString info = QString::fromUtf8(xwininfo.readAllStandardOutput());
  auto field = [&info](const char* name) {
    const qsizetype at = info.indexOf(QLatin1String(name));
    return at < 0
               ? -1
               : info.mid(at + qsizetype(std::strlen(name))).section('\n', 0, 0).trimmed().toInt();
  };
  OnScreen on;
  on.client = QRect(field("Absolute upper-left X:"), field("Absolute upper-left Y:"),
                    field("Width:"), field("Height:"));
  const int left = numbers[0].trimmed().toInt(), right = numbers[1].trimmed().toInt();
  const int top = numbers[2].trimmed().toInt(), bottom = numbers[3].trimmed().toInt();
  on.frame = on.client.adjusted(-left, -top, right, bottom);
  return on;
}

// Shows `window` and waits until the window manager has framed it and is done placing it.
::testing::AssertionResult ShownAndFramed(QWidget& window) {
  window.show();
  if (!QTest::qWaitForWindowExposed(&window, 15000)) {
    return ::testing::AssertionFailure() << "not exposed";
  }
  QElapsedTimer waited;
  waited.start();
  std::optional<OnScreen> last;
  while (waited.elapsed() < 5000) {
    QTest::qWait(100);
    const std::optional<OnScreen> now = PlaceOnScreen(window);
    if (now && last && now->frame == last->frame) return ::testing::AssertionSuccess();
    last = now;
  }
  return ::testing::AssertionFailure() << "no frame from the window manager";
}

// Optional pictures of the screen for a person to look at (TAVI_SCREENSHOT_DIR).
void Screenshot(const QString& name) {
  const QString dir = qEnvironmentVariable("TAVI_SCREENSHOT_DIR");
  if (dir.isEmpty()) return;
  QProcess::execute("sh",
                    {"-c", "xwd -root -silent | convert xwd:- '" + dir + "/" + name + ".png'"});
}

// Clicks the middle of `control` where the X server shows it, through XTEST.
void XClick(const QWidget& control) {
  const std::optional<OnScreen> on = PlaceOnScreen(*control.window());
  ASSERT_TRUE(on.has_value());
  const QPoint at =
      on->client.topLeft() +
      control.mapTo(control.window(), control.rect().center()) * control.devicePixelRatio();
  EXPECT_EQ(QProcess::execute("xdotool", {"mousemove", QString::number(at.x()),
                                          QString::number(at.y()), "click", "1"}),
            0);
}

// The window with its frame lies within the screen, and every push button can be scrolled into
// view, where it lies wholly within the window and the screen.
void ExpectWithinReach(QWidget& window, const char* what) {
  SCOPED_TRACE(what);
  const double ratio = window.devicePixelRatio();
  const QRect screen(window.screen()->geometry().topLeft() * ratio,
                     window.screen()->geometry().size() * ratio);
  const std::optional<OnScreen> on = PlaceOnScreen(window);
  ASSERT_TRUE(on.has_value());
  EXPECT_TRUE(screen.contains(on->frame))
      << "frame " << on->frame.x() << "," << on->frame.y() << " " << on->frame.width() << "x"
      << on->frame.height() << " screen " << screen.width() << "x" << screen.height();
  auto* scroll = window.findChild<QScrollArea*>();
  const QList<QPushButton*> buttons = window.findChildren<QPushButton*>();
  EXPECT_FALSE(buttons.isEmpty());
  for (QPushButton* button : buttons) {
    if (button->isHidden()) continue;
    if (scroll != nullptr) scroll->ensureWidgetVisible(button, 0, 0);
    QTest::qWait(20);
    const QRect in_window(button->mapTo(&window, QPoint(0, 0)) * ratio, button->size() * ratio);
    EXPECT_TRUE(QRect(QPoint(), on->client.size()).contains(in_window))
        << button->text().toStdString();
    EXPECT_TRUE(screen.contains(in_window.translated(on->client.topLeft())))
        << button->text().toStdString();
    EXPECT_EQ(button->visibleRegion(), QRegion(button->rect())) << button->text().toStdString();
  }
}

bool Allows(const QWidget& window, const char* action) {
  return WindowManager::Property(window, "_NET_WM_ALLOWED_ACTIONS").contains(action);
}

class XWindowsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (QGuiApplication::platformName() != "xcb") return;
    if (QStandardPaths::findExecutable("openbox").isEmpty()) return;
    manager_ = std::make_unique<WindowManager>();
    if (!manager_->Start()) manager_.reset();
  }
  static void TearDownTestSuite() { manager_.reset(); }

  void SetUp() override {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server (xvfb-run)";
    if (manager_ == nullptr) GTEST_SKIP() << "openbox is missing or did not start";
    for (const char* tool : {"xprop", "xwininfo", "xdotool"}) {
      if (QStandardPaths::findExecutable(tool).isEmpty()) GTEST_SKIP() << tool << " is missing";
    }
    settings_.port = kPortNetwork;
    settings_.hosts = {"127.0.0.171"};
  }

  static std::unique_ptr<WindowManager> manager_;
  PortSettings settings_;
  test::RecordingMessages messages_;
  test::ScriptedFileChooser chooser_;
  QtProgressDialog progress_;
  PumpingClock clock_;
  PrinterConnection connection_{settings_, progress_, messages_, clock_,
                                DefaultChannelFactory({5515, 5161})};
  MainDialog main_{connection_, chooser_, WireOperations(5161)};
};

std::unique_ptr<WindowManager> XWindowsTest::manager_;

TEST_F(XWindowsTest, EveryWindowLiesWithinTheScreenWithEveryButtonWithinReach) {
  ASSERT_TRUE(ShownAndFramed(main_));
  Screenshot("main");
  ExpectWithinReach(main_, "main window");

  {
    SelectPortDialog select(settings_, messages_, clock_, 5161, &main_);
    ASSERT_TRUE(ShownAndFramed(select));
    EXPECT_TRUE(QTest::qWaitForWindowActive(&select));
    Screenshot("select_port");
    ExpectWithinReach(select, "Select Port");
    // Cut down to the screen, it can be made larger again by the person.
    if (select.window()->findChild<QScrollArea*>() != nullptr) {
      EXPECT_TRUE(Allows(select, "_NET_WM_ACTION_RESIZE"));
    }
    // A click on Cancel where it is now shown reaches it.
    QWidget* cancel = FindControl(select, kIdCancel);
    ASSERT_NE(cancel, nullptr);
    if (auto* scroll = select.findChild<QScrollArea*>()) scroll->ensureWidgetVisible(cancel, 0, 0);
    XClick(*cancel);
    QElapsedTimer waited;
    waited.start();
    while (select.isVisible() && waited.elapsed() < 3000) QTest::qWait(20);
    EXPECT_FALSE(select.isVisible());
    EXPECT_EQ(select.result(), QDialog::Rejected);
  }
  {
    SetHeadRankDialog rank(chooser_, messages_, &main_);
    ASSERT_TRUE(ShownAndFramed(rank));
    Screenshot("set_head_rank");
    ExpectWithinReach(rank, "Set Head Rank");
  }
  {
    GetReportDialog report(chooser_, messages_, &main_);
    report.SetReportText(std::string(200, 'x') + "\n" + std::string(2000, '\n'));
    ASSERT_TRUE(ShownAndFramed(report));
    Screenshot("get_report");
    ExpectWithinReach(report, "Get Report");
  }
  {
    AboutBox about(&main_);
    ASSERT_TRUE(ShownAndFramed(about));
    Screenshot("about");
    ExpectWithinReach(about, "About");
  }
  progress_.Show(true);
  ASSERT_TRUE(ShownAndFramed(progress_));
  Screenshot("progress");
  ExpectWithinReach(progress_, "progress window");
  progress_.Show(false);
}

TEST_F(XWindowsTest, MinimiseAndMaximiseOnlyWhereTheTemplateHasThem) {
  ASSERT_TRUE(ShownAndFramed(main_));
  // Whatever the frame, the window manager still gives the main window the keyboard.
  EXPECT_TRUE(QTest::qWaitForWindowActive(&main_));
  progress_.Show(true);
  ASSERT_TRUE(ShownAndFramed(progress_));
  for (const QWidget* window : {static_cast<QWidget*>(&main_), static_cast<QWidget*>(&progress_)}) {
    SCOPED_TRACE(window->windowTitle().toStdString());
    EXPECT_FALSE(Allows(*window, "_NET_WM_ACTION_MINIMIZE"))
        << WindowManager::Property(*window, "_NET_WM_ALLOWED_ACTIONS").toStdString();
    EXPECT_FALSE(Allows(*window, "_NET_WM_ACTION_MAXIMIZE"));
  }
  EXPECT_TRUE(Allows(main_, "_NET_WM_ACTION_CLOSE"));
  progress_.Show(false);
  // The Get Report window's template has a minimise box: the window manager offers it.
  GetReportDialog report(chooser_, messages_, &main_);
  ASSERT_TRUE(ShownAndFramed(report));
  EXPECT_TRUE(Allows(report, "_NET_WM_ACTION_MINIMIZE"))
      << WindowManager::Property(report, "_NET_WM_ALLOWED_ACTIONS").toStdString();
}

}  // namespace
}  // namespace tavi

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
