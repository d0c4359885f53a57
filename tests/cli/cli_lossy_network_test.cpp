// tavi-cli against a virtual printer whose SNMP datagrams cross a lossy relay: answers dropped,
// requests dropped, answers held back past the round-trip bound. The LPD job goes straight to
// the printer; only the reply reads cross the relay.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "support/lossy_relay.h"

namespace tavi {
namespace {

using test::CliRun;
using test::LossyRelay;
using test::Quote;
using test::TempDir;

// A report of 20 chunks, the last one short, every byte value but zero.
std::string TwentyChunkReport() {
  std::string report;
  for (int i = 0; i < 19 * 128 + 77; ++i) report += static_cast<char>(1 + (i * 7) % 255);
  return report;
}

struct LossyRig {
  LossyRig(const char* address, LossyRelay::Rule rule) {
    sim::VirtualPrinterConfig config;
    config.address = address;
    config.options.report = TwentyChunkReport();
    printer = std::make_unique<sim::VirtualPrinter>(config);
    std::string error;
    started = printer->Start(error);
    EXPECT_TRUE(started) << error;
    relay = std::make_unique<LossyRelay>(address, 0, address, printer->snmp_port(), rule);
    EXPECT_TRUE(relay->ok());
    test::WriteAll(dir / "empty.ini", "");
    common = "-q --settings " + Quote(dir / "empty.ini") + " --port network --host " + address +
             " --lpd-port " + std::to_string(printer->lpd_port()) + " --snmp-port " +
             std::to_string(relay->port()) + " ";
  }
  ~LossyRig() {
    relay->Stop();
    printer->Stop();
  }
  TempDir dir;
  std::unique_ptr<sim::VirtualPrinter> printer;
  std::unique_ptr<LossyRelay> relay;
  std::string common;
  bool started = false;
};

TEST(CliLossyNetwork, ReportArrivesWholeThroughLostAndLateDatagrams) {
  using Way = LossyRelay::Way;
  LossyRig rig("127.0.101.1", [](const LossyRelay::Datagram& d) -> LossyRelay::Verdict {
    const bool answer = d.way == Way::kAnswer;
    if (answer && d.poll % 3 == 0 && d.copy == 1) return {true, 0};   // first answer lost
    if (!answer && d.poll % 5 == 0 && d.copy == 1) return {true, 0};  // first request lost
    if (answer && d.poll % 7 == 1 && d.poll > 7 && d.copy <= 2) {     // late: the first
      return {false, d.copy == 1 ? 70 : 160};  // answer comes past the bound, then the resend's
    }
    return {};
  });
  ASSERT_TRUE(rig.started && rig.relay->ok());
  const auto start = std::chrono::steady_clock::now();
  const CliRun run =
      test::RunCli(rig.dir, rig.common + "--timeout 30 report -o " + Quote(rig.dir / "r.txt"));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::string report = test::ReadAll(rig.dir / "r.txt");
  EXPECT_EQ(report.size(), 19u * 128 + 77);
  EXPECT_TRUE(report == TwentyChunkReport()) << "the report differs";
  EXPECT_EQ(rig.printer->model().ClosingZeros(), 1);

  // Every poll whose first request or first answer was lost went out again; the late answers
  // were held back; and a poll that lost nothing went out once, mostly: the bound learned the
  // loopback's round trip instead of resending everything.
  const std::vector<int> sends = rig.relay->SendsPerPoll();
  const LossyRelay::Counts counts = rig.relay->counts();
  ASSERT_GT(sends.size(), 40u);
  EXPECT_GT(counts.delayed, 4);
  int clean = 0;
  int clean_once = 0;
  for (std::size_t i = 0; i + 1 < sends.size(); ++i) {
    const std::size_t poll = i + 1;
    if (poll % 3 == 0 || poll % 5 == 0) {
      EXPECT_GE(sends[i], 2) << "poll " << poll;
    } else if (poll % 7 != 1) {
      ++clean;
      if (sends[i] == 1) ++clean_once;
    }
  }
  EXPECT_GE(clean_once * 10, clean * 8) << clean_once << " of " << clean;
  // The first loss waits out the initial bound of a second; the rest, the learned one.
  EXPECT_LT(seconds, 20.0);
}

TEST(CliLossyNetwork, PrinterGoneSilentMidReportFailsToReceiveAfterEightRequests) {
  // Polls from the twentieth on are lost: the read gives up after eight sends of its request.
  LossyRig rig("127.0.101.3", [](const LossyRelay::Datagram& d) -> LossyRelay::Verdict {
    return {d.poll >= 20, 0};
  });
  ASSERT_TRUE(rig.started && rig.relay->ok());
  const CliRun run = test::RunCli(rig.dir, rig.common + "--timeout 30 report");
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_THAT(run.err, ::testing::StartsWith("Failed to receive.\n"));
  EXPECT_THAT(run.err, ::testing::ContainsRegex("no answer from 127\\.0\\.101\\.3 port [0-9]+ "
                                                "\\(SNMP\\) within [0-9]+ ms: 8 requests went "
                                                "unanswered"));
  const std::vector<int> sends = rig.relay->SendsPerPoll();
  ASSERT_EQ(sends.size(), 20u);
  EXPECT_EQ(sends.back(), 8);
  // The closing zero byte still went out over LPD.
  EXPECT_EQ(rig.printer->model().ClosingZeros(), 1);
}

}  // namespace
}  // namespace tavi
