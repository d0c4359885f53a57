// A rank typed by hand in the Set Head Rank window, with the keyboard only after the mouse opened
// the window: Tab walks head number, the six rank fields in order and then the buttons, the
// fields take rank characters only, and what goes to the virtual printer on loopback is exactly
// what was typed. A rank that is not whole is refused before the printer is contacted.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <memory>
#include <ostream>
#include <string>

#include "core/connection/default_channels.h"
#include "core/connection/printer_connection.h"
#include "core/resources/strings.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/main_dialog.h"
#include "frontends/qt/pumping_clock.h"
#include "frontends/qt/qt_progress_dialog.h"
#include "frontends/qt/set_head_rank_dialog.h"
#include "frontends/qt/wire_operations.h"
#include "qt_env.h"
#include "support/doubles.h"
#include "ui_script.h"

// QStrings in a failure message as text.
void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace tavi {
namespace {

using test::PressKey;
using test::UiScript;

// Each character as its key on the keyboard, to the window that has the keyboard.
void TypeKeys(const QString& text) {
  for (const QChar c : text) {
    QWindow* focus = QGuiApplication::focusWindow();
    ASSERT_NE(focus, nullptr);
    const auto key = static_cast<Qt::Key>(c.toUpper().unicode());
    QTest::sendKeyEvent(QTest::Click, focus, key, QString(c), Qt::NoModifier);
  }
}

QString FocusedName() {
  QWidget* focus = QApplication::focusWidget();
  return focus == nullptr ? QString("none") : focus->objectName();
}

// The Set Head Rank window, open with the keyboard in its head list.
bool RankWindowReady() {
  auto* window = qobject_cast<SetHeadRankDialog*>(QApplication::activeModalWidget());
  return window != nullptr && QGuiApplication::focusWindow() == window->windowHandle() &&
         QApplication::focusWidget() == FindControl(*window, kIdHeadNumber);
}

class TypedRankWindowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    dialog_.reset();
    connection_.reset();
    if (printer_) printer_->Stop();
  }

  bool Start(const std::string& address) {
    sim::VirtualPrinterConfig config;
    config.address = address;
    printer_ = std::make_unique<sim::VirtualPrinter>(std::move(config));
    std::string error;
    if (!printer_->Start(error)) {
      ADD_FAILURE() << error;
      return false;
    }
    PortSettings settings;
    settings.port = kPortNetwork;
    settings.hosts = {address};
    settings.machine_type = printer_->model().Options().family - 1;
    connection_ = std::make_unique<PrinterConnection>(
        settings, progress_, messages_, clock_,
        DefaultChannelFactory({printer_->lpd_port(), printer_->snmp_port()}));
    dialog_ =
        std::make_unique<MainDialog>(*connection_, chooser_, WireOperations(printer_->snmp_port()));
    return test::ShowOnScreen(*dialog_);
  }

  // Clicks "Set Head Rank" with the mouse; in the window, picks head `head` by its key, types
  // the six texts with Tab before each, Tabs on to "Set" and presses Space there. Returns the
  // six fields as they stood when Set was pressed, joined by "|".
  QString TypeRank(Qt::Key head, const QStringList& typed) {
    QStringList shown;
    QString at_set;
    UiScript script;
    script.Then("Set Head Rank window with the keyboard", RankWindowReady, [&] {
      QWidget* window = QApplication::activeModalWidget();
      PressKey(head);
      for (const QString& text : typed) {
        PressKey(Qt::Key_Tab);
        TypeKeys(text);
      }
      for (int field = 0; field < 6; ++field) {
        shown << FindControlAs<QLineEdit>(*window, kIdRankField1 + field)->text();
      }
      PressKey(Qt::Key_Tab);  // "Reference..."
      PressKey(Qt::Key_Tab);
      at_set = FocusedName();
      PressKey(Qt::Key_Space);
    });
    script.Start();
    test::ClickControl(*dialog_, kIdSetHeadRank);
    EXPECT_TRUE(script.finished()) << script.waiting_for();
    EXPECT_EQ(at_set, QString::number(kIdOk)) << "Tab after the sixth field and Reference...";
    return shown.join('|');
  }

  bool CommandsEnabled() const {
    for (int id : kCommandButtonIds) {
      if (!FindControl(*dialog_, id)->isEnabled()) return false;
    }
    return true;
  }

  test::RecordingMessages messages_;
  test::ScriptedFileChooser chooser_;
  QtProgressDialog progress_;
  PumpingClock clock_;
  std::unique_ptr<sim::VirtualPrinter> printer_;
  std::unique_ptr<PrinterConnection> connection_;
  std::unique_ptr<MainDialog> dialog_;
};

TEST_F(TypedRankWindowTest, TabWalksTheSixFieldsInOrderAndThePrinterGetsExactlyTheTypedRank) {
  ASSERT_TRUE(Start("127.0.0.171"));
  const QStringList typed = {"AbC$%*+", "-.:0123", "z", "Yx9W8", "7v6U5t4", "S3r2Q1"};
  EXPECT_EQ(TypeRank(Qt::Key_2, typed), typed.join('|'));

  const std::string text =
      "HeadInfo_SetHeadRank 1 \"AbC$%*+-.:0123z Yx9W87v6U5t4 S3r2Q1\"\n"
      "NvMemMan_Sync\nTask_Delay 80\nrs\n";
  // The console frame: big-endian length, the text, then (sum of the bytes before + 1) mod 256.
  std::string frame = {static_cast<char>(text.size() >> 8), static_cast<char>(text.size())};
  frame += text;
  unsigned sum = 1;
  for (char c : frame) sum += static_cast<unsigned char>(c);
  frame.push_back(static_cast<char>(sum & 0xFF));

  const auto writes = printer_->model().Writes();
  ASSERT_EQ(writes.size(), 3u);  // the access-code line, PIPE MONITOR, the frame
  EXPECT_TRUE(writes[0].bytes.starts_with("OPEN CODE=")) << writes[0].bytes;
  EXPECT_EQ(writes[1].bytes, "PIPE MONITOR");
  EXPECT_EQ(writes[2].bytes, frame);
  const auto ranks = printer_->model().HeadRanks();
  ASSERT_EQ(ranks.count(1), 1u);
  EXPECT_EQ(ranks.at(1), "AbC$%*+-.:0123z Yx9W87v6U5t4 S3r2Q1");
  EXPECT_EQ(messages_.Ids(), std::vector<int>{kIdsDone});
  EXPECT_TRUE(CommandsEnabled());
}

TEST_F(TypedRankWindowTest, ForeignKeysAreNotTakenAndAShortRankIsRefusedBeforeThePrinter) {
  ASSERT_TRUE(Start("127.0.0.172"));
  // A quote, an underscore, a letter outside ASCII and a space go nowhere; what is left of the
  // first field is too short to send.
  const QStringList foreign = {"A\"B_\u00e9 x", "VXUWVUQ", "Q", "2100Y", "012VTTR", "40UWJB"};
  EXPECT_EQ(TypeRank(Qt::Key_1, foreign), "ABx|VXUWVUQ|Q|2100Y|012VTTR|40UWJB");
  // Legal characters, one field short.
  const QStringList short_field = {"7BZ3E3C", "VXUWVUQ", "Q", "2100", "012VTTR", "40UWJB"};
  EXPECT_EQ(TypeRank(Qt::Key_1, short_field), short_field.join('|'));

  EXPECT_EQ(messages_.Ids(), (std::vector<int>{kIdsIllegalHeadRankFile, kIdsIllegalHeadRankFile}));
  EXPECT_TRUE(printer_->model().Writes().empty());
  EXPECT_TRUE(printer_->model().HeadRanks().empty());
  EXPECT_FALSE(progress_.isVisible());
  EXPECT_TRUE(CommandsEnabled());
}

}  // namespace
}  // namespace tavi
