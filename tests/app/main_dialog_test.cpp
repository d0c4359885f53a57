// The main dialog's wiring: title, command buttons around every operation, the hidden "all"
// check box, control positions, the About entry and system commands, and closing while busy.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <stdexcept>

#include "app/about_box.h"
#include "app/dialog_builder.h"
#include "app/get_report_dialog.h"
#include "app/main_dialog.h"
#include "connection/printer_connection.h"
#include "qt_env.h"
#include "support/doubles.h"

namespace tavi {
namespace {

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

TEST_F(MainDialogTest, StartsIdleWithVersionTitleAndEmptyDevelopmentLabel) {
  MainDialog& dialog = Make();
  EXPECT_EQ(dialog.windowTitle(), QString("Tavi 3.0"));
  EXPECT_EQ(dialog.version_text(), "3.0");
  EXPECT_TRUE(CommandsAre(true));
  EXPECT_TRUE(AllOptionOff());
  auto* label = FindControlAs<QLabel>(dialog, kIdDevelopmentLabel);
  ASSERT_NE(label, nullptr);
  EXPECT_TRUE(label->text().isEmpty());
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

  const std::vector<void (MainDialog::*)()> handlers = {
      &MainDialog::OnSelectPort,    &MainDialog::OnGetReport,   &MainDialog::OnGetParameters,
      &MainDialog::OnPutParameters, &MainDialog::OnSetHeadRank, &MainDialog::OnFirmwareUpgrade};
  for (bool outcome : {true, false}) {
    result = outcome;
    for (auto handler : handlers) {
      // Someone ticks the check box between operations; the next operation clears it.
      FindControlAs<QCheckBox>(dialog, kIdAllCheck)->setChecked(true);
      (dialog.*handler)();
      EXPECT_TRUE(CommandsAre(true));
      EXPECT_TRUE(AllOptionOff());
    }
  }
  throw_now = true;
  for (auto handler : handlers) {
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
  for (int id :
       {kIdSelectPort, kIdGetParameters, kIdPutParameters, kIdSetHeadRank, kIdFirmwareUpgrade}) {
    FindControlAs<QPushButton>(dialog, id)->click();
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

  // A failed fetch runs no modal window, so no event loop turns during the handler.
  bool timer_ran_during_call = false;
  bool in_call = true;
  QTimer::singleShot(0, [&] { timer_ran_during_call = in_call; });
  dialog.OnGetReport();
  in_call = false;
  QCoreApplication::processEvents();
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
    FindControlAs<QPushButton>(*window, kIdOk)->click();
  });
  dialog.OnGetReport();
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
  actions[1]->trigger();
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
    bool closed_during_operation = false;
    MainDialog::Operations ops;
    ops.get_parameters = [&](MainDialog& d) {
      if (way == 0) d.done(QDialog::Accepted);
      if (way == 1) d.reject();
      if (way == 2) d.close();
      closed_during_operation = d.isHidden();
      return true;
    };
    MainDialog& dialog = Make(ops);
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.OnGetParameters(); });
    const int result = dialog.exec();
    EXPECT_FALSE(closed_during_operation) << way;
    EXPECT_EQ(result, way == 0 ? QDialog::Accepted : QDialog::Rejected) << way;
    EXPECT_TRUE(dialog.isHidden()) << way;
  }
}

}  // namespace
}  // namespace tavi
