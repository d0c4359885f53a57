// The desktop window over an emulated USB printer through the real libusb-1.0: the test runs
// itself again behind the device (window and library in one process under umockdev's preload
// library), presses Get Report with a real mouse event and reports the text the Get Report
// window shows; the first run compares it with the printer's report.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "app/qt_env.h"
#include "cli/cli_runner.h"
#include "core/connection/default_channels.h"
#include "core/connection/printer_connection.h"
#include "core/settings/port_settings.h"
#include "frontends/printer_sim/devices/emulated_devices.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/get_report_dialog.h"
#include "frontends/qt/main_dialog.h"
#include "frontends/qt/pumping_clock.h"
#include "frontends/qt/qt_progress_dialog.h"
#include "frontends/qt/wire_operations.h"
#include "support/doubles.h"

namespace tavi {
namespace {

constexpr const char* kShownFile = "TAVI_USB_WINDOW_SHOWN";

// Behind the device: the main window on the real channels, Get Report pressed, OK pressed.
void PressGetReport(const std::string& shown_file) {
  test::RecordingMessages messages;
  test::ScriptedFileChooser chooser;
  QtProgressDialog progress;
  PumpingClock clock;
  PortSettings settings;
  settings.port = kPortUsb;
  settings.machine_type = 1;
  PrinterConnection connection(settings, progress, messages, clock, DefaultChannelFactory());
  MainDialog dialog(connection, chooser, WireOperations());
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  std::string shown;
  test::WhenModalShown(
      [&](QWidget* modal) {
        auto* window = qobject_cast<GetReportDialog*>(modal);
        ASSERT_NE(window, nullptr);
        shown = window->report_text();
        QTest::mouseClick(FindControlAs<QPushButton>(*window, kIdOk), Qt::LeftButton);
      },
      20000);
  QTest::mouseClick(FindControlAs<QPushButton>(dialog, kIdGetReport), Qt::LeftButton);
  for (const auto& m : messages.shown) ADD_FAILURE() << m.id << ": " << m.details;
  test::WriteAll(shown_file, shown);
}

TEST(UsbWindow, GetReportThroughTheRealLibraryShowsTheReport) {
  if (const char* shown_file = std::getenv(kShownFile)) {
    PressGetReport(shown_file);
    return;
  }
  sim::VirtualPrinterConfig config;
  config.lpd = false;
  config.snmp = false;
  config.options.reply_delay_ms = 20;
  sim::VirtualPrinter printer(config);
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;
  sim::EmulatedDevices devices;
  devices.AddUsbPrinters(printer.model(), {});
  test::TempDir dir;
  const std::string shown = dir / "shown.txt";
  setenv(kShownFile, shown.c_str(), 1);
  const pid_t pid =
      devices.Start({std::filesystem::read_symlink("/proc/self/exe").string(),
                     "--gtest_filter=UsbWindow.GetReportThroughTheRealLibraryShowsTheReport"},
                    error);
  unsetenv(kShownFile);
  ASSERT_GT(pid, 0) << error;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(test::ReadAll(shown), printer.model().ReportText());
  EXPECT_GT(printer.model().log().Count("usb-device-id"), 30u);
  printer.Stop();
}

}  // namespace
}  // namespace tavi
