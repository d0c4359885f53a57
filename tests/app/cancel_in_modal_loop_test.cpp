// Cancel as a technician reaches it: the main dialog runs under exec(), the operation is started
// with a mouse click on its button, and the progress window's Cancel is pressed with real input
// events (mouse, Space, Escape) while the modal loop runs, against a virtual printer that never
// answers. Select Port's Restart the same way, inside Select Port's own modal loop.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "app/dialog_builder.h"
#include "app/main_dialog.h"
#include "app/pumping_clock.h"
#include "app/qt_progress_dialog.h"
#include "app/select_port_dialog.h"
#include "app/wire_operations.h"
#include "connection/default_channels.h"
#include "connection/printer_connection.h"
#include "qt_env.h"
#include "resources/strings.h"
#include "sim/virtual_printer.h"
#include "support/doubles.h"
#include "ui_script.h"

namespace tavi {
namespace {

using test::ClickControl;
using test::ProgressShownFor;
using test::UiScript;
using test::VisibleProgress;

bool AllCommandsEnabled(const QWidget& dialog) {
  for (int id : kCommandButtonIds) {
    QWidget* button = FindControl(dialog, id);
    if (button == nullptr || !button->isEnabled()) return false;
  }
  return true;
}

// The progress window is a child of `starter`, centred over it, with the keyboard focus on its
// Cancel button.
void ExpectPlacedOver(const QtProgressDialog& progress, const QWidget& starter) {
  EXPECT_EQ(progress.parentWidget(), &starter);
  EXPECT_TRUE(progress.windowFlags() & Qt::Tool);  // no taskbar entry of its own
  const QPoint offset = progress.frameGeometry().center() - starter.frameGeometry().center();
  EXPECT_LE(offset.manhattanLength(), 4) << offset.x() << "," << offset.y();
  EXPECT_EQ(QApplication::focusWidget(), FindControl(progress, kIdCancel));
}

enum class Way { kMouse, kSpace, kEscape };

// What a person does to the shown progress window.
void PressCancel(Way way) {
  QtProgressDialog* progress = VisibleProgress();
  ASSERT_NE(progress, nullptr);
  switch (way) {
    case Way::kMouse:
      ClickControl(*progress, kIdCancel);
      break;
    case Way::kSpace:
      test::PressKey(Qt::Key_Space);
      break;
    case Way::kEscape:
      test::PressKey(Qt::Key_Escape);
      break;
  }
}

class CancelInModalLoopTest : public ::testing::Test {
 protected:
  void TearDown() override {
    dialog_.reset();
    connection_.reset();
    for (auto& printer : printers_) printer->Stop();
  }

  sim::VirtualPrinter& AddPrinter(const std::string& address, sim::SimOptions options,
                                  std::uint16_t snmp_port = 0, bool lpd = true) {
    sim::VirtualPrinterConfig config;
    config.address = address;
    config.options = std::move(options);
    config.snmp_port = snmp_port;
    config.lpd = lpd;
    printers_.push_back(std::make_unique<sim::VirtualPrinter>(std::move(config)));
    std::string error;
    EXPECT_TRUE(printers_.back()->Start(error)) << error;
    return *printers_.back();
  }

  // The main dialog on a network connection to `hosts`, as the program builds it.
  MainDialog& MakeDialog(std::vector<std::string> hosts, std::uint16_t lpd_port,
                         std::uint16_t snmp_port) {
    PortSettings settings;
    settings.port = kPortNetwork;
    settings.hosts = std::move(hosts);
    settings.machine_type = kMachineType2;
    connection_ = std::make_unique<PrinterConnection>(settings, progress_, messages_, clock_,
                                                      DefaultChannelFactory({lpd_port, snmp_port}));
    dialog_ = std::make_unique<MainDialog>(*connection_, chooser_, WireOperations(snmp_port));
    return *dialog_;
  }

  test::RecordingMessages messages_;
  test::ScriptedFileChooser chooser_;
  QtProgressDialog progress_;
  PumpingClock clock_;
  std::vector<std::unique_ptr<sim::VirtualPrinter>> printers_;
  std::unique_ptr<PrinterConnection> connection_;
  std::unique_ptr<MainDialog> dialog_;
};

TEST_F(CancelInModalLoopTest, GetReportWhoseHeaderNeverComesEndsByMouseSpaceOrEscape) {
  sim::SimOptions options;
  options.no_header = true;
  sim::VirtualPrinter& printer = AddPrinter("127.0.0.111", options);
  MainDialog& dialog = MakeDialog({"127.0.0.111"}, printer.lpd_port(), printer.snmp_port());

  for (Way way : {Way::kMouse, Way::kSpace, Way::kEscape}) {
    SCOPED_TRACE(static_cast<int>(way));
    const std::size_t jobs_before = printer.model().Writes().size();
    bool busy_bar = false;
    UiScript script;
    script
        .Then(
            "main dialog running modally",
            [&] { return QApplication::activeModalWidget() == &dialog; },
            [&] { ClickControl(dialog, kIdGetReport); })
        .Then("progress window waiting for the header", ProgressShownFor(700),
              [&] {
                ExpectPlacedOver(progress_, dialog);
                auto* bar = FindControlAs<QProgressBar>(progress_, kIdProgressBar);
                busy_bar = bar->minimum() == 0 && bar->maximum() == 0;
                PressCancel(way);
              })
        .Then(
            "operation over, buttons enabled", [&] { return AllCommandsEnabled(dialog); },
            [&] {
              // The keyboard is back on the button that started the operation.
              EXPECT_EQ(QApplication::focusWidget(), FindControl(dialog, kIdGetReport));
              ClickControl(dialog, kIdOk);
            });
    script.Start();
    dialog.exec();
    EXPECT_TRUE(script.finished()) << script.waiting_for();
    EXPECT_TRUE(busy_bar);  // nothing known yet: a busy bar, not one frozen at 0
    EXPECT_TRUE(progress_.IsCancelled());
    EXPECT_FALSE(progress_.isVisible());
    EXPECT_EQ(printer.model().ClosingZeros(), 0);
    EXPECT_GT(printer.model().Writes().size(), jobs_before);  // the command did go out
    // A cancelled read is silent; a network call broken by Cancel may say why it failed.
    for (int id : messages_.Ids()) EXPECT_EQ(id, kIdsFailedToReceive);
  }
}

TEST_F(CancelInModalLoopTest, RestartEndsBySilentAgentCancelAndByEscapeInItsWaitKeepingChanges) {
  constexpr std::uint16_t kSnmpPort = 22111;
  sim::SimOptions silent;
  silent.snmp.silent = true;
  AddPrinter("127.0.0.112", silent, kSnmpPort, false);
  sim::VirtualPrinter& answering = AddPrinter("127.0.0.113", {}, kSnmpPort, false);
  MainDialog& dialog = MakeDialog({"127.0.0.112"}, 0, kSnmpPort);

  SelectPortDialog* port = nullptr;
  int bar_value_seen = -1;
  UiScript script(30000);
  script
      .Then(
          "main dialog running modally",
          [&] { return QApplication::activeModalWidget() == &dialog; },
          [&] { ClickControl(dialog, kIdSelectPort); })
      .Then(
          "Select Port running modally",
          [&] {
            port = qobject_cast<SelectPortDialog*>(QApplication::activeModalWidget());
            return port != nullptr;
          },
          [&] {
            ClickControl(*port, kIdType1);
            ClickControl(*port, kIdRestart);
          })
      .Then("Restart waiting for a silent agent", ProgressShownFor(700),
            [&] {
              ExpectPlacedOver(*VisibleProgress(), *port);
              PressCancel(Way::kMouse);
            })
      .Then(
          "Select Port back after the failed receive",
          [&] {
            return VisibleProgress() == nullptr && QApplication::activeModalWidget() == port &&
                   !messages_.shown.empty();
          },
          [&] {
            QLineEdit* edit = FindControlAs<QComboBox>(*port, kIdHostCombo)->lineEdit();
            edit->selectAll();
            QTest::keyClicks(edit, "127.0.0.113");
            ClickControl(*port, kIdRestart);
          })
      .Then(
          "Restart's six-second bar running",
          [&] {
            QtProgressDialog* progress = VisibleProgress();
            if (progress == nullptr) return false;
            bar_value_seen = FindControlAs<QProgressBar>(*progress, kIdProgressBar)->value();
            return bar_value_seen >= 45;
          },
          [&] {
            EXPECT_EQ(VisibleProgress()->parentWidget(), port);
            PressCancel(Way::kEscape);
          })
      .Then(
          "Select Port back after the shortened wait",
          [&] { return VisibleProgress() == nullptr && QApplication::activeModalWidget() == port; },
          [&] {
            EXPECT_TRUE(port->isVisible());
            ClickControl(*port, kIdOk);
          })
      .Then(
          "main dialog idle", [&] { return AllCommandsEnabled(dialog); },
          [&] {
            EXPECT_EQ(QApplication::focusWidget(), FindControl(dialog, kIdSelectPort));
            ClickControl(dialog, kIdOk);
          });
  script.Start();
  dialog.exec();
  EXPECT_TRUE(script.finished()) << script.waiting_for();
  EXPECT_GE(bar_value_seen, 45);
  EXPECT_LE(bar_value_seen, 97);
  EXPECT_EQ(answering.model().Restarts(), 1);
  // The silent agent's receive ends in its message; the shortened wait in none.
  EXPECT_EQ(messages_.Ids(), std::vector<int>{kIdsFailedToReceive});
  // The run's Select Port changes were kept.
  EXPECT_EQ(connection_->settings().machine_type, kMachineType1);
  EXPECT_EQ(connection_->settings().hosts.front(), "127.0.0.113");
}

}  // namespace
}  // namespace tavi
