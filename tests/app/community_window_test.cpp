// The SNMP community through the windows, as a person sets it: typed into Select Port from the
// main dialog, refused while it cannot be sent, kept in the settings file, and used by the next
// operation against a virtual printer that answers only that community.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/connection/default_channels.h"
#include "core/connection/printer_connection.h"
#include "core/settings/settings_store.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/get_report_dialog.h"
#include "frontends/qt/main_dialog.h"
#include "frontends/qt/pumping_clock.h"
#include "frontends/qt/qt_progress_dialog.h"
#include "frontends/qt/select_port_dialog.h"
#include "frontends/qt/wire_operations.h"
#include "qt_env.h"
#include "support/doubles.h"
#include "ui_script.h"

namespace tavi {
namespace {

namespace fs = std::filesystem;

// Types `text` on the keyboard into whatever has it, key by key.
void TypeKeys(const QString& text) {
  for (const QChar c : text) {
    QWindow* focus = QGuiApplication::focusWindow();
    ASSERT_NE(focus, nullptr);
    const auto key = static_cast<Qt::Key>(c.toUpper().unicode());
    QTest::sendKeyEvent(QTest::Click, focus, key, QString(c), Qt::NoModifier);
  }
}

// Clicks into field `id` of `window`, selects all of its text and types `text` over it.
void TypeInto(const QWidget& window, int id, const QString& text) {
  test::ClickControl(window, id);
  QWindow* focus = QGuiApplication::focusWindow();
  ASSERT_NE(focus, nullptr);
  QTest::keyClick(focus, Qt::Key_A, Qt::ControlModifier);
  TypeKeys(text);
}

template <typename T>
T* ActiveModal() {
  return qobject_cast<T*>(QApplication::activeModalWidget());
}

// The modal window of kind T is up and has the keyboard.
template <typename T>
bool ModalHasKeyboard() {
  T* window = ActiveModal<T>();
  return window != nullptr && QGuiApplication::focusWindow() == window->windowHandle();
}

TEST(CommunityWindowTest, TypedInSelectPortKeptInTheFileAndUsedByTheNextOperation) {
  sim::VirtualPrinterConfig config;
  config.address = "127.0.103.2";
  config.options.community = "s3cret";
  config.options.reply_delay_ms = 50;
  sim::VirtualPrinter printer(config);
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;

  PortSettings settings;  // the default community
  settings.port = kPortNetwork;
  settings.hosts = {"127.0.103.2"};
  test::RecordingMessages messages;
  test::ScriptedFileChooser chooser;
  QtProgressDialog progress;
  PumpingClock clock;
  PrinterConnection connection(settings, progress, messages, clock,
                               DefaultChannelFactory({printer.lpd_port(), printer.snmp_port()}));
  MainDialog dialog(connection, chooser, WireOperations(printer.snmp_port()));
  ASSERT_TRUE(test::ShowOnScreen(dialog));

  std::string first_shown;
  std::string refusal;
  bool focus_back_on_field = false;
  test::UiScript script;
  script
      .Then("Select Port open", ModalHasKeyboard<SelectPortDialog>,
            [&] {
              auto* window = ActiveModal<SelectPortDialog>();
              first_shown = FindControlAs<QLineEdit>(*window, kIdCommunity)->text().toStdString();
              TypeInto(*window, kIdCommunity, "two words");
              test::ClickControl(*window, kIdOk);
            })
      .Then("the refusal", ModalHasKeyboard<QMessageBox>,
            [&] {
              refusal = ActiveModal<QMessageBox>()->text().toStdString();
              test::PressKey(Qt::Key_Return);
            })
      .Then("Select Port again", ModalHasKeyboard<SelectPortDialog>, [&] {
        auto* window = ActiveModal<SelectPortDialog>();
        focus_back_on_field = QApplication::focusWidget() == FindControl(*window, kIdCommunity);
        TypeInto(*window, kIdCommunity, "s3cret");
        test::ClickControl(*window, kIdOk);
      });
  script.Start();
  test::ClickControl(dialog, kIdSelectPort);
  ASSERT_TRUE(script.finished()) << script.waiting_for();
  EXPECT_EQ(first_shown, "public");
  EXPECT_NE(refusal.find("without spaces"), std::string::npos) << refusal;
  EXPECT_TRUE(focus_back_on_field);
  EXPECT_EQ(connection.settings().community, "s3cret");

  // At exit the settings go to the file, the community as any other key.
  const fs::path file =
      fs::temp_directory_path() /
      ("tavi-community-" + std::to_string(QCoreApplication::applicationPid()) + ".ini");
  ASSERT_TRUE(SaveSettings(file.string(), connection.settings()));
  std::ifstream in(file, std::ios::binary);
  const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  fs::remove(file);
  EXPECT_NE(saved.find("Community=s3cret"), std::string::npos) << saved;
  EXPECT_LT(saved.find("MachineType="), saved.find("Community="));

  // The next operation asks in the community typed, and the printer answers.
  std::string report;
  test::WhenModalShown([&](QWidget* modal) {
    auto* window = qobject_cast<GetReportDialog*>(modal);
    ASSERT_NE(window, nullptr);
    report = window->report_text();
    test::ClickControl(*window, kIdOk);
  });
  test::ClickControl(dialog, kIdGetReport);
  printer.Stop();
  EXPECT_EQ(report, printer.model().ReportText());
  EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace tavi
