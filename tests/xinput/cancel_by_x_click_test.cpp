// Real X input under Xvfb: the main dialog runs under exec() on the xcb platform, and xdotool
// clicks Get Report and then the progress window's Cancel at their screen positions, as a mouse
// does. Any window flag or modality that blocks the button turns this red.
#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QWindow>

#include "app/ui_script.h"
#include "core/connection/default_channels.h"
#include "core/connection/printer_connection.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/main_dialog.h"
#include "frontends/qt/pumping_clock.h"
#include "frontends/qt/qt_progress_dialog.h"
#include "frontends/qt/wire_operations.h"
#include "support/doubles.h"

namespace tavi {
namespace {

using test::UiScript;

// Clicks the middle of `control` on the X server, through XTEST.
void XClick(const QWidget& control) {
  const QPoint at = control.mapToGlobal(control.rect().center());
  const int status = QProcess::execute(
      "xdotool", {"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
  EXPECT_EQ(status, 0) << "xdotool at " << at.x() << "," << at.y();
}

bool AllCommandsEnabled(const QWidget& dialog) {
  for (int id : kCommandButtonIds) {
    QWidget* button = FindControl(dialog, id);
    if (button == nullptr || !button->isEnabled()) return false;
  }
  return true;
}

TEST(XInput, CancelClickedOnTheScreenEndsAReportWhoseHeaderNeverComes) {
  if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server (xvfb-run)";
  if (QStandardPaths::findExecutable("xdotool").isEmpty()) GTEST_SKIP() << "xdotool is missing";

  sim::VirtualPrinterConfig config;
  config.address = "127.0.0.114";
  config.options.no_header = true;
  sim::VirtualPrinter printer(config);
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;

  PortSettings settings;
  settings.port = kPortNetwork;
  settings.hosts = {config.address};
  test::RecordingMessages messages;
  test::ScriptedFileChooser chooser;
  QtProgressDialog progress;
  PumpingClock clock;
  PrinterConnection connection(settings, progress, messages, clock,
                               DefaultChannelFactory({printer.lpd_port(), printer.snmp_port()}));
  MainDialog dialog(connection, chooser, WireOperations(printer.snmp_port()));

  auto shown_since = std::make_shared<QElapsedTimer>();
  UiScript script(30000);
  script
      .Then(
          "main dialog on screen",
          [&] { return dialog.windowHandle() != nullptr && dialog.windowHandle()->isExposed(); },
          [&] { XClick(*FindControl(dialog, kIdGetReport)); })
      .Then(
          "progress window on screen, waiting",
          [&] {
            if (!progress.isVisible() || !progress.windowHandle()->isExposed()) return false;
            if (!shown_since->isValid()) shown_since->start();
            return shown_since->elapsed() >= 600;
          },
          [&] { XClick(*FindControl(progress, kIdCancel)); })
      .Then(
          "operation over", [&] { return AllCommandsEnabled(dialog); },
          [&] { XClick(*FindControl(dialog, kIdOk)); });
  script.Start();
  dialog.exec();
  printer.Stop();
  EXPECT_TRUE(script.finished()) << script.waiting_for();
  EXPECT_TRUE(progress.IsCancelled());
  EXPECT_FALSE(progress.isVisible());
  EXPECT_EQ(printer.model().ClosingZeros(), 0);
  EXPECT_FALSE(printer.model().Writes().empty());
}

}  // namespace
}  // namespace tavi

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
