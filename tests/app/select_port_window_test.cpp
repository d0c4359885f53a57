// The Select Port window: controls mirror the settings, clicks reach the rules, OK writes back and
// Cancel keeps everything, Restart asks a virtual printer's SNMP agent on loopback.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "core/connection/printer_connection.h"
#include "core/resources/strings.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/main_dialog.h"
#include "frontends/qt/select_port_dialog.h"
#include "frontends/qt/wire_operations.h"
#include "qt_env.h"
#include "support/doubles.h"
#include "ui_script.h"

namespace tavi {
namespace {

using test::WhenModalShown;

PortSettings Settings(std::int32_t port, std::vector<std::string> hosts, std::int32_t sel,
                      std::int32_t machine_type) {
  PortSettings s;
  s.port = port;
  s.hosts = std::move(hosts);
  s.host_sel = sel;
  s.machine_type = machine_type;
  return s;
}

QComboBox* Combo(const QWidget& w) {
  return FindControlAs<QComboBox>(w, kIdHostCombo);
}

QStringList Entries(const QWidget& w) {
  QStringList out;
  for (int i = 0; i < Combo(w)->count(); ++i) out << Combo(w)->itemText(i);
  return out;
}

// The marked button of the ids, in order: -1 for none, -2 for more than one.
int Marked(const QWidget& w, std::initializer_list<int> ids) {
  int marked = -1;
  int index = 0;
  for (int id : ids) {
    if (FindControlAs<QRadioButton>(w, id)->isChecked()) marked = marked == -1 ? index : -2;
    ++index;
  }
  return marked;
}

bool HostControlsEnabled(const QWidget& w) {
  return FindControl(w, kIdHostCombo)->isEnabled() && FindControl(w, kIdDeleteHost)->isEnabled() &&
         FindControl(w, kIdRestart)->isEnabled();
}
bool HostControlsDisabled(const QWidget& w) {
  return !FindControl(w, kIdHostCombo)->isEnabled() &&
         !FindControl(w, kIdDeleteHost)->isEnabled() && !FindControl(w, kIdRestart)->isEnabled();
}

void Click(const QWidget& w, int id) {
  test::ClickControl(w, id);
}

class SelectPortWindowTest : public ::testing::Test {
 protected:
  test::RecordingMessages messages_;
  test::FakeClock clock_;
};

TEST_F(SelectPortWindowTest, ControlsMirrorTheSettingsInScreenOrder) {
  SelectPortDialog window(
      Settings(kPortNetwork, {"127.0.106.31", "127.0.106.40", "127.0.106.52"}, 1, kMachineType2),
      messages_, clock_);
  EXPECT_EQ(window.windowTitle(), QString("Select Port"));
  EXPECT_EQ(Marked(window, {kIdPortParallel, kIdPortNetwork, kIdPortUsb}), 1);
  EXPECT_EQ(Marked(window, {kIdType1, kIdType2}), 1);
  EXPECT_EQ(Entries(window), (QStringList{"127.0.106.31", "127.0.106.40", "127.0.106.52"}));
  EXPECT_EQ(Combo(window)->currentText(), QString("127.0.106.40"));
  EXPECT_TRUE(Combo(window)->isEditable());
  EXPECT_EQ(Combo(window)->height(), Combo(window)->sizeHint().height());
  EXPECT_TRUE(HostControlsEnabled(window));
  // Tab moves through the tab stops in on-screen order; each radio group is one stop, at its
  // marked button.
  QStringList chain;
  QWidget* w = &window;
  for (int i = 0; i < 40; ++i) {
    w = w->nextInFocusChain();
    if (w == &window) break;
    if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty() &&
        w->parentWidget() == &window) {
      chain << w->objectName();
    }
  }
  // The chain is a ring; read it from the topmost stop. Find... (1010), our addition to the
  // template, sits on the row of "via Parallel Port", right of it: after the port group, which
  // is one run wherever its marked button stands.
  const qsizetype top = chain.indexOf("1017");
  ASSERT_GE(top, 0) << chain.join(',').toStdString();
  chain = chain.mid(top) + chain.first(top);
  EXPECT_EQ(chain, (QStringList{"1017", "1005", "1010", "1006", "1007", "1008", "1018", "1", "2"}));
  test::SaveScreenshot(window, "select-port");
}

TEST_F(SelectPortWindowTest, UnknownValuesLeaveBothGroupsUnmarkedAndOkKeepsPortStoresMinusOne) {
  PortSettings settings = Settings(5, {"a"}, 0, 2);
  WhenModalShown([](QWidget* modal) {
    EXPECT_EQ(Marked(*modal, {kIdPortParallel, kIdPortNetwork, kIdPortUsb}), -1);
    EXPECT_EQ(Marked(*modal, {kIdType1, kIdType2}), -1);
    EXPECT_TRUE(HostControlsEnabled(*modal));
    Click(*modal, kIdOk);
  });
  EXPECT_TRUE(RunSelectPort(settings, messages_, clock_, 0, nullptr));
  EXPECT_EQ(settings.port, 5);
  EXPECT_EQ(settings.machine_type, -1);
  EXPECT_EQ(settings.hosts, std::vector<std::string>{"a"});
}

TEST_F(SelectPortWindowTest, PortClicksApplyTheEnableRuleAndOkReadsTheMarks) {
  PortSettings settings = Settings(kPortNetwork, {"a"}, 0, kMachineType2);
  WhenModalShown([](QWidget* modal) {
    Click(*modal, kIdPortParallel);
    EXPECT_TRUE(HostControlsDisabled(*modal));
    EXPECT_EQ(Marked(*modal, {kIdPortParallel, kIdPortNetwork, kIdPortUsb}), 0);
    Click(*modal, kIdPortNetwork);
    EXPECT_TRUE(HostControlsEnabled(*modal));
    Click(*modal, kIdPortUsb);
    EXPECT_TRUE(HostControlsDisabled(*modal));
    EXPECT_TRUE(FindControl(*modal, kIdPortParallel)->isEnabled());
    Click(*modal, kIdType1);
    EXPECT_EQ(Marked(*modal, {kIdType1, kIdType2}), 0);
    Click(*modal, kIdOk);
  });
  EXPECT_TRUE(RunSelectPort(settings, messages_, clock_, 0, nullptr));
  EXPECT_EQ(settings.port, kPortUsb);
  EXPECT_EQ(settings.machine_type, kMachineType1);
}

TEST_F(SelectPortWindowTest, DeleteHostAndATypedNameReachTheSettingsOnlyThroughOk) {
  const PortSettings original = Settings(kPortNetwork, {"a", "b", "c"}, 1, kMachineType2);
  for (bool ok : {false, true}) {
    PortSettings settings = original;
    WhenModalShown([ok](QWidget* modal) {
      Click(*modal, kIdDeleteHost);
      EXPECT_EQ(Entries(*modal), (QStringList{"a", "c"}));
      EXPECT_EQ(Combo(*modal)->currentText(), QString("c"));
      QLineEdit* edit = Combo(*modal)->lineEdit();
      edit->selectAll();
      QTest::keyClicks(edit, "x");
      Click(*modal, ok ? kIdOk : kIdCancel);
    });
    EXPECT_EQ(RunSelectPort(settings, messages_, clock_, 0, nullptr), ok);
    if (ok) {
      EXPECT_EQ(settings.hosts, (std::vector<std::string>{"x", "a", "c"}));
      EXPECT_EQ(settings.host_sel, 0);
    } else {
      EXPECT_EQ(settings.hosts, original.hosts);
      EXPECT_EQ(settings.host_sel, 1);
    }
  }
}

TEST_F(SelectPortWindowTest, TheMainDialogsButtonChangesTheConnectionsSettings) {
  test::RecordingProgress progress;
  test::ScriptedFileChooser chooser;
  PrinterConnection connection(Settings(kPortNetwork, {"a"}, 0, kMachineType2), progress, messages_,
                               clock_, ChannelFactory{});
  MainDialog dialog(connection, chooser, WireOperations());
  bool buttons_disabled = false;
  ASSERT_TRUE(test::ShowOnScreen(dialog));
  WhenModalShown([&](QWidget* modal) {
    ASSERT_NE(qobject_cast<SelectPortDialog*>(modal), nullptr);
    buttons_disabled = !FindControl(dialog, kIdGetReport)->isEnabled();
    Click(*modal, kIdPortParallel);
    Click(*modal, kIdType1);
    Click(*modal, kIdOk);
  });
  Click(dialog, kIdSelectPort);
  EXPECT_TRUE(buttons_disabled);
  EXPECT_EQ(connection.settings().port, kPortParallel);
  EXPECT_EQ(connection.FamilyNumber(), 1);
  EXPECT_TRUE(FindControl(dialog, kIdGetReport)->isEnabled());
}

TEST_F(SelectPortWindowTest, RestartAsksTheHostInTheComboBoxAndTheWindowStaysOpen) {
  sim::VirtualPrinterConfig config;
  config.address = "127.0.0.66";
  config.lpd = false;
  sim::VirtualPrinter printer(config);
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;

  SelectPortDialog window(Settings(kPortNetwork, {"127.0.0.66"}, 0, kMachineType2), messages_,
                          clock_, printer.snmp_port());
  bool open_after_first = false;
  bool open_after_second = false;
  WhenModalShown([&](QWidget* modal) {
    Click(*modal, kIdRestart);
    open_after_first = QApplication::activeModalWidget() == modal;
    // A typed name the resolver refuses without asking anyone.
    QLineEdit* edit = Combo(*modal)->lineEdit();
    edit->selectAll();
    QTest::keyClicks(edit, "no..such.host");
    Click(*modal, kIdRestart);
    open_after_second = QApplication::activeModalWidget() == modal;
    Click(*modal, kIdCancel);
  });
  window.exec();
  printer.Stop();
  EXPECT_TRUE(open_after_first);
  EXPECT_TRUE(open_after_second);
  EXPECT_EQ(printer.model().Restarts(), 1);
  // The whole wait ran after the accepted request: 24 steps of 250 ms.
  EXPECT_EQ(clock_.sleeps, std::vector<int>(24, 250));
  EXPECT_EQ(messages_.Ids(), std::vector<int>{kIdsFailedToConnect});
}

}  // namespace
}  // namespace tavi
