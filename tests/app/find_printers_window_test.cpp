// Find... in the Select Port window, pressed with real mouse events while the window runs
// modally: discovery asks virtual printers on loopback, the technician picks one in the list,
// and it enters the host list at the front, selected; Cancel in the progress window ends the
// sweep without a list.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "core/discovery/discover.h"
#include "core/discovery/targets.h"
#include "core/resources/constants.h"
#include "e2e/e2e_support.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/found_printers_dialog.h"
#include "frontends/qt/qt_progress_dialog.h"
#include "frontends/qt/select_port_dialog.h"
#include "qt_env.h"
#include "support/doubles.h"
#include "ui_script.h"

namespace tavi {
namespace {

constexpr std::uint16_t kPort = 16119;

std::uint32_t Addr(const char* text) {
  std::uint32_t a = 0;
  EXPECT_TRUE(discovery::ParseDottedQuad(text, a));
  return a;
}

// Every 10 ms until `done` says so (or 10 s pass), calls `step`.
void Poll(std::function<bool()> step) {
  // Owned by the application, so a poll that a test leaves unfinished is still freed.
  auto* timer = new QTimer(QCoreApplication::instance());
  auto ticks = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, ticks, step] {
    if (step() || ++*ticks > 1000) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start(10);
}

void Press(QWidget* button) {
  ASSERT_NE(button, nullptr);
  test::ClickAt(*button, button->rect().center());
}

QStringList Entries(const QWidget& w) {
  auto* combo = FindControlAs<QComboBox>(w, kIdHostCombo);
  QStringList out;
  for (int i = 0; i < combo->count(); ++i) out << combo->itemText(i);
  return out;
}

PortSettings Settings() {
  PortSettings s;
  s.port = kPortParallel;
  s.hosts = {"a", "b"};
  s.host_sel = 1;
  s.machine_type = kMachineType1;
  return s;
}

TEST(FindPrintersWindow, PickedPrinterEntersTheHostListAtTheFrontSelected) {
  sim::SimOptions named;
  named.sys_name = "found-235";
  auto family = test::StartSnmpPrinter("127.0.0.235", kPort, named);
  sim::SimOptions other;
  other.sys_object_id = ".1.3.6.1.4.1.99999.4";
  auto stranger = test::StartSnmpPrinter("127.0.0.236", kPort, other);

  test::RecordingMessages messages;
  test::FakeClock clock;
  SelectPortDialog window(Settings(), messages, clock, kPort);
  window.SetDiscoveryRequest({{Addr("127.0.0.235"), Addr("127.0.0.236")}, kPort, 0});

  QStringList listed;
  QStringList after_pick;
  QString current_after_pick;
  bool network_marked = false;
  bool type2_marked = false;
  // The list, once it runs: read it, click the first line, then OK.
  Poll([&] {
    auto* pick = qobject_cast<FoundPrintersDialog*>(QApplication::activeModalWidget());
    if (pick == nullptr) return false;
    for (int i = 0; i < pick->list()->count(); ++i) listed << pick->list()->item(i)->text();
    if (pick->list()->count() > 0) {
      QListWidget* list = pick->list();
      test::ClickAt(*list->viewport(), list->visualItemRect(list->item(0)).center());
    }
    Press(pick->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok));
    return true;
  });
  // In the window: press Find...; when it is done, look at the host list and press OK.
  QTimer::singleShot(0, [&] {
    Press(FindControl(window, kIdFind));
    after_pick = Entries(window);
    current_after_pick = FindControlAs<QComboBox>(window, kIdHostCombo)->currentText();
    network_marked = FindControlAs<QAbstractButton>(window, kIdPortNetwork)->isChecked();
    type2_marked = FindControlAs<QAbstractButton>(window, kIdType2)->isChecked();
    Press(FindControl(window, kIdOk));
  });
  ASSERT_EQ(window.exec(), QDialog::Accepted);

  // Type1 was chosen; the printer picked is a Type2 and says so: its family is taken.
  EXPECT_TRUE(type2_marked);
  EXPECT_EQ(window.rules().machine_type_value(), kMachineType2);
  ASSERT_EQ(listed.size(), 1) << listed.join("|").toStdString();
  EXPECT_TRUE(listed[0].startsWith("127.0.0.235")) << listed[0].toStdString();
  EXPECT_TRUE(listed[0].contains("found-235"));
  EXPECT_EQ(after_pick, (QStringList{"127.0.0.235", "a", "b"}));
  EXPECT_EQ(current_after_pick, QString("127.0.0.235"));
  EXPECT_TRUE(network_marked);
  EXPECT_EQ(window.rules().hosts(), (std::vector<std::string>{"127.0.0.235", "a", "b"}));
  EXPECT_EQ(window.rules().selected_index(), 0);
  EXPECT_EQ(window.rules().port_value(), kPortNetwork);
  EXPECT_TRUE(messages.shown.empty());
}

TEST(FindPrintersWindow, APrinterThatDoesNotTellItsFamilyKeepsTheChoiceAndSaysSo) {
  sim::SimOptions untold;
  untold.sys_object_id = std::string(kFamilyEnterpriseOid) + ".9.9";
  auto printer = test::StartSnmpPrinter("127.0.0.239", kPort, untold);

  test::RecordingMessages messages;
  test::FakeClock clock;
  SelectPortDialog window(Settings(), messages, clock, kPort);
  window.SetDiscoveryRequest({{Addr("127.0.0.239")}, kPort, 0});

  QString said;
  bool picked = false;
  Poll([&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* pick = qobject_cast<FoundPrintersDialog*>(modal); pick != nullptr && !picked) {
      picked = true;
      Press(pick->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok));
      return false;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      said = box->text();
      Press(box->buttons().value(0));
      return true;
    }
    return false;
  });
  QString host_after;
  QTimer::singleShot(0, [&] {
    Press(FindControl(window, kIdFind));
    host_after = FindControlAs<QComboBox>(window, kIdHostCombo)->currentText();
    Press(FindControl(window, kIdOk));
  });
  ASSERT_EQ(window.exec(), QDialog::Accepted);
  EXPECT_EQ(host_after, QString("127.0.0.239"));
  EXPECT_EQ(said.toStdString(), discovery::kTextFamilyUnknown);
  EXPECT_EQ(window.rules().machine_type_value(), kMachineType1);
}

TEST(FindPrintersWindow, CancelInTheProgressWindowEndsTheSweepWithoutAList) {
  test::RecordingMessages messages;
  test::FakeClock clock;
  SelectPortDialog window(Settings(), messages, clock, kPort);
  // Nobody answers here: the sweep would run its full course.
  window.SetDiscoveryRequest({{Addr("127.0.0.237"), Addr("127.0.0.238")}, kPort, 0});

  bool pressed_cancel = false;
  bool list_shown = false;
  Poll([&] {
    if (qobject_cast<FoundPrintersDialog*>(QApplication::activeModalWidget()) != nullptr) {
      list_shown = true;
      QApplication::activeModalWidget()->close();
      return true;
    }
    if (pressed_cancel) return false;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* progress = qobject_cast<QtProgressDialog*>(w);
      if (progress != nullptr && progress->isVisible()) {
        Press(FindControl(*progress, kIdCancel));
        pressed_cancel = true;
      }
    }
    return false;
  });
  qint64 find_ms = -1;
  QTimer::singleShot(0, [&] {
    QElapsedTimer timer;
    timer.start();
    Press(FindControl(window, kIdFind));
    find_ms = timer.elapsed();
    Press(FindControl(window, kIdCancel));
  });
  EXPECT_EQ(window.exec(), QDialog::Rejected);
  EXPECT_TRUE(pressed_cancel);
  EXPECT_FALSE(list_shown);
  EXPECT_EQ(Entries(window), (QStringList{"a", "b"}));
  EXPECT_FALSE(window.rules().accepted());
  // Ended by Cancel, well before the sweep's own end (three sends, then 2 s of quiet).
  EXPECT_LT(find_ms, 2000);
}

}  // namespace
}  // namespace tavi
