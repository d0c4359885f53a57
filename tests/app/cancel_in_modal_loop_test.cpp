// Cancel as a technician reaches it: the main dialog runs under exec(), the operation is started
// with a mouse click on its button, and the progress window's Cancel is pressed with real input
// events (mouse, Space, Escape) while the modal loop runs, against a virtual printer that never
// answers. Select Port's Restart the same way, inside Select Port's own modal loop. A Cancel is
// no failure: it shows no message; a cancelled firmware upgrade says that the printer may hold
// part of an image, after the connection to it was closed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <poll.h>

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "core/connection/default_channels.h"
#include "core/connection/printer_connection.h"
#include "core/protocol/operations.h"
#include "core/resources/strings.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/main_dialog.h"
#include "frontends/qt/pumping_clock.h"
#include "frontends/qt/qt_messages.h"
#include "frontends/qt/qt_progress_dialog.h"
#include "frontends/qt/select_port_dialog.h"
#include "frontends/qt/wire_operations.h"
#include "os/socket.h"
#include "qt_env.h"
#include "support/doubles.h"
#include "support/fake_servers.h"
#include "ui_script.h"

#include <atomic>
#include <cstdio>
#include <fstream>

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
                         std::uint16_t snmp_port, Messages* messages = nullptr) {
    PortSettings settings;
    settings.port = kPortNetwork;
    settings.hosts = std::move(hosts);
    settings.machine_type = kMachineType2;
    connection_ = std::make_unique<PrinterConnection>(
        settings, progress_, messages != nullptr ? *messages : messages_, clock_,
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
    // A cancelled read is silent, also when Cancel broke off the network call itself.
    EXPECT_TRUE(messages_.shown.empty());
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
  QString status_seen;
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
      .Then("Restart waiting for a silent agent", ProgressShownFor(1200),
            [&] {
              ExpectPlacedOver(*VisibleProgress(), *port);
              status_seen = VisibleProgress()->StatusText();
              PressCancel(Way::kMouse);
            })
      .Then(
          "Select Port back after the cancelled receive",
          [&] {
            return VisibleProgress() == nullptr && QApplication::activeModalWidget() == port &&
                   !messages_.cancelled.empty();
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
  // The window said whom it asked, what for, and for how long.
  EXPECT_THAT(status_seen.toStdString(),
              ::testing::MatchesRegex("network, host '127\\.0\\.0\\.112': asking the printer to "
                                      "restart, [1-9] s"));
  // Neither the cancelled receive nor the shortened wait shows a message.
  EXPECT_TRUE(messages_.shown.empty());
  ASSERT_EQ(messages_.cancelled.size(), 1u);
  EXPECT_EQ(messages_.cancelled[0].id, kIdsFailedToReceive);
  // The run's Select Port changes were kept.
  EXPECT_EQ(connection_->settings().machine_type, kMachineType1);
  EXPECT_EQ(connection_->settings().hosts.front(), "127.0.0.113");
}

// An LPD server that takes the job and the console text, then stops reading the firmware image
// part-way, so that the upload waits inside a socket call; it notes when the client's end goes
// away (reset, or closed), without reading on.
struct StallingLpd {
  std::atomic<bool> stalled{false};
  std::atomic<std::int64_t> gone_at_ms{-1};

  void Serve(int fd) {
    const std::string ack(1, '\0');
    if (test::ReadLine(fd).empty() || !test::WriteBytes(fd, ack)) return;
    for (;;) {
      const std::string sub = test::ReadLine(fd);
      if (sub.size() < 4) return;
      const std::size_t n = std::stoul(sub.substr(1));
      test::WriteBytes(fd, ack);
      if (n >= kFirmwareChunk) break;  // the image
      test::ReadBytes(fd, n + 1);
      test::WriteBytes(fd, ack);
    }
    test::ReadBytes(fd, 16384);
    stalled = true;
    for (int i = 0; i < 1000; ++i) {
      pollfd entry{fd, POLLRDHUP, 0};
      if (::poll(&entry, 1, 10) > 0 && (entry.revents & (POLLERR | POLLHUP | POLLRDHUP)) != 0) {
        gone_at_ms = SteadyMs();
        return;
      }
    }
  }
};

TEST_F(CancelInModalLoopTest, FirmwareUpgradeCancelledMidUploadClosesAtOnceAndSaysSo) {
  constexpr std::uint16_t kPort = 23144;
  StallingLpd lpd;
  test::FakeTcpServer server("127.0.0.144", kPort, [&](int fd) { lpd.Serve(fd); });
  ASSERT_TRUE(server.ok());
  const std::string image_path =
      (QDir::tempPath() + "/tavi-cancel-fw-" + QString::number(QCoreApplication::applicationPid()))
          .toStdString();
  {
    std::ofstream image(image_path, std::ios::binary);
    image << std::string(300000, '\x5a');
  }
  chooser_.open_answers = {image_path};
  // Real message boxes: a box shown before the close would hold the job open behind it.
  QtMessages boxes;
  MainDialog& dialog = MakeDialog({"127.0.0.144"}, kPort, kPort, &boxes);

  QString status_seen;
  std::int64_t clicked_ms = -1;
  std::int64_t gone_before_box_ms = -1;
  QString box_text;
  UiScript script(20000);
  script
      .Then(
          "main dialog running modally",
          [&] { return QApplication::activeModalWidget() == &dialog; },
          [&] { ClickControl(dialog, kIdFirmwareUpgrade); })
      .Then(
          "the upload waiting on the printer",
          [&] {
            QtProgressDialog* progress = VisibleProgress();
            if (progress == nullptr || !lpd.stalled) return false;
            status_seen = progress->StatusText();
            return true;
          },
          [&] {
            clicked_ms = SteadyMs();
            PressCancel(Way::kMouse);
          })
      .Then(
          "the note on the cut upload",
          [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return false;
            gone_before_box_ms = lpd.gone_at_ms;
            box_text = box->text();
            return true;
          },
          [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QAbstractButton* ok = box->button(QMessageBox::Ok);
            test::ClickAt(*ok, ok->rect().center());
          })
      .Then(
          "operation over, buttons enabled", [&] { return AllCommandsEnabled(dialog); },
          [&] { ClickControl(dialog, kIdOk); });
  script.Start();
  dialog.exec();
  server.Stop();
  std::remove(image_path.c_str());
  EXPECT_TRUE(script.finished()) << script.waiting_for();
  // The window named the printer, the step and the time.
  EXPECT_THAT(status_seen.toStdString(),
              ::testing::MatchesRegex("network, host '127\\.0\\.0\\.144': sending 0 of 300000 "
                                      "bytes, [3-9] s"));
  EXPECT_EQ(box_text.toStdString(), LoadString(kIdsUpgradeCancelled));
  // The job was gone before the note came up, within a second of the click.
  ASSERT_GE(gone_before_box_ms, 0);
  EXPECT_LT(gone_before_box_ms - clicked_ms, 1000);
}

}  // namespace
}  // namespace tavi
