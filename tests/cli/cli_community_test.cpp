// tavi-cli against a virtual printer whose SNMP agent answers only the community "s3cret": every
// network operation works in it (from --community or from the settings file), none without it,
// and the community never shows in a trace.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "cli_runner.h"
#include "core/net/snmp_client.h"
#include "frontends/printer_sim/virtual_printer.h"

namespace tavi {
namespace {

using test::CliRun;
using test::Quote;
using test::RunCli;
using test::TempDir;

constexpr const char* kAddress = "127.0.103.1";
constexpr const char* kCommunity = "s3cret";
// "s3cret" as the trace's hex dump would show it.
constexpr const char* kCommunityHex = "73 33 63 72 65 74";

class CliCommunity : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::VirtualPrinterConfig config;
    config.address = kAddress;
    config.options.community = kCommunity;
    config.options.reply_delay_ms = 50;
    config.options.away_ms = 200;
    printer_ = std::make_unique<sim::VirtualPrinter>(config);
    std::string error;
    ASSERT_TRUE(printer_->Start(error)) << error;
    test::WriteAll(dir_ / "empty.ini", "");
    ports_ = " --lpd-port " + std::to_string(printer_->lpd_port()) + " --snmp-port " +
             std::to_string(printer_->snmp_port()) + " ";
    where_ = std::string(" --port network --host ") + kAddress + ports_;
  }
  void TearDown() override {
    if (printer_) printer_->Stop();
  }
  // With the empty settings file, so that only the command line names a community.
  CliRun Cli(const std::string& args) {
    return RunCli(dir_, "-q --settings " + Quote(dir_ / "empty.ini") + where_ + args);
  }

  TempDir dir_;
  std::unique_ptr<sim::VirtualPrinter> printer_;
  std::string ports_;
  std::string where_;
};

TEST_F(CliCommunity, EveryOperationWorksInTheCommunityAndTheTraceNeverShowsIt) {
  const std::string trace = dir_ / "trace.txt";
  const CliRun report = Cli(std::string("--community ") + kCommunity + " --trace " + Quote(trace) +
                            " report -o " + Quote(dir_ / "report.txt"));
  ASSERT_EQ(report.status, 0) << report.err;
  EXPECT_EQ(test::ReadAll(dir_ / "report.txt"), printer_->model().ReportText());

  const CliRun params =
      Cli(std::string("--community ") + kCommunity + " get-params " + Quote(dir_ / "backup.prm"));
  EXPECT_EQ(params.status, 0) << params.err;
  EXPECT_GT(std::filesystem::file_size(dir_ / "backup.prm"), 0u);

  // The stored community, without the option: the key "Community" of section "Port".
  test::WriteAll(dir_ / "stored.ini", std::string("[Port]\r\nCommunity=") + kCommunity + "\r\n");
  const CliRun stored = RunCli(dir_, "-q --settings " + Quote(dir_ / "stored.ini") + where_ +
                                         "report -o " + Quote(dir_ / "stored.txt"));
  EXPECT_EQ(stored.status, 0) << stored.err;
  EXPECT_EQ(test::ReadAll(dir_ / "stored.txt"), printer_->model().ReportText());

  // Across several hosts (here one) the fleet takes the community too.
  const CliRun fleet =
      RunCli(dir_, "-q --settings " + Quote(dir_ / "empty.ini") + " --community " + kCommunity +
                       " --hosts " + kAddress + ports_ + "get-params " +
                       Quote(dir_.path().string() + "/{host}.prm"));
  EXPECT_EQ(fleet.status, 0) << fleet.err;
  EXPECT_TRUE(test::ReadAll(dir_ / (std::string(kAddress) + ".prm")) ==
              test::ReadAll(dir_ / "backup.prm"));

  const CliRun restart = Cli(std::string("--community ") + kCommunity + " restart");
  EXPECT_EQ(restart.status, 0) << restart.err;
  EXPECT_EQ(printer_->model().Restarts(), 1);

  // The requests and answers are in the trace, their community masked.
  const std::string traced = test::ReadAll(trace);
  EXPECT_NE(traced.find("snmp  request to "), std::string::npos) << traced;
  EXPECT_NE(traced.find("snmp  response after "), std::string::npos) << traced;
  EXPECT_NE(traced.find(" 04 06 2a 2a 2a 2a 2a 2a "), std::string::npos) << traced;
  EXPECT_EQ(traced.find(kCommunity), std::string::npos);
  EXPECT_EQ(traced.find(kCommunityHex), std::string::npos);
}

TEST_F(CliCommunity, WithoutTheCommunityTheDetailsNameTheLikelyCause) {
  for (const std::string option : {"", "--community S3CRET ", "--community s3cre "}) {
    const std::string trace = dir_ / "silent.txt";
    const CliRun run = Cli(option + "--timeout 2 --json -v --trace " + Quote(trace) + " report");
    EXPECT_EQ(run.status, 3) << option << run.err;
    EXPECT_NE(run.out.find("\"message\":\"Timed out.\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(std::string("no answer from ") + kAddress), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(kTextCommunitySilence), std::string::npos) << run.out;
    EXPECT_EQ(run.err.find(kCommunity), std::string::npos) << run.err;
  }
  const CliRun restart = Cli("--timeout 2 restart");
  EXPECT_EQ(restart.status, 3) << restart.err;
  EXPECT_NE(restart.err.find(kTextCommunitySilence), std::string::npos) << restart.err;
  EXPECT_EQ(printer_->model().Restarts(), 0);

  // A community that cannot be sent is refused before anything goes out.
  for (const char* bad : {"'two words'", "''", "abcdefghijklmnopqrstuvwxyz0123456"}) {
    const CliRun refused = Cli(std::string("--community ") + bad + " report");
    EXPECT_EQ(refused.status, 2) << bad << refused.err;
    EXPECT_NE(refused.err.find("--community"), std::string::npos) << refused.err;
  }
}

TEST_F(CliCommunity, DiscoveryAsksInTheCommunity) {
  const CliRun found =
      Cli(std::string("--community ") + kCommunity + " discover --json " + kAddress);
  ASSERT_EQ(found.status, 0) << found.err;
  EXPECT_NE(found.out.find(std::string("\"") + kAddress + "\""), std::string::npos) << found.out;
  EXPECT_NE(found.out.find("Type2"), std::string::npos) << found.out;

  test::WriteAll(dir_ / "stored.ini", std::string("[Port]\nCommunity=") + kCommunity + "\n");
  const CliRun stored = RunCli(
      dir_, "-q --settings " + Quote(dir_ / "stored.ini") + where_ + "discover --json " + kAddress);
  ASSERT_EQ(stored.status, 0) << stored.err;
  // The printers found on the network, compared whole; the local ports' notes may differ from
  // one run to the next (a device name the system defined for the first run, say).
  EXPECT_EQ(nlohmann::json::parse(stored.out).at("network"),
            nlohmann::json::parse(found.out).at("network"))
      << stored.out;

  const CliRun silent = Cli(std::string("discover --json ") + kAddress);
  EXPECT_EQ(silent.out.find(kAddress), std::string::npos) << silent.out;
}

}  // namespace
}  // namespace tavi
