// "Save Trace..." as a technician reaches it: the main dialog runs under exec(), Get Report is
// clicked, the failure message's "Save Trace..." button is clicked, then the main dialog's
// context menu entry is chosen with the mouse; both files hold the failed operation's trace.
// Select Port's Restart leaves its whole trace the same way.
#include <gtest/gtest.h>

#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/connection/default_channels.h"
#include "core/connection/printer_connection.h"
#include "core/resources/strings.h"
#include "core/settings/port_settings.h"
#include "core/trace/trace_sinks.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/main_dialog.h"
#include "frontends/qt/qt_messages.h"
#include "frontends/qt/select_port_dialog.h"
#include "frontends/qt/wire_operations.h"
#include "qt_env.h"
#include "support/doubles.h"
#include "ui_script.h"

namespace tavi {
namespace {

using test::ClickAt;
using test::ClickControl;
using test::UiScript;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(TraceWindow, FailureMessageAndContextMenuSaveTheLastOperationsTrace) {
  const QString dir = QDir::tempPath() + "/tavi-trace-window-" +
                      QString::number(QCoreApplication::applicationPid());
  std::filesystem::create_directories(dir.toStdString());
  const std::string from_message = (dir + "/from-message.txt").toStdString();
  const std::string from_menu = (dir + "/from-menu.txt").toStdString();

  test::RecordingProgress progress;
  QtMessages messages;
  test::FakeClock clock;
  test::ScriptedFileChooser chooser;
  chooser.save_answers = {from_message, from_menu};
  PortSettings settings;
  settings.port = kPortNetwork;
  settings.hosts = {"127.0.0.197"};  // nothing listens there
  PrinterConnection connection(settings, progress, messages, clock,
                               DefaultChannelFactory({5515, 5161}));
  TraceMemory memory;
  MainDialog dialog(connection, chooser, WireOperations());
  dialog.set_trace_memory(&memory);
  messages.OfferTrace([&] { return !memory.empty(); }, [&] { dialog.SaveTrace(); });

  QMessageBox* seen_box = nullptr;
  QString box_details;
  QStringList menu_texts;
  QString about_caption;
  QString version_line;
  UiScript script;
  script
      .Then(
          "the main dialog", [&] { return dialog.isVisible(); },
          [&] { ClickControl(dialog, kIdGetReport); })
      .Then(
          "the failure message",
          [&] {
            seen_box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            return seen_box != nullptr;
          },
          [&] {
            box_details = seen_box->detailedText();
            for (QAbstractButton* button : seen_box->buttons()) {
              if (button->text() == QString::fromUtf8(kSaveTraceText.data())) {
                ClickAt(*button, button->rect().center());
              }
            }
          })
      .Then(
          "the trace saved from the message, the dialog idle again",
          [&] {
            return std::filesystem::exists(from_message) &&
                   QApplication::activeModalWidget() == &dialog;
          },
          [&] {
            QTest::mouseClick(dialog.windowHandle(), Qt::RightButton, Qt::NoModifier,
                              QPoint(20, 20));
          })
      .Then(
          "the context menu",
          [&] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; },
          [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            for (QAction* action : menu->actions()) {
              menu_texts.push_back(action->text());
              if (action->text() == QString::fromUtf8(kSaveTraceText.data())) {
                EXPECT_TRUE(action->isEnabled());
                ClickAt(*menu, menu->actionGeometry(action).center());
              }
            }
          })
      .Then(
          "the trace saved from the menu", [&] { return std::filesystem::exists(from_menu); },
          [&] {
            QTest::mouseClick(dialog.windowHandle(), Qt::RightButton, Qt::NoModifier,
                              QPoint(20, 20));
          })
      .Then(
          "the context menu again",
          [&] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; },
          [&] {
            // The About entry, rebuilt when the trace was attached, after an operation ran.
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            for (QAction* action : menu->actions()) {
              if (action->text() == QString::fromUtf8(LoadString(kIdsAboutMenu).data())) {
                ClickAt(*menu, menu->actionGeometry(action).center());
              }
            }
          })
      .Then(
          "the About box", [&] { return QApplication::activeModalWidget() != &dialog; },
          [&] {
            QWidget* about = QApplication::activeModalWidget();
            about_caption = about->windowTitle();
            if (auto* line = FindControlAs<QLabel>(*about, kIdVersionText)) {
              version_line = line->text();
            }
            ClickControl(*about, kIdOk);
          })
      .Then(
          "the main dialog after About",
          [&] { return QApplication::activeModalWidget() == &dialog; },
          [&] { ClickControl(dialog, kIdOk); });
  script.Start();
  dialog.exec();
  EXPECT_TRUE(script.finished()) << script.waiting_for();

  // The menu offers About under its own words, and the box it opens shows the version.
  EXPECT_TRUE(menu_texts.contains(QString::fromUtf8(LoadString(kIdsAboutMenu).data())))
      << menu_texts.join('|').toStdString();
  EXPECT_EQ(about_caption, QString("Version of Tavi"));
  EXPECT_EQ(version_line, QString("3.0"));
  const std::string refused = "connect to 127.0.0.197 port 5515 (LPD): Connection refused";
  EXPECT_EQ(box_details.toStdString(), refused);
  const std::string first = ReadAll(from_message);
  const std::string second = ReadAll(from_menu);
  test::ExpectInOrder(first,
                      {"run   Tavi ", "Get Report", "conn  open: network, host '127.0.0.197'",
                       "lpd   connect to 127.0.0.197 port 5515 (LPD)", "lpd   failed: " + refused,
                       "msg   message 104 \"Failed to connect.\""});
  // The menu's copy is the whole operation: the same start, then its end.
  EXPECT_TRUE(second.starts_with(first)) << second;
  test::ExpectInOrder(second, {"conn  close", "end   outcome: "});
  std::filesystem::remove_all(dir.toStdString());
}

// Restart from Select Port, then "Save Trace..." from the main dialog's context menu: the trace
// holds the whole restart, as tavi-cli's does: the host, the request and its answer, the wait
// and how it ended.
TEST(TraceWindow, RestartsTraceHoldsTheHostTheRequestTheAnswerAndTheWait) {
  constexpr std::uint16_t kSnmpPort = 22141;
  sim::VirtualPrinterConfig config;
  config.address = "127.0.0.141";
  config.snmp_port = kSnmpPort;
  config.lpd = false;
  sim::VirtualPrinter agent(config);
  std::string error;
  ASSERT_TRUE(agent.Start(error)) << error;
  const std::string path = (QDir::tempPath() + "/tavi-restart-trace-" +
                            QString::number(QCoreApplication::applicationPid()) + ".txt")
                               .toStdString();

  test::RecordingProgress progress;
  test::RecordingMessages messages;
  test::FakeClock clock;  // the six-second wait in virtual time
  test::ScriptedFileChooser chooser;
  chooser.save_answers = {path};
  PortSettings settings;
  settings.port = kPortNetwork;
  settings.hosts = {"127.0.0.141"};
  PrinterConnection connection(settings, progress, messages, clock, DefaultChannelFactory({}));
  TraceMemory memory;
  MainDialog dialog(connection, chooser, WireOperations(kSnmpPort));
  dialog.set_trace_memory(&memory);

  SelectPortDialog* port = nullptr;
  UiScript script;
  script
      .Then(
          "the main dialog", [&] { return QApplication::activeModalWidget() == &dialog; },
          [&] { ClickControl(dialog, kIdSelectPort); })
      .Then(
          "Select Port",
          [&] {
            port = qobject_cast<SelectPortDialog*>(QApplication::activeModalWidget());
            return port != nullptr;
          },
          [&] { ClickControl(*port, kIdRestart); })
      .Then(
          "the restart over",
          [&] {
            return agent.model().Restarts() == 1 && test::VisibleProgress() == nullptr &&
                   QApplication::activeModalWidget() == port;
          },
          [&] { ClickControl(*port, kIdOk); })
      .Then(
          "the main dialog idle", [&] { return QApplication::activeModalWidget() == &dialog; },
          [&] {
            QTest::mouseClick(dialog.windowHandle(), Qt::RightButton, Qt::NoModifier,
                              QPoint(20, 20));
          })
      .Then(
          "the context menu",
          [&] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; },
          [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            for (QAction* action : menu->actions()) {
              if (action->text() == QString::fromUtf8(kSaveTraceText.data())) {
                ClickAt(*menu, menu->actionGeometry(action).center());
              }
            }
          })
      .Then(
          "the trace saved", [&] { return std::filesystem::exists(path); },
          [&] { ClickControl(dialog, kIdOk); });
  script.Start();
  dialog.exec();
  agent.Stop();
  EXPECT_TRUE(script.finished()) << script.waiting_for();
  EXPECT_TRUE(messages.shown.empty());
  const std::string trace = ReadAll(path);
  std::filesystem::remove(path);
  const std::string where = "127.0.0.141 port " + std::to_string(kSnmpPort) + " (SNMP)";
  test::ExpectInOrder(trace,
                      {"run   Tavi ", "Select Port", "snmp  restart the printer at '127.0.0.141'",
                       "snmp  request to " + where, "snmp  response after ",
                       "snmp  the printer accepted the restart request", "wait  250 ms",
                       "snmp  restart: the whole wait ran", "end   outcome: "});
}

}  // namespace
}  // namespace tavi
