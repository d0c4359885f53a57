// The windows by keyboard alone, with key events through the window system while the modal loop
// runs: Tab walks the controls in on-screen order, Space and the arrow keys reach the radio
// groups, Return presses the focused push button.
#include <gtest/gtest.h>

#include <QTest>

#include "core/connection/printer_connection.h"
#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/main_dialog.h"
#include "frontends/qt/select_port_dialog.h"
#include "qt_env.h"
#include "support/doubles.h"
#include "ui_script.h"

namespace tavi {
namespace {

using test::PressKey;
using test::UiScript;

QString Focused() {
  QWidget* focus = QApplication::focusWidget();
  if (focus == nullptr) return "none";
  // An editable combo box's line edit stands for the combo box.
  if (focus->objectName().isEmpty() && focus->parentWidget() != nullptr) {
    focus = focus->parentWidget();
  }
  return focus->objectName();
}

// Presses Tab `n` times and lists where the focus went.
QStringList TabThrough(int n) {
  QStringList seen;
  for (int i = 0; i < n; ++i) {
    PressKey(Qt::Key_Tab);
    seen << Focused();
  }
  return seen;
}

class KeyboardTest : public ::testing::Test {
 protected:
  test::RecordingProgress progress_;
  test::RecordingMessages messages_;
  test::FakeClock clock_;
  test::ScriptedFileChooser chooser_;
};

TEST_F(KeyboardTest, MainDialogTabsTopToBottomAndReturnPressesTheFocusedButton) {
  PrinterConnection connection(PortSettings{}, progress_, messages_, clock_, ChannelFactory{});
  std::vector<std::string> ran;
  MainDialog::Operations ops;
  ops.get_parameters = [&](MainDialog&) { return ran.push_back("get"), true; };
  ops.firmware_upgrade = [&](MainDialog&) { return ran.push_back("firmware"), true; };
  MainDialog dialog(connection, chooser_, ops);

  QStringList order;
  UiScript script;
  script.Then(
      "main dialog active", [&] { return QApplication::activeModalWidget() == &dialog; },
      [&] {
        FindControl(dialog, kIdSelectPort)->setFocus();
        // On screen, Firmware Upgrade sits above Exit although the template lists it after.
        order = TabThrough(7);
        // Tab to Get Parameters and press Return: its operation runs, and the keyboard is
        // back on it afterwards.
        TabThrough(2);
        PressKey(Qt::Key_Return);
        EXPECT_EQ(Focused(), QString::number(kIdGetParameters));
        // Space presses the focused button too.
        TabThrough(3);
        PressKey(Qt::Key_Space);
        // Return on Exit ends the run.
        TabThrough(1);
        PressKey(Qt::Key_Return);
      });
  script.Start();
  dialog.exec();
  EXPECT_TRUE(script.finished()) << script.waiting_for();
  EXPECT_EQ(order, (QStringList{"1001", "1002", "1003", "1004", "1005", "1", "1000"}));
  EXPECT_EQ(ran, (std::vector<std::string>{"get", "firmware"}));
  EXPECT_TRUE(dialog.isHidden());
}

TEST_F(KeyboardTest, SelectPortTabsInScreenOrderAndTheFamilyIsChosenByKeyboard) {
  PortSettings settings;
  settings.port = kPortNetwork;
  settings.hosts = {"a", "b"};
  settings.machine_type = kMachineType2;
  SelectPortDialog window(settings, messages_, clock_);

  QStringList order;
  UiScript script;
  script.Then(
      "Select Port active", [&] { return QApplication::activeModalWidget() == &window; },
      [&] {
        FindControl(window, kIdOk)->setFocus();
        order = TabThrough(10);
        // Tab reaches each radio group at its marked button; the arrow keys choose.
        FindControl(window, kIdCancel)->setFocus();
        PressKey(Qt::Key_Tab);
        EXPECT_EQ(Focused(), QString::number(kIdType2));
        PressKey(Qt::Key_Up);
        EXPECT_EQ(Focused(), QString::number(kIdType1));
        // The family, then the port group: its radio buttons are one stop, whichever is marked.
        TabThrough(1);
        EXPECT_EQ(Focused(), QString::number(kIdPortNetwork));
        PressKey(Qt::Key_Up);
        EXPECT_EQ(Focused(), QString::number(kIdPortParallel));
        // Parallel port: the host controls go grey and Tab passes over them to OK.
        EXPECT_FALSE(FindControl(window, kIdHostCombo)->isEnabled());
        EXPECT_EQ(TabThrough(2), (QStringList{"1010", "1"}));
        PressKey(Qt::Key_Return);
      });
  script.Start();
  EXPECT_EQ(window.exec(), QDialog::Accepted);
  EXPECT_TRUE(script.finished()) << script.waiting_for();
  // On screen: the family, the port group, "Find..." beside its first button, the host row
  // left to right, the community below it, then OK and Cancel.
  EXPECT_EQ(order,
            (QStringList{"2", "1017", "1005", "1010", "1006", "1007", "1008", "1018", "1", "2"}));
  PortSettings result = settings;
  window.rules().ApplyTo(result);
  EXPECT_EQ(result.machine_type, kMachineType1);
  EXPECT_EQ(result.port, kPortParallel);
}

}  // namespace
}  // namespace tavi
