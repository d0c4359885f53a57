// tavi-cli against a virtual printer on the network: each test starts its own printer on its
// own loopback address and stops it at the end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli_runner.h"
#include "core/resources/strings.h"
#include "frontends/printer_sim/virtual_printer.h"

namespace tavi {
namespace {

using test::CliRun;
using test::Quote;
using test::RunCli;
using test::TempDir;

constexpr const char* kSpacedRank = "7BZ3E3CVXUWVUQQ 2100Y012VTTR 40UWJB";
constexpr const char* kCompactRank = "abcdefg1234567$%*+-.:ABCDE9876543";

class CliPrinter : public ::testing::Test {
 protected:
  void Start(const char* address, sim::SnmpFaults snmp = {}, sim::LpdFaults lpd = {}) {
    sim::VirtualPrinterConfig config;
    config.address = address;
    config.options.snmp = snmp;
    config.options.lpd = lpd;
    printer_ = std::make_unique<sim::VirtualPrinter>(config);
    std::string error;
    ASSERT_TRUE(printer_->Start(error)) << error;
    test::WriteAll(dir_ / "empty.ini", "");
    // An empty profile: nothing of this machine's stored settings leaks in.
    common_ = "-q --settings " + Quote(dir_ / "empty.ini") + " --port network --host " + address +
              " --lpd-port " + std::to_string(printer_->lpd_port()) + " --snmp-port " +
              std::to_string(printer_->snmp_port()) + " ";
  }
  void TearDown() override {
    if (printer_) printer_->Stop();
  }
  CliRun Cli(const std::string& args, double interrupt_after = 0) {
    return RunCli(dir_, common_ + args, interrupt_after);
  }
  sim::PrinterModel& model() { return printer_->model(); }

  TempDir dir_;
  std::unique_ptr<sim::VirtualPrinter> printer_;
  std::string common_;
};

TEST_F(CliPrinter, ReportGoesToStdoutAndToAFileByteForByte) {
  Start("127.0.0.90");
  // The report counts the commands taken, so the text to expect is the one after each run.
  const CliRun to_stdout = Cli("report");
  EXPECT_EQ(to_stdout.status, 0) << to_stdout.err;
  EXPECT_EQ(to_stdout.out, model().ReportText());
  EXPECT_GT(to_stdout.out.size(), 1000u);
  EXPECT_EQ(to_stdout.err, "");

  const CliRun dash = Cli("report -o -");
  EXPECT_EQ(dash.status, 0) << dash.err;
  EXPECT_EQ(dash.out, model().ReportText());
  EXPECT_FALSE(std::filesystem::exists("-"));

  const CliRun to_file = Cli("report -o " + Quote(dir_ / "report.txt"));
  EXPECT_EQ(to_file.status, 0) << to_file.err;
  EXPECT_EQ(to_file.out, "");
  EXPECT_EQ(test::ReadAll(dir_ / "report.txt"), model().ReportText());
  EXPECT_NE(test::ReadAll(dir_ / "report.txt"), to_stdout.out);

  // Folders and a file named in other scripts, as a person names them: the very bytes arrive
  // under exactly that name (not under the name's bytes read in some code page).
  for (const char* folder : {"Donn\xC3\xA9\x65s",
                             "\xD0\x97\xD0\xB0\xD0\xB3\xD1\x80\xD1\x83\xD0\xB7"
                             "\xD0\xBA\xD0\xB8"}) {
    const std::filesystem::path where = dir_.path() / std::filesystem::u8path(folder);
    std::filesystem::create_directories(where);
    const std::string name = "caf\xC3\xA9 \xD0\xBE\xD1\x82\xD1\x87\xD1\x91\xD1\x82.txt";
    const CliRun into = Cli("report -o " + Quote(dir_ / (std::string(folder) + "/" + name)));
    EXPECT_EQ(into.status, 0) << folder << ": " << into.err;
    EXPECT_EQ(into.err, "");
    EXPECT_EQ(test::ReadAll(where / std::filesystem::u8path(name)), model().ReportText()) << folder;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(where)) {
      names.push_back(entry.path().filename().string());
    }
    EXPECT_THAT(names, ::testing::ElementsAre(name)) << folder;
  }
  EXPECT_EQ(model().ClosingZeros(), 5);
}

TEST_F(CliPrinter, ParametersBackedUpRestoreTheVeryBlockAndAnEncodedBlockReplacesIt) {
  Start("127.0.0.91");
  const std::string original = model().Params();
  ASSERT_FALSE(original.empty());

  const CliRun get = Cli("get-params " + Quote(dir_ / "backup.prm"));
  ASSERT_EQ(get.status, 0) << get.err;
  EXPECT_EQ(get.out, "");

  // The backup decodes offline to exactly the printer's block.
  const CliRun decode = RunCli(
      dir_, "params decode " + Quote(dir_ / "backup.prm") + " -o " + Quote(dir_ / "block.bin"));
  ASSERT_EQ(decode.status, 0) << decode.err;
  EXPECT_EQ(decode.out, std::to_string(original.size()) + "\n");
  EXPECT_EQ(test::ReadAll(dir_ / "block.bin"), original);

  // Another block, encoded offline, replaces the printer's ...
  std::string other = original;
  for (char& c : other) c = static_cast<char>(c ^ 0x5A);
  test::WriteAll(dir_ / "other.bin", other);
  ASSERT_EQ(
      RunCli(dir_, "params encode " + Quote(dir_ / "other.bin") + " " + Quote(dir_ / "other.prm"))
          .status,
      0);
  const CliRun put_other = Cli("put-params " + Quote(dir_ / "other.prm"));
  EXPECT_EQ(put_other.status, 0) << put_other.err;
  EXPECT_EQ(put_other.out, "Done.\n");
  EXPECT_EQ(model().Params(), other);

  // ... and the backup brings the original back.
  const CliRun put = Cli("put-params " + Quote(dir_ / "backup.prm"));
  EXPECT_EQ(put.status, 0) << put.err;
  EXPECT_EQ(put.out, "Done.\n");
  EXPECT_EQ(model().Params(), original);
}

TEST_F(CliPrinter, HeadRankSpacedCompactFromAFileAndIllegal) {
  Start("127.0.0.92");
  const CliRun spaced = Cli(std::string("set-head-rank 1 ") + Quote(kSpacedRank));
  EXPECT_EQ(spaced.status, 0) << spaced.err;
  EXPECT_EQ(spaced.out, "Done.\n");
  const CliRun compact = Cli(std::string("set-head-rank 8 ") + kCompactRank);
  EXPECT_EQ(compact.status, 0) << compact.err;

  test::WriteAll(dir_ / "rank.txt", std::string("# head 3\n\n  ") + kSpacedRank + "\r\n");
  const CliRun from_file = Cli("set-head-rank 3 --file " + Quote(dir_ / "rank.txt"));
  EXPECT_EQ(from_file.status, 0) << from_file.err;

  const auto ranks = model().HeadRanks();
  EXPECT_EQ(ranks.size(), 3u);
  EXPECT_EQ(ranks.at(0), kSpacedRank);
  EXPECT_EQ(ranks.at(7), "abcdefg1234567$ %*+-.:ABCDE9 876543");
  EXPECT_EQ(ranks.at(2), kSpacedRank);

  // Nothing reaches the printer for an illegal rank or a file without a rank line.
  const std::size_t sessions = model().log().Count("session-started");
  const CliRun illegal = Cli("set-head-rank 2 abcdefg1234567_ABCDEFG1234567ABCD");
  EXPECT_EQ(illegal.status, 2);
  EXPECT_EQ(illegal.err, "Illegal Head Rank File.\n");
  test::WriteAll(dir_ / "comments.txt", "# nothing here\n\n");
  const CliRun no_line = Cli("set-head-rank 2 --file " + Quote(dir_ / "comments.txt"));
  EXPECT_EQ(no_line.status, 2);
  EXPECT_NE(no_line.err.find("no head rank line"), std::string::npos) << no_line.err;
  EXPECT_EQ(model().log().Count("session-started"), sessions);
  EXPECT_EQ(model().HeadRanks().size(), 3u);
}

TEST_F(CliPrinter, FirmwareOfAQuarterMegabyteArrivesWhole) {
  Start("127.0.0.93");
  std::string image(250000, '\0');
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>((i * 131) >> 3);
  test::WriteAll(dir_ / "fw.bin", image);
  const CliRun run = Cli("firmware " + Quote(dir_ / "fw.bin"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Done.\n");
  EXPECT_EQ(model().FirmwareSize(), 250000);
  // The digest of the file as the system's own tool computes it.
  ASSERT_EQ(std::system(
                ("sha256sum " + Quote(dir_ / "fw.bin") + " | cut -c1-64 >" + Quote(dir_ / "fw.sha"))
                    .c_str()),
            0);
  EXPECT_EQ(model().FirmwareSha256() + "\n", test::ReadAll(dir_ / "fw.sha"));
}

TEST_F(CliPrinter, HandEditedPortKindFailsEveryOperationInsteadOfClaimingSuccess) {
  test::WriteAll(dir_ / "port5.ini", "[Port]\r\nPort=5\r\n");
  test::WriteAll(dir_ / "fw.bin", "image");
  for (const std::string& command : {"firmware " + Quote(dir_ / "fw.bin"), std::string("report")}) {
    const CliRun run = RunCli(dir_, "--settings " + Quote(dir_ / "port5.ini") + " " + command);
    EXPECT_EQ(run.status, 1) << command;
    EXPECT_EQ(run.out, "") << command;
    EXPECT_THAT(run.err, ::testing::HasSubstr("Failed to open port.")) << command;
    EXPECT_THAT(run.err, ::testing::HasSubstr("port kind in the settings is 5")) << command;
  }
}

TEST_F(CliPrinter, TimeoutAgainstASilentAgentSaysTimedOutAndWhatWasWaiting) {
  sim::SnmpFaults silent;
  silent.silent = true;
  Start("127.0.0.94", silent);
  const CliRun run = Cli("--timeout 0.5 report");
  EXPECT_EQ(run.status, 3);
  // The wait that was cut first, then the read inside it.
  EXPECT_THAT(run.err, ::testing::StartsWith("Timed out.\n  details: no reply header (REPORT:) "
                                             "from network, host '127.0.0.94'"));
  EXPECT_THAT(run.err,
              ::testing::ContainsRegex("no answer from 127\\.0\\.0\\.94 port [0-9]+ "
                                       "\\(SNMP\\) within [0-9]+ ms\\. A wrong SNMP community "
                                       "gives exactly this silence\\.\n$"));
  EXPECT_EQ(run.out, "");
}

TEST_F(CliPrinter, SigintDuringTheReportWaitEndsItQuietly) {
  sim::SnmpFaults silent;
  silent.silent = true;
  Start("127.0.0.95", silent);
  const CliRun run = Cli("report", /*interrupt_after=*/0.6);
  EXPECT_EQ(run.status, 130);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, "");
  // The command went out before the wait; no closing zero byte follows a cancel.
  EXPECT_EQ(model().log().Count("command"), 1u);
  EXPECT_EQ(model().ClosingZeros(), 0);
}

// An input FIFO that nobody writes keeps no command waiting past --timeout or Ctrl-C, and the
// printer is never reached; a device is refused at once.
TEST_F(CliPrinter, FifoInputEndsByTimeoutAndByCtrlC) {
  if (test::CliIsWindows()) GTEST_SKIP() << "Windows has no FIFOs and no /dev/zero";
  Start("127.0.0.130");
  const std::string fifo = dir_ / "input.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto start = std::chrono::steady_clock::now();
  const CliRun timed = Cli("--timeout 0.5 put-params " + Quote(fifo));
  EXPECT_EQ(timed.status, 3);
  EXPECT_EQ(timed.err, "Timed out.\n");
  const CliRun rank = Cli("--timeout 0.3 set-head-rank 1 --file " + Quote(fifo));
  EXPECT_EQ(rank.status, 3);
  EXPECT_EQ(rank.err, "Timed out.\n");
  const CliRun interrupted = Cli("firmware " + Quote(fifo), /*interrupt_after=*/0.5);
  EXPECT_EQ(interrupted.status, 130);
  EXPECT_EQ(interrupted.err, "");
  EXPECT_EQ(interrupted.out, "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(model().log().Count("command"), 0u);

  const CliRun device = Cli("firmware /dev/zero");
  EXPECT_EQ(device.status, 2);
  EXPECT_EQ(device.err, "Could not open /dev/zero: Not a regular file (a character device).\n");
  EXPECT_EQ(model().log().Count("command"), 0u);
}

TEST_F(CliPrinter, DiscoverAsksTheAddressGivenAndListsThePrinterWithItsFamily) {
  Start("127.0.0.99");
  const CliRun run = Cli("discover 127.0.0.99");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("127.0.0.99\tType2\ttavi-printer-sim\t", 0), 0u) << run.out;
}

TEST_F(CliPrinter, RestartSetsTheRestartObjectAndPrintsNothing) {
  Start("127.0.0.96");
  const CliRun run = Cli("restart");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(model().Restarts(), 1);
}

// A firmware upgrade on a terminal, slowed by a printer that acknowledges late: the bar's line
// names the printer, the step and the time; Ctrl-C in the middle of the image ends the run with
// status 130, shows no failure, and says that the printer may hold part of an image.
TEST_F(CliPrinter, FirmwareBarNamesPrinterAndStepAndCtrlCLeavesOnlyTheNote) {
  sim::LpdFaults late;
  late.ack_delay_ms = 400;
  Start("127.0.0.146", {}, late);
  test::WriteAll(dir_ / "fw.bin", std::string(409600, 'F'));
  // The upload starts after the job, 3 console data files and the 3 s reset (about 6.1 s) and
  // takes 4 data files (about 3.2 s); Ctrl-C comes in between.
  std::string common = common_;
  common.replace(0, 3, "");  // without -q: the bar is drawn
  const std::string cli = test::CliCommand() + " " + common + "firmware " + Quote(dir_ / "fw.bin");
  const std::string inner = "stty cols 200; " + cli + " & p=$!; sleep 7.8; kill -INT $p; wait $p";
  const std::string script = "script -qec " + Quote(inner) + " /dev/null >" +
                             Quote(dir_ / "tty.out") + "; echo $? >" + Quote(dir_ / "tty.rc");
  ASSERT_EQ(std::system(("bash -c " + Quote(script)).c_str()), 0);
  const std::string out = test::ScreenLines(test::ReadAll(dir_ / "tty.out"));
  EXPECT_EQ(std::stoi(test::ReadAll(dir_ / "tty.rc")), 130) << out;
  EXPECT_THAT(out, ::testing::ContainsRegex("\\] [0-9]+% network, host '127\\.0\\.0\\.146': "
                                            "sending [0-9]+ of 409600 bytes, [5-9] s"));
  EXPECT_THAT(out, ::testing::HasSubstr("waiting for the printer to restart"));
  EXPECT_THAT(out, ::testing::HasSubstr(std::string(LoadString(kIdsUpgradeCancelled))));
  EXPECT_THAT(out, ::testing::Not(::testing::HasSubstr("Failed")));
  // The printer holds part of the image: the data files that came whole before the cut.
  for (int i = 0; i < 200 && model().FirmwareSize() < 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_GT(model().FirmwareSize(), 0);
  EXPECT_LT(model().FirmwareSize(), 409600);
}

}  // namespace
}  // namespace tavi
