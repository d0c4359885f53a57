// The main dialog's wiring: title, command buttons around every operation, the hidden "all"
// check box, control positions, the About entry and system commands, and closing while busy.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <stdexcept>

#include "core/connection/printer_connection.h"
#include "frontends/qt/about_box.h"
#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/get_report_dialog.h"
#include "frontends/qt/main_dialog.h"
#include "qt_env.h"
#include "support/doubles.h"
#include "ui_script.h"

namespace tavi {
namespace {

using test::ClickControl;
using test::UiScript;
using test::WhenModalShown;

class MainDialogTest : public ::testing::Test {
 protected:
  MainDialog& Make(MainDialog::Operations ops = {}) {
    dialog_ = std::make_unique<MainDialog>(connection_, chooser_, std::move(ops));
    return *dialog_;
  }
  // True when every command button has the state `enabled`.
  bool CommandsAre(bool enabled) const {
    for (int id : kCommandButtonIds) {
      QWidget* button = FindControl(*dialog_, id);
      if (button == nullptr || button->isEnabled() != enabled) return false;
    }
    return true;
  }
  // The "all" check box is disabled, hidden and clear, and the all option is 0.
  bool AllOptionOff() const {
    auto* all = FindControlAs<QCheckBox>(*dialog_, kIdAllCheck);
    return all != nullptr && !all->isEnabled() && all->isHidden() && !all->isChecked() &&
           dialog_->all_option() == 0;
  }

  test::RecordingProgress progress_;
  test::RecordingMessages messages_;
  test::FakeClock clock_;
  test::ScriptedFileChooser chooser_;
  PrinterConnection connection_{PortSettings{}, progress_, messages_, clock_, ChannelFactory{}};
  std::unique_ptr<MainDialog> dialog_;
};

TEST_F(MainDialogTest, StartsIdleWithVersionTitleAndNamesThePrinterUntilSelectPortChangesIt) {
  MainDialog::Operations ops;
  ops.select_port = [](MainDialog& d) {
    PortSettings& settings = d.connection().settings();
    settings.port = kPortNetwork;
    settings.hosts = {"127.0.0.5", "127.0.0.6"};
    settings.host_sel = 1;
    settings.machine_type = kMachineType1;
    return true;
  };
  MainDialog& dialog = Make(ops);
  EXPECT_EQ(dialog.windowTitle(), QString("Tavi 3.0"));
  EXPECT_EQ(dialog.version_text(), "3.0");
  EXPECT_TRUE(CommandsAre(true));
  EXPECT_TRUE(AllOptionOff());
  auto* label = FindControlAs<QLabel>(dialog, kIdDevelopmentLabel);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), QString("Parallel, Type2"));
  EXPECT_EQ(label->toolTip(), QString("Printer: parallel port, Type2"));
  ASSERT_TRUE(test::ShowOnScreen(dialog));
  ClickControl(dialog, kIdSelectPort);
  EXPECT_EQ(label->text(), QString("127.0.0.6, Type1"));
  EXPECT_EQ(label->toolTip(), QString("Printer: network, host 127.0.0.6, Type1"));
  // No minimise or maximise box.
  EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(MainDialogTest, ControlsSitAtTheirConvertedPositions) {
  MainDialog& dialog = Make();
  const BaseUnits base = BaseUnitsOf(dialog.font());
  ASSERT_GT(base.x, 0);
  ASSERT_GT(base.y, 0);
  // Exit (1) at 7,128 87x15 and Firmware Upgrade (1005) at 7,110 87x15.
  auto* exit = FindControlAs<QPushButton>(dialog, kIdOk);
  ASSERT_NE(exit, nullptr);
  EXPECT_EQ(exit->text(), QString("Exit"));
  EXPECT_EQ(exit->geometry(),
            QRect(7 * base.x / 4, 128 * base.y / 8, 87 * base.x / 4, 15 * base.y / 8));
  auto* firmware = FindControlAs<QPushButton>(dialog, kIdFirmwareUpgrade);
  ASSERT_NE(firmware, nullptr);
  EXPECT_EQ(firmware->text(), QString("Firmware Upgrade"));
  EXPECT_EQ(firmware->geometry().topLeft(), QPoint(7 * base.x / 4, 110 * base.y / 8));
  EXPECT_EQ(dialog.size(), QSize(101 * base.x / 4, 147 * base.y / 8));
}

TEST_F(MainDialogTest, EveryHandlerDisablesThenReenablesOnSuccessFailureAndThrow) {
  int calls = 0;
  bool result = true;
  bool busy_state_ok = true;
  bool throw_now = false;
  auto body = [&](MainDialog&) {
    ++calls;
    busy_state_ok = busy_state_ok && CommandsAre(false) && AllOptionOff();
    if (throw_now) throw std::runtime_error("operation failed");
    return result;
  };
  MainDialog::Operations ops;
  ops.select_port = body;
  ops.get_parameters = body;
  ops.put_parameters = [&](MainDialog& d, bool all) {
    EXPECT_FALSE(all);  // the main dialog always hands over the all option as off
    return body(d);
  };
  ops.set_head_rank = body;
  ops.firmware_upgrade = body;
  ops.get_report = [&](MainDialog& d, std::string&) { return body(d) && false; };
  MainDialog& dialog = Make(ops);
  ASSERT_TRUE(test::ShowOnScreen(dialog));

  const std::vector<std::pair<int, void (MainDialog::*)()>> buttons = {
      {kIdSelectPort, &MainDialog::OnSelectPort},
      {kIdGetReport, &MainDialog::OnGetReport},
      {kIdGetParameters, &MainDialog::OnGetParameters},
      {kIdPutParameters, &MainDialog::OnPutParameters},
      {kIdSetHeadRank, &MainDialog::OnSetHeadRank},
      {kIdFirmwareUpgrade, &MainDialog::OnFirmwareUpgrade}};
  for (bool outcome : {true, false}) {
    result = outcome;
    for (const auto& [id, handler] : buttons) {
      // The program ticks the hidden check box between operations; the next operation clears it.
      FindControlAs<QCheckBox>(dialog, kIdAllCheck)->setChecked(true);
      ClickControl(dialog, id);
      EXPECT_TRUE(CommandsAre(true));
      EXPECT_TRUE(AllOptionOff());
    }
  }
  // An exception cannot travel through the delivery of an input event, so the handlers are
  // called as the button's signal calls them.
  throw_now = true;
  for (const auto& [id, handler] : buttons) {
    EXPECT_THROW((dialog.*handler)(), std::runtime_error);
    EXPECT_TRUE(CommandsAre(true));
    EXPECT_TRUE(AllOptionOff());
  }
  EXPECT_EQ(calls, 3 * 6);
  EXPECT_TRUE(busy_state_ok);
}

TEST_F(MainDialogTest, ClickingAButtonRunsItsOwnOperation) {
  std::vector<std::string> ran;
  MainDialog::Operations ops;
  ops.select_port = [&](MainDialog&) { return ran.push_back("select"), true; };
  ops.get_parameters = [&](MainDialog&) { return ran.push_back("get"), true; };
  ops.put_parameters = [&](MainDialog&, bool) { return ran.push_back("put"), true; };
  ops.set_head_rank = [&](MainDialog&) { return ran.push_back("rank"), true; };
  ops.firmware_upgrade = [&](MainDialog&) { return ran.push_back("firmware"), true; };
  MainDialog& dialog = Make(ops);
  ASSERT_TRUE(test::ShowOnScreen(dialog));
  for (int id :
       {kIdSelectPort, kIdGetParameters, kIdPutParameters, kIdSetHeadRank, kIdFirmwareUpgrade}) {
    ClickControl(dialog, id);
  }
  EXPECT_EQ(ran, (std::vector<std::string>{"select", "get", "put", "rank", "firmware"}));
}

TEST_F(MainDialogTest, GetReportShowsTheWindowOnlyWhenTheReportArrived) {
  bool succeed = false;
  MainDialog::Operations ops;
  ops.get_report = [&](MainDialog&, std::string& report) {
    report = "HEAD 1 OK\r\n";
    return succeed;
  };
  MainDialog& dialog = Make(ops);
  ASSERT_TRUE(test::ShowOnScreen(dialog));

  // A failed fetch runs no modal window, so no event loop turns from the press of the button to
  // the end of the dialog's handler (connected before the lambda below that ends the call).
  bool timer_ran_during_call = false;
  bool in_call = false;
  auto* button = FindControlAs<QPushButton>(dialog, kIdGetReport);
  QObject::connect(button, &QPushButton::pressed, [&] { in_call = true; });
  QObject::connect(button, &QPushButton::clicked, [&] { in_call = false; });
  bool timer_ran = false;
  QTimer::singleShot(0, [&] {
    timer_ran = true;
    timer_ran_during_call = in_call;
  });
  ClickControl(dialog, kIdGetReport);
  QCoreApplication::processEvents();
  EXPECT_TRUE(timer_ran);
  EXPECT_FALSE(timer_ran_during_call);

  succeed = true;
  QString shown;
  bool buttons_disabled_meanwhile = false;
  WhenModalShown([&](QWidget* modal) {
    auto* window = qobject_cast<GetReportDialog*>(modal);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->report_text(), "HEAD 1 OK\r\n");
    shown = FindControlAs<QPlainTextEdit>(*window, kIdReportText)->toPlainText();
    buttons_disabled_meanwhile = CommandsAre(false);
    ClickControl(*window, kIdOk);
  });
  ClickControl(dialog, kIdGetReport);
  EXPECT_EQ(shown, QString("HEAD 1 OK\n"));
  EXPECT_TRUE(buttons_disabled_meanwhile);
  EXPECT_TRUE(CommandsAre(true));
}

TEST_F(MainDialogTest, AboutOpensFromTheContextMenuEntryWithTheVersionLine) {
  MainDialog& dialog = Make();
  const QList<QAction*> actions = dialog.context_menu().actions();
  ASSERT_EQ(actions.size(), 2);
  EXPECT_TRUE(actions[0]->isSeparator());
  EXPECT_EQ(actions[1]->text(), QString("Version of Tavi(&A)..."));

  QString caption;
  QString version_line;
  WhenModalShown([&](QWidget* modal) {
    caption = modal->windowTitle();
    if (auto* line = FindControlAs<QLabel>(*modal, kIdVersionText)) version_line = line->text();
  });
  // A right click beside the buttons opens the menu; a left click on the entry opens the box.
  ASSERT_TRUE(test::ShowOnScreen(dialog));
  QTest::mouseClick(dialog.windowHandle(), Qt::RightButton, Qt::NoModifier, QPoint(2, 2));
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_EQ(menu, &dialog.context_menu());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
  test::ClickAt(*menu, menu->actionGeometry(actions[1]).center());
  EXPECT_EQ(caption, QString("Version of Tavi"));
  EXPECT_EQ(version_line, QString("3.0"));
}

TEST_F(MainDialogTest, EmptyMenuTextAddsNoEntry) {
  MainDialog& dialog = Make();
  dialog.RebuildContextMenu("");
  EXPECT_TRUE(dialog.context_menu().actions().isEmpty());
}

TEST_F(MainDialogTest, SystemCommandsIgnoreTheLowFourBits) {
  MainDialog& dialog = Make();
  for (unsigned id = 0x0010; id <= 0x001F; ++id) {
    bool about_seen = false;
    WhenModalShown([&](QWidget* modal) { about_seen = qobject_cast<AboutBox*>(modal) != nullptr; });
    EXPECT_TRUE(dialog.OnSysCommand(id)) << id;
    EXPECT_TRUE(about_seen) << id;
  }
  for (unsigned id : {0x0000u, 0x0020u, 0xF060u}) {
    bool timer_ran_during_call = false;
    bool in_call = true;
    QTimer::singleShot(0, [&] { timer_ran_during_call = in_call; });
    EXPECT_FALSE(dialog.OnSysCommand(id)) << id;
    in_call = false;
    QCoreApplication::processEvents();
    EXPECT_FALSE(timer_ran_during_call) << id;
  }
}

TEST_F(MainDialogTest, ExitEscapeAndCloseEndTheRunEvenWhenAskedWhileBusy) {
  for (int way = 0; way < 3; ++way) {
    bool running = false;
    bool asked = false;
    bool closed_during_operation = false;
    MainDialog::Operations ops;
    // The operation keeps the window alive, as a wait on the printer does, until the end has
    // been asked for.
    ops.get_parameters = [&](MainDialog& d) {
      running = true;
      EXPECT_TRUE(QTest::qWaitFor([&] { return asked; }, 5000)) << way;
      closed_during_operation = d.isHidden();
      running = false;
      return true;
    };
    MainDialog& dialog = Make(ops);
    UiScript script;
    script
        .Then(
            "main dialog running modally",
            [&] { return QApplication::activeModalWidget() == &dialog && dialog.isActiveWindow(); },
            [&] { ClickControl(dialog, kIdGetParameters); })
        .Then(
            "operation running", [&] { return running; },
            [&] {
              // Exit itself is disabled while busy; the program may still end the run.
              if (way == 0) dialog.done(QDialog::Accepted);
              if (way == 1) test::PressKey(Qt::Key_Escape);
              // The window system's close request, as the title bar's close box sends it.
              if (way == 2) dialog.windowHandle()->close();
              asked = true;
            });
    script.Start();
    // A run that does not end fails the test instead of hanging it.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
      ADD_FAILURE() << "the run did not end " << way;
      dialog.QDialog::done(-1);
    });
    guard.start(10000);
    const int result = dialog.exec();
    EXPECT_TRUE(script.finished()) << script.waiting_for() << " " << way;
    EXPECT_FALSE(closed_during_operation) << way;
    EXPECT_EQ(result, way == 0 ? QDialog::Accepted : QDialog::Rejected) << way;
    EXPECT_TRUE(dialog.isHidden()) << way;
  }
}

}  // namespace
}  // namespace tavi
