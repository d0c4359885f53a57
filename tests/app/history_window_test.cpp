// The service journal as the window keeps it: Get Parameters clicked against a virtual printer
// appends its record, and the main dialog's context menu opens the history, which lists it and
// saves it as CSV, every step with real input events while the main dialog runs modally.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/connection/default_channels.h"
#include "core/connection/printer_connection.h"
#include "core/journal/journal.h"
#include "core/journal/sha256.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/history_dialog.h"
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
using test::ClickAt;
using test::ClickControl;
using test::UiScript;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

TEST(HistoryWindow, AnOperationsRecordIsListedFromTheContextMenuAndSavedAsCsv) {
  const fs::path dir =
      fs::temp_directory_path() /
      ("tavi-history-window-" + std::to_string(QCoreApplication::applicationPid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path backup = dir / "backup.prm";
  const fs::path csv = dir / "history.csv";

  sim::VirtualPrinterConfig config;
  config.address = "127.0.105.70";
  sim::VirtualPrinter printer(config);
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;

  test::RecordingMessages messages;
  test::ScriptedFileChooser chooser;
  chooser.save_answers = {backup.string(), csv.string()};
  QtProgressDialog progress;
  PumpingClock clock;
  PortSettings settings;
  settings.port = kPortNetwork;
  settings.hosts = {config.address};
  settings.machine_type = printer.model().Options().family - 1;
  PrinterConnection connection(settings, progress, messages, clock,
                               DefaultChannelFactory({printer.lpd_port(), printer.snmp_port()}));
  int warnings = 0;
  Journal journal((dir / "state").string(), kJournalBoundBytes,
                  [&](const std::string&) { ++warnings; });
  MainDialog dialog(connection, chooser, WireOperations(printer.snmp_port()));
  dialog.set_journal(&journal);

  QStringList listed;
  UiScript script;
  script
      .Then(
          "the main dialog", [&] { return dialog.isVisible(); },
          [&] { ClickControl(dialog, kIdGetParameters); })
      .Then(
          "the backup written, the dialog idle again",
          [&] {
            return fs::exists(backup) && QApplication::activeModalWidget() == &dialog &&
                   FindControl(dialog, kIdGetParameters)->isEnabled();
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
              if (action->text() == Q(kHistoryMenuText)) {
                ClickAt(*menu, menu->actionGeometry(action).center());
              }
            }
          })
      .Then(
          "the history window",
          [&] {
            return qobject_cast<HistoryDialog*>(QApplication::activeModalWidget()) != nullptr;
          },
          [&] {
            auto* window = qobject_cast<HistoryDialog*>(QApplication::activeModalWidget());
            for (int i = 0; i < window->list().count(); ++i) {
              listed.push_back(window->list().item(i)->text());
              EXPECT_FALSE(window->list().item(i)->flags() & Qt::ItemIsEditable);
            }
            EXPECT_EQ(window->save_button().text(), Q(kSaveCsvText));
            ClickAt(window->save_button(), window->save_button().rect().center());
          })
      .Then(
          "the CSV saved", [&] { return fs::exists(csv); },
          [&] {
            auto* window = qobject_cast<HistoryDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(window, nullptr);
            auto* close = window->findChild<QPushButton*>("close");
            ASSERT_NE(close, nullptr);
            ClickAt(*close, close->rect().center());
          })
      .Then(
          "the main dialog again", [&] { return QApplication::activeModalWidget() == &dialog; },
          [&] { ClickControl(dialog, kIdOk); });
  script.Start();
  dialog.exec();
  EXPECT_TRUE(script.finished()) << script.waiting_for();
  printer.Stop();

  // One record, of the operation that ran, with the file it wrote.
  const std::vector<JournalRecord> records = journal.ReadAll();
  ASSERT_EQ(records.size(), 1u);
  const JournalRecord& record = records[0];
  EXPECT_EQ(record.program, "tavi");
  EXPECT_EQ(record.operation, "get-params");
  EXPECT_EQ(record.outcome, "success");
  EXPECT_EQ(record.port, "network");
  EXPECT_EQ(record.host, "127.0.105.70");
  EXPECT_EQ(record.family, printer.model().Options().family);
  ASSERT_EQ(record.files.size(), 1u);
  EXPECT_EQ(record.files[0].path, backup.string());
  EXPECT_EQ(record.files[0].role, "written");
  const std::string saved = ReadAll(backup);
  EXPECT_EQ(record.files[0].size, static_cast<std::int64_t>(saved.size()));
  EXPECT_EQ(record.files[0].sha256, Sha256Hex(std::as_bytes(std::span(saved))));
  EXPECT_EQ(warnings, 0);

  // The window listed it, and its CSV holds the header and the record.
  ASSERT_EQ(listed.size(), 1) << listed.join('\n').toStdString();
  EXPECT_TRUE(listed[0].contains("get-params")) << listed[0].toStdString();
  EXPECT_TRUE(listed[0].contains("127.0.105.70")) << listed[0].toStdString();
  EXPECT_TRUE(listed[0].contains(Q(record.time))) << listed[0].toStdString();
  EXPECT_EQ(ReadAll(csv), JournalCsv(records));
  EXPECT_TRUE(ReadAll(csv).starts_with("time,program,version,user,port,host,family,operation"));
  EXPECT_NE(ReadAll(csv).find(backup.string()), std::string::npos);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tavi
