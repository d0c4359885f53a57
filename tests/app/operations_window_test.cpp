// Every button of the main dialog driven against a virtual printer on loopback, through the real
// windows, the real progress window and clock, with the file dialogs answered by a script.
#include <gtest/gtest.h>

#include <QComboBox>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "core/connection/default_channels.h"
#include "core/connection/printer_connection.h"
#include "core/journal/sha256.h"
#include "core/resources/strings.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/get_report_dialog.h"
#include "frontends/qt/main_dialog.h"
#include "frontends/qt/pumping_clock.h"
#include "frontends/qt/qt_progress_dialog.h"
#include "frontends/qt/set_head_rank_dialog.h"
#include "frontends/qt/wire_operations.h"
#include "qt_env.h"
#include "support/doubles.h"
#include "ui_script.h"

namespace tavi {
namespace {

namespace fs = std::filesystem;
using test::ClickControl;
using test::WhenModalShown;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Closes every modal window that opens while it lives, and counts them.
class ModalWatcher {
 public:
  ModalWatcher() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        ++seen;
        modal->close();
      }
    });
    timer_.start(20);
  }
  int seen = 0;

 private:
  QTimer timer_;
};

class OperationsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tavi-ops-" + std::to_string(QCoreApplication::applicationPid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    dialog_.reset();
    connection_.reset();
    if (printer_) printer_->Stop();
    fs::remove_all(dir_);
  }

  // Starts the virtual printer on `address` and builds the main dialog on a connection to it.
  bool Start(const std::string& address, sim::SimOptions options = {}) {
    sim::VirtualPrinterConfig config;
    config.address = address;
    config.options = std::move(options);
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
    if (!test::ShowOnScreen(*dialog_)) {
      ADD_FAILURE() << "the main dialog is not on screen";
      return false;
    }
    return true;
  }

  void Click(int id) { ClickControl(*dialog_, id); }

  bool CommandsEnabled() const {
    for (int id : kCommandButtonIds) {
      QWidget* button = FindControl(*dialog_, id);
      if (button == nullptr || !button->isEnabled()) return false;
    }
    return true;
  }

  sim::PrinterModel& model() { return printer_->model(); }

  // What each write of the last job became on the wire.
  std::vector<std::string> LastJobWrites() {
    const auto writes = model().Writes();
    std::vector<std::string> out;
    if (writes.empty()) return out;
    for (const auto& w : writes) {
      if (w.session == writes.back().session) out.push_back(w.bytes);
    }
    return out;
  }

  fs::path dir_;
  test::RecordingMessages messages_;
  test::ScriptedFileChooser chooser_;
  QtProgressDialog progress_;
  PumpingClock clock_;
  std::unique_ptr<sim::VirtualPrinter> printer_;
  std::unique_ptr<PrinterConnection> connection_;
  std::unique_ptr<MainDialog> dialog_;
};

TEST_F(OperationsWindowTest, GetReportShowsTheReportAndSaveWritesItByteForByte) {
  ASSERT_TRUE(Start("127.0.0.60"));
  const fs::path saved = dir_ / "report.txt";
  chooser_.save_answers = {saved.string()};
  std::string shown;
  bool disabled_meanwhile = false;
  WhenModalShown([&](QWidget* modal) {
    auto* window = qobject_cast<GetReportDialog*>(modal);
    ASSERT_NE(window, nullptr);
    shown = window->report_text();
    disabled_meanwhile = !FindControl(*dialog_, kIdGetReport)->isEnabled();
    ClickControl(*window, kIdReportSave);
    ClickControl(*window, kIdOk);
  });
  Click(kIdGetReport);
  const std::string report = model().ReportText();
  ASSERT_FALSE(report.empty());
  EXPECT_EQ(shown, report);
  EXPECT_EQ(ReadAll(saved), report);
  EXPECT_TRUE(disabled_meanwhile);
  EXPECT_TRUE(CommandsEnabled());
  EXPECT_TRUE(messages_.shown.empty());
  EXPECT_EQ(model().ClosingZeros(), 1);
}

TEST_F(OperationsWindowTest, SavedParameterFileRestoresTheVeryBlockAndACorruptOneSendsNothing) {
  ASSERT_TRUE(Start("127.0.0.61"));
  const std::string block = model().Params();
  const fs::path file = dir_ / "params.bin";
  chooser_.save_answers = {file.string()};
  Click(kIdGetParameters);
  EXPECT_TRUE(messages_.shown.empty());  // a successful backup ends silently
  const std::string saved = ReadAll(file);
  ASSERT_FALSE(saved.empty());

  chooser_.open_answers = {file.string()};
  Click(kIdPutParameters);
  EXPECT_EQ(messages_.Ids(), std::vector<int>{kIdsDone});
  std::string image = block;
  unsigned char sum = 1;
  for (char c : block) sum = static_cast<unsigned char>(sum + static_cast<unsigned char>(c));
  image.push_back(static_cast<char>(sum));
  const auto job = LastJobWrites();
  ASSERT_GE(job.size(), 3u);
  EXPECT_EQ(job[1], "PUT PARAM");  // the hidden "all" option never selects PUT ALL PARAM
  EXPECT_EQ(job[2], image);
  EXPECT_EQ(model().Params(), block);

  // One byte changed in the middle of the file, and a file of one byte.
  std::string corrupt = saved;
  corrupt[corrupt.size() / 2] = static_cast<char>(corrupt[corrupt.size() / 2] ^ 0x5A);
  WriteAll(dir_ / "corrupt.bin", corrupt);
  WriteAll(dir_ / "short.bin", "x");
  const std::size_t writes_before = model().Writes().size();
  messages_.shown.clear();
  chooser_.open_answers = {(dir_ / "corrupt.bin").string(), (dir_ / "short.bin").string()};
  Click(kIdPutParameters);
  Click(kIdPutParameters);
  EXPECT_EQ(messages_.Ids(),
            (std::vector<int>{kIdsIllegalParameterFile, kIdsIllegalParameterFile}));
  EXPECT_EQ(model().Writes().size(), writes_before);
  EXPECT_TRUE(CommandsEnabled());
}

TEST_F(OperationsWindowTest, SetHeadRankSendsTheChosenHeadWithTheDefaultCode) {
  ASSERT_TRUE(Start("127.0.0.62"));
  WhenModalShown([](QWidget* modal) {
    auto* window = qobject_cast<SetHeadRankDialog*>(modal);
    ASSERT_NE(window, nullptr);
    // The head list has the keyboard when the window opens; typing a number picks that head.
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QApplication::focusWidget() == FindControl(*window, kIdHeadNumber); }));
    test::PressKey(Qt::Key_3);
    ASSERT_EQ(FindControlAs<QComboBox>(*window, kIdHeadNumber)->currentIndex(), 2);
    ClickControl(*window, kIdOk);
  });
  Click(kIdSetHeadRank);
  const auto ranks = model().HeadRanks();
  ASSERT_EQ(ranks.size(), 1u);
  ASSERT_EQ(ranks.count(2), 1u);
  EXPECT_EQ(ranks.at(2), "7BZ3E3CVXUWVUQQ 2100Y012VTTR 40UWJB");
  // The console frame: length, the head rank text, check byte.
  EXPECT_EQ(LastJobWrites().back().size(), 95u);
  EXPECT_EQ(messages_.Ids(), std::vector<int>{kIdsDone});
  EXPECT_TRUE(CommandsEnabled());
}

TEST_F(OperationsWindowTest, FirmwareUpgradeSendsTheWholeImage) {
  ASSERT_TRUE(Start("127.0.0.63"));
  std::string firmware(150001, '\0');
  for (std::size_t i = 0; i < firmware.size(); ++i) firmware[i] = static_cast<char>(i * 7 + 3);
  WriteAll(dir_ / "firmware.bin", firmware);
  Sha256 hash;
  hash.Update(std::as_bytes(std::span(firmware.data(), firmware.size())));
  const std::string expected_hash = hash.FinishHex();

  chooser_.open_answers = {(dir_ / "firmware.bin").string()};
  Click(kIdFirmwareUpgrade);
  // The printer counts the image when it sees the job end, a moment after the close.
  for (int i = 0; i < 200 && model().FirmwareSize() < 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(model().FirmwareSize(), 150001);
  EXPECT_EQ(model().FirmwareSha256(), expected_hash);
  EXPECT_EQ(messages_.Ids(), std::vector<int>{kIdsDone});
  EXPECT_TRUE(CommandsEnabled());
}

TEST_F(OperationsWindowTest, CancelDuringAReportEndsWithoutClosingZeroOrWindow) {
  sim::SimOptions options;
  options.no_header = true;
  ASSERT_TRUE(Start("127.0.0.64", options));
  test::UiScript script;
  script.Then("progress window waiting for the header", test::ProgressShownFor(300), [this] {
    ASSERT_EQ(test::VisibleProgress(), &progress_);
    ClickControl(progress_, kIdCancel);
  });
  ModalWatcher watcher;
  const auto start = std::chrono::steady_clock::now();
  script.Start();
  Click(kIdGetReport);
  EXPECT_TRUE(script.finished()) << script.waiting_for();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_TRUE(progress_.IsCancelled());
  EXPECT_FALSE(progress_.isVisible());
  EXPECT_EQ(model().ClosingZeros(), 0);
  EXPECT_EQ(watcher.seen, 0);
  EXPECT_TRUE(CommandsEnabled());
  // A cancelled read is silent, also when Cancel broke off the network call itself.
  EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(OperationsWindowTest, CancelledDialogsSendAndShowNothing) {
  ASSERT_TRUE(Start("127.0.0.65"));
  WhenModalShown([](QWidget* modal) {
    ASSERT_NE(qobject_cast<SetHeadRankDialog*>(modal), nullptr);
    ClickControl(*modal, kIdCancel);
  });
  Click(kIdSetHeadRank);
  EXPECT_TRUE(model().Writes().empty());

  ModalWatcher watcher;
  chooser_.open_answers = {"", ""};
  Click(kIdPutParameters);
  Click(kIdFirmwareUpgrade);
  EXPECT_EQ(chooser_.open_asked, 2);
  EXPECT_TRUE(model().Writes().empty());

  // Get Parameters reads the printer first; a cancelled save discards the block.
  chooser_.save_answers = {""};
  Click(kIdGetParameters);
  EXPECT_EQ(chooser_.save_asked, 1);
  EXPECT_FALSE(model().Writes().empty());
  EXPECT_TRUE(fs::is_empty(dir_));
  EXPECT_TRUE(messages_.shown.empty());
  EXPECT_EQ(watcher.seen, 0);
  EXPECT_TRUE(CommandsEnabled());
}

}  // namespace
}  // namespace tavi
