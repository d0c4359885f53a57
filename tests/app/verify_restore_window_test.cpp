// "Verify Put Parameters" chosen with the mouse on the main dialog's context menu, then Put
// Parameters against a virtual printer on loopback: the block is read back and compared, and the
// choice is kept in the settings file.
#include <gtest/gtest.h>

#include <QMenu>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/connection/default_channels.h"
#include "core/connection/printer_connection.h"
#include "core/files/parameter_codec.h"
#include "core/resources/strings.h"
#include "core/settings/operation_options.h"
#include "core/settings/recent_folders.h"
#include "core/settings/save_at_exit.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "frontends/qt/main_dialog.h"
#include "frontends/qt/pumping_clock.h"
#include "frontends/qt/qt_progress_dialog.h"
#include "frontends/qt/wire_operations.h"
#include "qt_env.h"
#include "support/doubles.h"
#include "ui_script.h"

namespace tavi {
namespace {

namespace fs = std::filesystem;

TEST(VerifyRestoreWindow, TheMenuChoiceReadsTheBlockBackAndIsKeptInTheSettings) {
  const fs::path dir = fs::temp_directory_path() /
                       ("tavi-verify-" + std::to_string(QCoreApplication::applicationPid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string ini = (dir / "tavi.ini").string();

  sim::VirtualPrinterConfig config;
  config.address = "127.0.104.10";
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
  OperationOptions options = OperationOptions::Load(ini);
  ASSERT_FALSE(options.verify_restore());
  MainDialog dialog(connection, chooser, WireOperations(printer.snmp_port()));
  dialog.set_operation_options(&options);
  ASSERT_TRUE(test::ShowOnScreen(dialog));

  // A backup, then a restore with the choice off: "Done." alone, no read-back.
  const std::string block = printer.model().Params();
  const std::string file = (dir / "backup.prm").string();
  chooser.save_answers = {file};
  test::ClickControl(dialog, kIdGetParameters);
  chooser.open_answers = {file};
  test::ClickControl(dialog, kIdPutParameters);
  EXPECT_EQ(messages.Ids(), std::vector<int>{kIdsDone});
  EXPECT_EQ(printer.model().log().Count("closing-zero"), 1u);

  // A right click beside the buttons opens the menu; a left click checks the entry.
  QTest::mouseClick(dialog.windowHandle(), Qt::RightButton, Qt::NoModifier, QPoint(2, 2));
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_EQ(menu, &dialog.context_menu());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
  QAction* verify = nullptr;
  for (QAction* action : menu->actions()) {
    if (action->text() == QString::fromUtf8(kVerifyRestoreText.data())) verify = action;
  }
  ASSERT_NE(verify, nullptr);
  EXPECT_FALSE(verify->isChecked());
  test::ClickAt(*menu, menu->actionGeometry(verify).center());
  EXPECT_TRUE(options.verify_restore());
  EXPECT_TRUE(dialog.verify_restore());

  // Now the restore is followed by the read-back, which equals the file.
  messages.shown.clear();
  chooser.open_answers = {file};
  test::ClickControl(dialog, kIdPutParameters);
  EXPECT_EQ(messages.Ids(), (std::vector<int>{kIdsDone, kIdsVerifiedEqual}));
  EXPECT_EQ(printer.model().log().Count("closing-zero"), 2u);

  // A printer that keeps its own block, given another one: the difference is reported with
  // its offset, after "Done.".
  std::vector<std::uint8_t> image(block.begin(), block.end());
  image[3] = static_cast<std::uint8_t>(image[3] ^ 0x10);
  image.push_back(CheckByte(image));
  std::vector<std::uint8_t> encoded(kMaxParameterFileLength);
  const std::int32_t length = ParameterCodec(image, encoded, /*encode=*/true);
  ASSERT_GT(length, 0);
  const std::string other = (dir / "other.prm").string();
  std::ofstream(other, std::ios::binary)
      .write(reinterpret_cast<const char*>(encoded.data()), length);
  sim::SimOptions keeps = printer.model().Options();
  keeps.params_not_stored = true;
  printer.model().SetOptions(keeps);
  messages.shown.clear();
  chooser.open_answers = {other};
  test::ClickControl(dialog, kIdPutParameters);
  ASSERT_EQ(messages.Ids(), (std::vector<int>{kIdsDone, kIdsVerifyMismatch}));
  EXPECT_NE(messages.shown[1].details.find("offset 3 (0x3), 1 byte"), std::string::npos)
      << messages.shown[1].details;
  EXPECT_EQ(printer.model().Params(), block);

  // The choice is written at exit and read back at the next start.
  RecentFolders folders;
  ASSERT_TRUE(SaveAtExit(ini, connection.settings(), folders, options, messages));
  EXPECT_TRUE(OperationOptions::Load(ini).verify_restore());
  dialog.close();
  printer.Stop();
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tavi
