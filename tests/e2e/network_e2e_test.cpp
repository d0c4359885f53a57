// Every operation over the network against the virtual printer's LPD server and SNMP agent on
// loopback, through the real channels and the real clock.
#include <gtest/gtest.h>

#include <thread>

#include "core/files/head_rank.h"
#include "core/net/snmp_client.h"
#include "core/protocol/operations.h"
#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "e2e/e2e_support.h"

namespace tavi {
namespace {

using test::NetworkRig;

// The data files of the last job: what each write of the connection became on the wire.
std::vector<std::string> LastJobWrites(sim::PrinterModel& model) {
  const auto writes = model.Writes();
  std::vector<std::string> out;
  if (writes.empty()) return out;
  const int session = writes.back().session;
  for (const auto& w : writes) {
    if (w.session == session) out.push_back(w.bytes);
  }
  return out;
}

TEST(NetworkE2e, GetReportPutsExactBytesOnTheWire) {
  NetworkRig rig("127.0.0.101");
  ASSERT_TRUE(rig.started);
  std::string report;
  ASSERT_TRUE(GetReport(*rig.connection, report));
  EXPECT_EQ(report, rig.printer->model().ReportText());
  EXPECT_EQ(LastJobWrites(rig.printer->model()),
            (std::vector<std::string>{std::string(rig.connection->AccessCodeLine()), "GET REPORT",
                                      std::string(1, '\0')}));
  EXPECT_TRUE(rig.messages.shown.empty());
}

TEST(NetworkE2e, ParameterBackupRestoresTheVeryBlock) {
  NetworkRig rig("127.0.0.102");
  ASSERT_TRUE(rig.started);
  const std::string original = rig.printer->model().Params();
  std::vector<std::uint8_t> buffer(kParameterCapacity);
  const std::int32_t n = GetParameters(*rig.connection, buffer);
  ASSERT_EQ(n, static_cast<std::int32_t>(original.size()));
  std::vector<std::uint8_t> image(buffer.begin(), buffer.begin() + n);
  std::uint8_t sum = 1;
  for (auto b : image) sum = static_cast<std::uint8_t>(sum + b);
  image.push_back(sum);
  ASSERT_TRUE(PutParameters(*rig.connection, image, false));
  EXPECT_EQ(rig.printer->model().Params(), original);
  const auto job = LastJobWrites(rig.printer->model());
  ASSERT_EQ(job.size(), 6u);
  EXPECT_EQ(job[1], "PUT PARAM");
  EXPECT_EQ(job[2], std::string(image.begin(), image.end()));
  EXPECT_EQ(job[4], "PIPE MONITOR");
  EXPECT_EQ(job[5], std::string("\x00\x03rs\n\xF3", 6));
  EXPECT_EQ(rig.messages.Ids(), std::vector<int>{kIdsDone});
}

TEST(NetworkE2e, HeadRankAndFirmwareArriveAsDataFiles) {
  NetworkRig rig("127.0.0.103");
  ASSERT_TRUE(rig.started);
  ASSERT_TRUE(SetHeadRank(*rig.connection, 0, BuildHeadRankString(HeadRankFields{})));
  EXPECT_EQ(rig.printer->model().HeadRanks().at(0), "7BZ3E3CVXUWVUQQ 2100Y012VTTR 40UWJB");
  EXPECT_EQ(LastJobWrites(rig.printer->model()).back().size(), 95u);

  std::vector<std::uint8_t> firmware(250000);
  for (std::size_t i = 0; i < firmware.size(); ++i) firmware[i] = static_cast<std::uint8_t>(i * 13);
  ASSERT_TRUE(UpgradeFirmware(*rig.connection, firmware));
  // The printer counts the image when the job ends, which it sees a moment after the close.
  for (int i = 0; i < 200 && rig.printer->model().FirmwareSize() < 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(rig.printer->model().FirmwareSize(), 250000);
  const auto job = LastJobWrites(rig.printer->model());
  ASSERT_EQ(job.size(), 6u);
  EXPECT_EQ(job[3].size(), 102400u);
  EXPECT_EQ(job[4].size(), 102400u);
  EXPECT_EQ(job[5].size(), 45200u);
  EXPECT_EQ(rig.messages.Ids(), (std::vector<int>{kIdsDone, kIdsDone}));
}

TEST(NetworkE2e, RefusedJobAndSilentAgentEachShowOneMessage) {
  sim::SimOptions refuse;
  refuse.lpd.refuse_job = true;
  NetworkRig refused("127.0.0.104", refuse);
  ASSERT_TRUE(refused.started);
  std::string report;
  EXPECT_FALSE(GetReport(*refused.connection, report));
  ASSERT_EQ(refused.messages.Ids(), std::vector<int>{kIdsFailedToConnect});
  EXPECT_EQ(refused.messages.shown[0].details,
            "127.0.0.104 port " + std::to_string(refused.printer->lpd_port()) +
                " (LPD) refused the job for queue 'lp1' (it answered 01 instead of 00)");

  // A silent agent: the read blocks until Cancel, which ends it without a message, and no
  // closing zero byte follows the cancelled exchange.
  sim::SimOptions silent;
  silent.snmp.silent = true;
  NetworkRig rig("127.0.0.105", silent);
  ASSERT_TRUE(rig.started);
  const auto start = std::chrono::steady_clock::now();
  int pumps = 0;
  rig.progress.on_pump = [&] {
    if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(600) && ++pumps)
      rig.progress.PressCancel();
  };
  EXPECT_FALSE(GetReport(*rig.connection, report));
  EXPECT_TRUE(rig.messages.shown.empty());
  // The read that Cancel cut, then the header wait around it.
  ASSERT_EQ(rig.messages.cancelled.size(), 2u);
  EXPECT_EQ(rig.messages.cancelled[0].id, kIdsFailedToReceive);
  EXPECT_TRUE(rig.messages.cancelled[1].details.starts_with(
      "no reply header (REPORT:) from network, host '127.0.0.105'"))
      << rig.messages.cancelled[1].details;
  // Where it waited and for how long: at least the 600 ms before Cancel, less than the poll's
  // whole life.
  const std::string& details = rig.messages.cancelled[0].details;
  const std::string prefix = "no answer from 127.0.0.105 port " +
                             std::to_string(rig.printer->snmp_port()) + " (SNMP) within ";
  // Not one datagram came back, which is what a wrong community gives too: the details say so.
  const std::string hint = " ms. " + std::string(kTextCommunitySilence);
  ASSERT_TRUE(details.starts_with(prefix) && details.ends_with(hint)) << details;
  const int waited = std::stoi(details.substr(prefix.size()));
  EXPECT_GE(waited, 250) << details;
  EXPECT_LT(waited, 3000) << details;
  EXPECT_EQ(rig.printer->model().ClosingZeros(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(NetworkE2e, UnreachablePrinterFailsToConnect) {
  test::RecordingProgress progress;
  test::RecordingMessages messages;
  SteadyClock clock;
  PortSettings settings;
  settings.port = kPortNetwork;
  settings.hosts = {"no..such.host"};
  PrinterConnection connection(settings, progress, messages, clock,
                               DefaultChannelFactory({5515, 5161}));
  std::string report;
  EXPECT_FALSE(GetReport(connection, report));
  ASSERT_EQ(messages.Ids(), std::vector<int>{kIdsFailedToConnect});
  EXPECT_EQ(messages.shown[0].details, "name 'no..such.host' not found");

  // A dotted address where nothing listens: the connect is refused by the system.
  connection.settings().hosts = {"127.0.0.193"};
  messages.shown.clear();
  EXPECT_FALSE(GetReport(connection, report));
  ASSERT_EQ(messages.Ids(), std::vector<int>{kIdsFailedToConnect});
  EXPECT_EQ(messages.shown[0].details,
            "connect to 127.0.0.193 port 5515 (LPD): Connection refused");
}

// Real time, but the short waits between polls are cut to a twenty-fifth, so that a long polling
// fits in a short test.
class BriskClock final : public Clock {
 public:
  void Sleep(int ms) override {
    if (ms >= 100) {
      real_.Sleep(ms);
    } else if (ms > 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(ms * 40));
    }
  }
  std::int64_t NowMs() override { return real_.NowMs(); }

 private:
  SteadyClock real_;
};

// A report of a megabyte is polled for far longer than the printer's idle limit on LPD, while
// its job sends nothing: the job stays open to its closing zero byte, and the report arrives
// byte for byte.
TEST(NetworkE2e, MegabyteReportOutlastsTheIdleLimitOfItsJob) {
  sim::SimOptions options;
  std::string text;
  for (int line = 0; text.size() < 1000000; ++line) {
    text += "LINE " + std::to_string(line) + " " + std::string(line % 97, 'a' + line % 26) + "\r\n";
  }
  options.report = text;
  options.reply_delay_ms = 20;
  options.lpd_idle_ms = 500;  // more than the wait after the command
  NetworkRig rig("127.0.88.1", options);
  ASSERT_TRUE(rig.started);
  BriskClock clock;
  PrinterConnection connection(
      rig.connection->settings(), rig.progress, rig.messages, clock,
      DefaultChannelFactory({rig.printer->lpd_port(), rig.printer->snmp_port()}));
  const std::int64_t start = clock.NowMs();
  std::string report;
  ASSERT_TRUE(GetReport(connection, report))
      << (rig.messages.shown.empty() ? "" : rig.messages.shown[0].details);
  const std::int64_t took = clock.NowMs() - start;
  EXPECT_TRUE(report == text) << report.size() << " bytes";
  EXPECT_TRUE(rig.messages.shown.empty());
  EXPECT_GT(took, kWaitAfterCommandMs + 2 * options.lpd_idle_ms);  // polled past the limit
  // The closing zero byte went out in the same job, and was acknowledged.
  EXPECT_EQ(rig.printer->model().ClosingZeros(), 1);
}

}  // namespace
}  // namespace tavi
