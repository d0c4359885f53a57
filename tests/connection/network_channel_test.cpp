#include "core/connection/network_channel.h"

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/connection/default_channels.h"
#include "core/connection/printer_connection.h"
#include "core/operations/restart.h"
#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "core/settings/port_settings.h"
#include "os/error_names.h"
#include "support/doubles.h"
#include "support/fake_servers.h"
#include "support/peers.h"

namespace tavi {
namespace {

using test::FakeTcpServer;
using test::FakeUdpAgent;

constexpr char kFakeHost[] = "127.0.0.31";

PortSettings NetworkSettings(std::vector<std::string> hosts, std::int32_t host_sel = 0) {
  PortSettings settings;
  settings.port = kPortNetwork;
  settings.hosts = std::move(hosts);
  settings.host_sel = host_sel;
  return settings;
}

// An LPD server that acknowledges everything and keeps the data files it got.
struct AcceptingLpd {
  std::vector<std::string> files;
  bool ended = false;  // the client closed the connection
  void Serve(int fd) {
    if (test::ReadLine(fd).empty() || !test::WriteBytes(fd, std::string(1, '\0'))) return;
    for (;;) {
      const std::string sub = test::ReadLine(fd);
      if (sub.size() < 4) break;
      test::WriteBytes(fd, std::string(1, '\0'));
      const std::string data = test::ReadBytes(fd, std::stoul(sub.substr(1)) + 1);
      files.push_back(data.substr(0, data.size() - 1));
      test::WriteBytes(fd, std::string(1, '\0'));
    }
    ended = true;
  }
};

struct Rig {
  explicit Rig(PortSettings settings, NetworkPorts ports)
      : connection(std::move(settings), progress, messages, clock, DefaultChannelFactory(ports)) {}
  test::RecordingProgress progress;
  test::RecordingMessages messages;
  test::FakeClock clock;
  PrinterConnection connection;
};

TEST(NetworkChannelTest, WritesAreDataFilesAndRepliesComeFromTheAgent) {
  AcceptingLpd lpd;
  FakeTcpServer server(kFakeHost, 23001, [&](int fd) { lpd.Serve(fd); });
  int gets = 0;
  FakeUdpAgent agent(kFakeHost, 23001, [&](std::string_view r) {
    ++gets;
    return std::vector<std::string>{test::MakeResponse(r, 0, "REPORT:0,1;")};
  });
  ASSERT_TRUE(server.ok() && agent.ok());
  Rig rig(NetworkSettings({"printer.invalid", kFakeHost}, 1), {23001, 23001});
  ASSERT_TRUE(rig.connection.Open());
  EXPECT_TRUE(rig.connection.Write(rig.connection.AccessCodeLine()));
  EXPECT_TRUE(rig.connection.Write(kCmdGetReport));
  std::string reply;
  EXPECT_TRUE(rig.connection.ReadReply(reply));
  EXPECT_EQ(reply, "\"REPORT:0,1;\"");
  EXPECT_TRUE(rig.connection.ReadReply(reply));
  EXPECT_TRUE(rig.connection.Write(std::string_view("\0", 1)));
  EXPECT_TRUE(rig.connection.Close());
  server.Stop();
  agent.Stop();
  EXPECT_TRUE(rig.messages.shown.empty());
  EXPECT_EQ(gets, 2);
  ASSERT_EQ(lpd.files.size(), 3u);
  EXPECT_EQ(lpd.files[0], rig.connection.AccessCodeLine());
  EXPECT_EQ(lpd.files[1], kCmdGetReport);
  EXPECT_EQ(lpd.files[2], std::string(1, '\0'));
  EXPECT_TRUE(lpd.ended);  // close ended the job
}

TEST(NetworkChannelTest, OpenFailuresAreFailedToConnectWithTheReason) {
  struct Case {
    PortSettings settings;
    std::string details;
    SystemCode code;  // what the channel's failure carries beside the shown details
  };
  const std::vector<Case> cases = {
      {NetworkSettings({"no..such.host"}), "name 'no..such.host' not found",
       SystemCode::Winsock(wsa::kHostNotFound)},
      {NetworkSettings({kFakeHost}), "connect to 127.0.0.31 port 23002 (LPD): Connection refused",
       SystemCode::Winsock(wsa::kEconnrefused)},
      {NetworkSettings({}), "The selected host (index 0) is not in the host list of 0 hosts.", {}},
      {NetworkSettings({kFakeHost}, 3),
       "The selected host (index 3) is not in the host list of 1 hosts.",
       {}},
  };
  for (const Case& c : cases) {
    {
      const Trace off;
      test::RecordingProgress progress;
      test::FakeClock clock;
      NetworkChannel channel(ChannelContext{c.settings, progress, clock, off}, {23002, 23002});
      Failure failure;
      EXPECT_FALSE(channel.Open(failure));
      EXPECT_EQ(failure.message_id, kIdsFailedToConnect);
      EXPECT_EQ(failure.details, c.details);
      EXPECT_EQ(failure.code, c.code) << ErrorName(failure.code);
    }
    Rig rig(c.settings, {23002, 23002});
    EXPECT_FALSE(rig.connection.Open());
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].id, kIdsFailedToConnect);
    EXPECT_EQ(rig.messages.shown[0].details, c.details);
    std::string reply = "unchanged";
    EXPECT_FALSE(rig.connection.ReadReply(reply));  // the read goes to the same host
    EXPECT_EQ(rig.messages.shown.size(), 2u);
    EXPECT_EQ(rig.messages.shown[1].id,
              c.details.starts_with("connect") ? kIdsFailedToReceive : kIdsFailedToConnect);
    if (c.details.starts_with("connect")) {
      // Nothing listens for SNMP either: the system says so at once.
      EXPECT_EQ(rig.messages.shown[1].details,
                "no answer from 127.0.0.31 port 23002 (SNMP): Connection refused");
    }
    EXPECT_EQ(reply, "unchanged");
    EXPECT_TRUE(rig.connection.Close());
  }
}

TEST(NetworkChannelTest, RefusedDataFileIsFailedToSend) {
  FakeTcpServer server(kFakeHost, 23003, [](int fd) {
    test::ReadLine(fd);
    test::WriteBytes(fd, std::string(1, '\0'));
    test::ReadLine(fd);
    test::WriteBytes(fd, "\x01");
  });
  ASSERT_TRUE(server.ok());
  Rig rig(NetworkSettings({kFakeHost}), {23003, 23003});
  ASSERT_TRUE(rig.connection.Open());
  EXPECT_FALSE(rig.connection.Write(kCmdGetReport));
  ASSERT_EQ(rig.messages.shown.size(), 1u);
  EXPECT_EQ(rig.messages.shown[0].id, kIdsFailedToSend);
  EXPECT_EQ(rig.messages.shown[0].details,
            "127.0.0.31 port 23003 (LPD) refused data file 1 (it answered 01 instead of 00)");
  rig.connection.Close();
}

TEST(NetworkChannelTest, SilentAgentEndsWithoutAMessageOnCancel) {
  AcceptingLpd lpd;
  FakeTcpServer server(kFakeHost, 23004, [&](int fd) { lpd.Serve(fd); });
  FakeUdpAgent agent(kFakeHost, 23004, [](std::string_view) { return std::vector<std::string>{}; });
  ASSERT_TRUE(server.ok() && agent.ok());
  Rig rig(NetworkSettings({kFakeHost}), {23004, 23004});
  rig.progress.Show(true);  // Cancel exists only while the window is shown
  ASSERT_TRUE(rig.connection.Open());
  rig.progress.on_pump = [&] {
    if (rig.progress.pumps >= 4) rig.progress.PressCancel();
  };
  std::string reply;
  EXPECT_FALSE(rig.connection.ReadReply(reply));
  // A receive broken off by Cancel is no failure: nothing is shown.
  EXPECT_TRUE(rig.messages.shown.empty());
  ASSERT_EQ(rig.messages.cancelled.size(), 1u);
  EXPECT_EQ(rig.messages.cancelled[0].id, kIdsFailedToReceive);
  // The cancelled wait says how long the agent stayed silent, and what such silence means.
  EXPECT_THAT(rig.messages.cancelled[0].details,
              ::testing::MatchesRegex("no answer from 127\\.0\\.0\\.31 port 23004 \\(SNMP\\) "
                                      "within [0-9]+ ms\\. A wrong SNMP community gives exactly "
                                      "this silence\\."));
  // The flag stays set: the next read fails at once without a message or a request.
  EXPECT_FALSE(rig.connection.ReadReply(reply));
  EXPECT_TRUE(rig.messages.shown.empty());
  EXPECT_EQ(rig.messages.cancelled.size(), 1u);
  EXPECT_EQ(agent.requests(), 1);
  rig.connection.Close();
}

// The reply read and the printer restart run one SNMP exchange: the same bad answer gives both
// the same message with the same details.
TEST(NetworkChannelTest, ReplyReadAndRestartFailAlikeOnTheSameBadAnswer) {
  constexpr char kHost[] = "127.0.6.1";
  constexpr std::uint16_t kPort = 23061;
  // Each answer made of the request: a response with error status 2 ("no such name"),
  // octets no decoder can walk, and a datagram larger than the receive area.
  const std::vector<std::function<std::string(std::string)>> answers = {
      [](std::string request) {
        // version and community are 13 octets; then the PDU tag, its length and the request id.
        const std::size_t id_length = static_cast<unsigned char>(request.at(16));
        request.at(13) = '\xA2';
        request.at(19 + id_length) = '\x02';
        return request;
      },
      [](std::string) { return std::string("\x30\x03\x02\x01", 4); },
      [](std::string) { return std::string(1600, '\x30'); },
  };
  std::atomic<std::size_t> which{0};
  FakeUdpAgent agent(kHost, kPort, [&](std::string_view request) {
    return std::vector<std::string>{answers[which.load()](std::string(request))};
  });
  ASSERT_TRUE(agent.ok());
  const PortSettings settings = NetworkSettings({kHost});
  test::FakeClock clock;
  const Trace off;
  for (std::size_t i = 0; i < answers.size(); ++i) {
    which = i;
    test::RecordingProgress progress;
    const ChannelContext context{settings, progress, clock, off};
    NetworkChannel channel(context, {kPort, kPort});
    Failure read_failure;
    std::string reply = "kept";
    EXPECT_FALSE(channel.ReadReply(reply, read_failure));
    EXPECT_EQ(reply, "kept");

    test::RecordingMessages messages;
    EXPECT_FALSE(RestartPrinter(kHost, progress, messages, clock, kPort));
    ASSERT_EQ(messages.shown.size(), 1u) << i;
    EXPECT_EQ(read_failure.message_id, kIdsFailedToReceive) << i;
    EXPECT_EQ(messages.shown[0].id, read_failure.message_id) << i;
    EXPECT_EQ(messages.shown[0].details, read_failure.details) << i;
    EXPECT_THAT(read_failure.details, ::testing::HasSubstr("127.0.6.1 port 23061")) << i;
  }
  EXPECT_EQ(agent.requests(), 6);
  EXPECT_TRUE(clock.sleeps.empty());  // a failed restart does not wait
}

TEST(NetworkChannelTest, OnlyTheNetworkKindIsMadeHere) {
  test::FakeClock clock;
  test::RecordingProgress progress;
  const PortSettings settings = NetworkSettings({kFakeHost});
  const Trace off;
  const ChannelContext context{settings, progress, clock, off};
  auto channel = DefaultChannelFactory()(kPortNetwork, context);
  ASSERT_NE(channel, nullptr);
  EXPECT_NE(dynamic_cast<NetworkChannel*>(channel.get()), nullptr);
  EXPECT_EQ(DefaultChannelFactory()(7, context), nullptr);
}

// The whole network road against the real servers: LPRng takes the job, snmpd serves replies.
TEST(NetworkChannelRealPeersTest, ReportRoadAgainstLprngAndSnmpd) {
  std::string why;
  test::LprngPeer lpd("127.0.0.30", 23010);
  if (!lpd.Start(why)) GTEST_SKIP() << "LPRng cannot run here: " << why;
  test::SnmpdPeer agent("127.0.0.30", 23010);
  if (!agent.Start(why)) GTEST_SKIP() << "snmpd cannot run here: " << why;
  agent.SetReply("REPORT:0,2;");

  Rig rig(NetworkSettings({"127.0.0.30"}), {23010, 23010});
  rig.progress.Show(true);
  ASSERT_TRUE(rig.connection.Open());
  EXPECT_TRUE(rig.connection.Write(rig.connection.AccessCodeLine()));
  EXPECT_TRUE(rig.connection.Write(kCmdGetReport));
  std::string reply;
  EXPECT_TRUE(rig.connection.ReadReply(reply));
  EXPECT_EQ(reply, "\"REPORT:0,2;\"");
  agent.SetReply("REPORT:1,4142;");
  EXPECT_TRUE(rig.connection.ReadReply(reply));
  EXPECT_EQ(reply, "\"REPORT:1,4142;\"");
  EXPECT_TRUE(rig.connection.Write(std::string_view("\0", 1)));
  rig.connection.Close();
  EXPECT_TRUE(rig.messages.shown.empty());

  int files = 0;
  std::string spooled;
  for (int i = 0; i < 100 && spooled.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    spooled = lpd.SpooledData(&files);
  }
  EXPECT_EQ(spooled, std::string(1, '\0'));  // the last data file of the job
  agent.Stop();
  lpd.Stop();
}

}  // namespace
}  // namespace tavi
