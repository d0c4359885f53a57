// tavi-cli against hostile printers. One virtual printer mixes a chunk too big for its slot into
// its answer; another's SNMP answers pass through a hostile peer on the path:
// before each true answer it sends answers of its own (another request id, another community, a
// SetRequest PDU, the printer's answer to the request before), all carrying a parameter block
// of its choosing. Only the printer's own answer may become a backup.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "frontends/printer_sim/snmp_ber.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "support/fake_servers.h"

namespace tavi {
namespace {

using test::CliRun;
using test::Quote;

// Sends `request` to the agent at `address`:`port` and returns its answer ("" after 2 s).
std::string Ask(const std::string& address, std::uint16_t port, std::string_view request) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return {};
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
  std::string answer(2048, '\0');
  ssize_t n = -1;
  pollfd entry{fd, POLLIN, 0};
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
      ::send(fd, request.data(), request.size(), 0) >= 0 && ::poll(&entry, 1, 2000) == 1) {
    n = ::recv(fd, answer.data(), answer.size(), 0);
  }
  ::close(fd);
  answer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return answer;
}

// `answer` with `edit` applied and its value replaced by `value`.
std::string Forged(const std::string& answer, std::string_view value,
                   void (*edit)(sim::SnmpMessage&)) {
  sim::SnmpMessage m;
  std::string why;
  if (!sim::ParseSnmpMessage(answer, m, why) || m.bindings.empty()) return {};
  m.bindings[0].value_tag = sim::kBerOctetString;
  m.bindings[0].value = std::string(value);
  m.bindings[0].raw = false;
  edit(m);
  return sim::EncodeSnmpMessage(m);
}

class HostileSnmpPath : public ::testing::Test {
 protected:
  // The printer on `address`; the hostile peer on the same address, in front of its agent.
  // `pass_truth`: the printer's own answer follows the forged ones.
  void Start(const std::string& address, bool pass_truth) {
    sim::VirtualPrinterConfig config;
    config.address = address;
    printer_ = std::make_unique<sim::VirtualPrinter>(config);
    std::string error;
    ASSERT_TRUE(printer_->Start(error)) << error;
    const std::uint16_t agent_port = printer_->snmp_port();
    peer_ = std::make_unique<test::FakeUdpAgent>(
        address, 0, [this, address, agent_port, pass_truth](std::string_view request) {
          const std::string truth = Ask(address, agent_port, request);
          std::vector<std::string> out;
          if (truth.empty()) return out;
          std::lock_guard lock(mutex_);
          // Its own block: a header of one chunk, then that chunk, on alternate polls.
          const std::string evil =
              ++polls_ % 2 == 1 ? "READ_PARAM:0,1;" : "READ_PARAM:1,4556494C2D424C4F434B;";
          out.push_back(Forged(truth, evil, [](auto& m) { m.request_id.back() ^= 0x55; }));
          out.push_back(Forged(truth, evil, [](auto& m) { m.community = "XXXXXX"; }));
          out.push_back(Forged(truth, evil, [](auto& m) { m.pdu_type = sim::kPduSet; }));
          if (!previous_.empty()) out.push_back(previous_);
          if (pass_truth) out.push_back(truth);
          previous_ = truth;
          return out;
        });
    ASSERT_TRUE(peer_->ok());
    test::WriteAll(dir_ / "empty.ini", "");
    common_ = "-q --settings " + Quote(dir_ / "empty.ini") + " --port network --host " + address +
              " --lpd-port " + std::to_string(printer_->lpd_port()) + " --snmp-port " +
              std::to_string(peer_->port()) + " ";
  }
  void TearDown() override {
    if (peer_) peer_->Stop();
    if (printer_) printer_->Stop();
  }
  CliRun Cli(const std::string& args) { return test::RunCli(dir_, common_ + args); }

  test::TempDir dir_;
  std::unique_ptr<sim::VirtualPrinter> printer_;
  std::unique_ptr<test::FakeUdpAgent> peer_;
  std::mutex mutex_;
  int polls_ = 0;
  std::string previous_;
  std::string common_;
};

TEST_F(HostileSnmpPath, OnlyThePrintersOwnAnswersMakeTheBackup) {
  Start("127.0.0.176", true);
  const CliRun get = Cli("get-params " + Quote(dir_ / "backup.prm"));
  ASSERT_EQ(get.status, 0) << get.err;
  const CliRun decode = test::RunCli(
      dir_, "params decode " + Quote(dir_ / "backup.prm") + " -o " + Quote(dir_ / "block.bin"));
  ASSERT_EQ(decode.status, 0) << decode.err;
  const std::string block = test::ReadAll(dir_ / "block.bin");
  EXPECT_TRUE(block == printer_->model().Params()) << "a backup of " << block.size() << " bytes";
  std::lock_guard lock(mutex_);
  EXPECT_GT(polls_, 2);  // every poll met the forged answers first
}

TEST_F(HostileSnmpPath, ForgedAnswersAloneEndAtTheTimeOutAndWriteNoFile) {
  Start("127.0.0.177", false);
  const CliRun get = Cli("--timeout 2 get-params " + Quote(dir_ / "backup.prm"));
  EXPECT_EQ(get.status, 3) << get.err;
  EXPECT_NE(get.err.find("Timed out."), std::string::npos) << get.err;
  EXPECT_NE(get.err.find("did not answer our request"), std::string::npos) << get.err;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "backup.prm"));
}

TEST(HostilePrinter, AnOversizedChunkFailsTheBackupAndLeavesTheFileAlone) {
  test::TempDir dir;
  sim::VirtualPrinterConfig config;
  config.address = "127.0.0.178";
  config.options.hostile = sim::Hostile::kBigChunk;
  sim::VirtualPrinter printer(config);
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;
  test::WriteAll(dir / "empty.ini", "");
  test::WriteAll(dir / "kept.prm", "the backup made before");
  const std::string common = "-q --settings " + Quote(dir / "empty.ini") +
                             " --port network --host 127.0.0.178 --lpd-port " +
                             std::to_string(printer.lpd_port()) + " --snmp-port " +
                             std::to_string(printer.snmp_port()) + " --timeout 20 get-params ";
  const CliRun over = test::RunCli(dir, common + Quote(dir / "kept.prm"));
  const CliRun fresh = test::RunCli(dir, common + Quote(dir / "fresh.prm"));
  printer.Stop();
  for (const CliRun& run : {over, fresh}) {
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("Failed to read."), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("carries 200 data bytes"), std::string::npos) << run.err;
  }
  EXPECT_EQ(test::ReadAll(dir / "kept.prm"), "the backup made before");
  EXPECT_FALSE(std::filesystem::exists(dir / "fresh.prm"));
  EXPECT_EQ(printer.model().ClosingZeros(), 2);
}

TEST(HostilePrinter, AWaitCutByTheTimeOutSaysWhatItAwaited) {
  test::TempDir dir;
  test::WriteAll(dir / "empty.ini", "");
  const auto run = [&](sim::VirtualPrinter& printer, const std::string& address,
                       const std::string& args) {
    return test::RunCli(dir, "-q --settings " + Quote(dir / "empty.ini") +
                                 " --port network --host " + address + " --lpd-port " +
                                 std::to_string(printer.lpd_port()) + " --snmp-port " +
                                 std::to_string(printer.snmp_port()) + " --timeout 1 " + args);
  };
  sim::VirtualPrinterConfig silent;
  silent.address = "127.0.0.179";
  silent.options.no_header = true;
  sim::VirtualPrinter no_header(silent);
  sim::VirtualPrinterConfig type2;
  type2.address = "127.0.0.180";
  sim::VirtualPrinter other_family(type2);
  std::string error;
  ASSERT_TRUE(no_header.Start(error)) << error;
  ASSERT_TRUE(other_family.Start(error)) << error;

  const CliRun report = run(no_header, "127.0.0.179", "report");
  const CliRun params =
      run(other_family, "127.0.0.180", "--type 1 get-params " + Quote(dir / "p.prm"));
  no_header.Stop();
  other_family.Stop();
  EXPECT_EQ(report.status, 3) << report.err;
  EXPECT_NE(report.err.find("Timed out."), std::string::npos) << report.err;
  EXPECT_NE(report.err.find("no reply header (REPORT:) from network, host '127.0.0.179'"),
            std::string::npos)
      << report.err;
  EXPECT_EQ(params.status, 3) << params.err;
  EXPECT_NE(params.err.find("no reply header (READ_PARAM:) from network, host '127.0.0.180'"),
            std::string::npos)
      << params.err;
  EXPECT_NE(params.err.find("for family 1 (access code A)"), std::string::npos) << params.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "p.prm"));
}

}  // namespace
}  // namespace tavi
