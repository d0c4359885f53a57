#include "core/net/snmp_client.h"

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/net/round_trip.h"
#include "core/resources/constants.h"
#include "support/doubles.h"
#include "support/fake_servers.h"
#include "support/peers.h"

namespace tavi {
namespace {

using test::FakeUdpAgent;
using test::MakeResponse;

constexpr char kFakeHost[] = "127.0.0.28";

// One GetRequest of the reply object against `port`, as the printer connection makes it.
struct Exchange {
  std::int32_t open = 0, sent = 0, received = 0;
  std::string value, last_error;
};

Exchange GetReply(const char* host, std::uint16_t port, ProgressDialog* progress = nullptr) {
  Exchange e;
  SnmpClient client(port);
  client.SetCancelSource(progress);
  e.open = client.Open(host);
  if (e.open == 0) {
    client.BuildGet(kReplyOid, ber::kPduGetRequest);
    e.sent = client.Send();
    if (e.sent > 0) e.received = client.Receive();
  }
  client.ValueText(e.value);
  e.last_error = std::string(client.last_error_text());
  return e;
}

TEST(SnmpClientTest, EachRequestCarriesAFreshIdAndTheAnswerIsQuoted) {
  std::vector<std::string> requests;
  FakeUdpAgent agent(kFakeHost, 22001, [&](std::string_view r) {
    requests.emplace_back(r);
    return std::vector<std::string>{MakeResponse(r, 0, std::string("REPORT:0,3;\0x", 13))};
  });
  ASSERT_TRUE(agent.ok());
  const Exchange e = GetReply(kFakeHost, 22001);
  const Exchange again = GetReply(kFakeHost, 22001);
  agent.Stop();
  EXPECT_EQ(e.open, 0);
  EXPECT_EQ(e.sent, 48);
  EXPECT_GT(e.received, 0);
  EXPECT_EQ(e.value, "\"REPORT:0,3;x\"");  // the zero octet is dropped
  EXPECT_EQ(again.value, e.value);
  EXPECT_EQ(e.last_error, "");
  ASSERT_EQ(requests.size(), 2u);
  ASSERT_EQ(requests[0].size(), 48u);
  EXPECT_EQ(static_cast<unsigned char>(requests[0][13]), 0xA0);
  // Four octets, positive, neither the process id nor the id of the request before.
  const auto id = [](const std::string& r) { return r.substr(17, 4); };
  EXPECT_EQ(requests[0].substr(15, 2), std::string("\x02\x04", 2));
  EXPECT_EQ(static_cast<unsigned char>(requests[0][17]) & 0x80, 0);
  EXPECT_NE(id(requests[0]), id(requests[1]));
  const auto pid = static_cast<std::uint32_t>(::getpid());
  const std::string pid_octets{static_cast<char>(pid >> 24), static_cast<char>(pid >> 16),
                               static_cast<char>(pid >> 8), static_cast<char>(pid)};
  EXPECT_NE(id(requests[0]), pid_octets);
}

TEST(SnmpClientTest, OnlyTheAnswerToThisRequestIsTaken) {
  // A GetResponse of another id, another community, another version, a SetRequest and an
  // error status of another request: each is passed over, and the true answer is taken.
  const auto edited = [](std::string d, std::size_t at, char octet) {
    d[at] = octet;
    return d;
  };
  FakeUdpAgent agent(kFakeHost, 22002, [&](std::string_view r) {
    const std::string forged = MakeResponse(r, 0, "READ_PARAM:1,4556494C;");
    return std::vector<std::string>{
        edited(forged, 20, static_cast<char>(forged[20] ^ 0x01)),  // request id
        edited(forged, 7, 'X'),                                    // community "pXblic"
        edited(forged, 4, '\x01'),                                 // version 2c
        edited(forged, 13, '\xA3'),                                // SetRequest
        edited(MakeResponse(r, 5, ""), 20, static_cast<char>(r[20] ^ 0x02)),
        MakeResponse(r, 0, "READ_PARAM:0,2;")};
  });
  ASSERT_TRUE(agent.ok());
  const Exchange e = GetReply(kFakeHost, 22002);
  EXPECT_GT(e.received, 0) << e.last_error;
  EXPECT_EQ(e.value, "\"READ_PARAM:0,2;\"");
  EXPECT_EQ(e.last_error, "");
}

TEST(SnmpClientTest, NonzeroErrorStatusFailsTheReceive) {
  struct Case {
    int status;
    std::string line;
  };
  const std::vector<Case> cases = {
      {2, "(noSuchName) There is no such variable name in this MIB.\r\n"},
      {5, "(genError) A general failure occured\r\n"},
      {7, "Unknown Error\r\n"},
  };
  std::uint16_t port = 22010;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    FakeUdpAgent agent(kFakeHost, ++port, [&](std::string_view r) {
      return std::vector<std::string>{MakeResponse(r, c.status, "ignored")};
    });
    ASSERT_TRUE(agent.ok());
    const Exchange e = GetReply(kFakeHost, port);
    EXPECT_EQ(e.received, -1);
    EXPECT_EQ(e.last_error, c.line);
    EXPECT_EQ(e.value, "");
  }
}

TEST(SnmpClientTest, DatagramsThatCannotBeWalkedFailTheReceive) {
  struct Case {
    const char* what;
    std::function<std::string(std::string_view)> make;
    std::string line;
  };
  const std::vector<Case> cases = {
      {"truncated", [](std::string_view r) { return MakeResponse(r, 0, "OK").substr(0, 30); },
       "recv: malformed response\r\n"},
      {"value length past the end",
       [](std::string_view r) {
         std::string d = MakeResponse(r, 0, "OK");
         d[d.size() - 3] = '\x7F';
         return d;
       },
       "recv: malformed response\r\n"},
      {"empty", [](std::string_view) { return std::string(); }, "recv: malformed response\r\n"},
      {"longer than the receive area",
       [](std::string_view r) { return MakeResponse(r, 0, std::string(1600, 'a')); },
       "recv: WSAEMSGSIZE\r\n"},
  };
  std::uint16_t port = 22020;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeUdpAgent agent(kFakeHost, ++port,
                       [&](std::string_view r) { return std::vector<std::string>{c.make(r)}; });
    ASSERT_TRUE(agent.ok());
    const Exchange e = GetReply(kFakeHost, port);
    EXPECT_EQ(e.received, -1);
    EXPECT_EQ(e.last_error, c.line);
    EXPECT_EQ(e.value, "");
  }
}

TEST(SnmpClientTest, LongValueIsCutAt513Characters) {
  const std::string value(600, 'v');
  FakeUdpAgent agent(kFakeHost, 22030, [&](std::string_view r) {
    return std::vector<std::string>{MakeResponse(r, 0, value)};
  });
  ASSERT_TRUE(agent.ok());
  const Exchange e = GetReply(kFakeHost, 22030);
  EXPECT_GT(e.received, 600);
  EXPECT_EQ(e.value, "\"" + value.substr(0, 512));  // no room for the closing quote
}

TEST(SnmpClientTest, ForgedAnswersAloneWaitUntilCancelAndAreCounted) {
  FakeUdpAgent agent(kFakeHost, 22003, [](std::string_view r) {
    std::string forged = MakeResponse(r, 0, "READ_PARAM:0,1;");
    forged[20] = static_cast<char>(forged[20] ^ 0x01);
    return std::vector<std::string>{forged, forged};
  });
  ASSERT_TRUE(agent.ok());
  test::RecordingProgress progress;
  progress.Show(true);
  progress.on_pump = [&] {
    if (progress.pumps >= 20) progress.PressCancel();
  };
  SnmpClient client(22003);
  client.SetCancelSource(&progress);
  ASSERT_EQ(client.Open(kFakeHost), 0);
  client.BuildGet(kReplyOid, ber::kPduGetRequest);
  ASSERT_EQ(client.Send(), 48);
  EXPECT_EQ(client.Receive(), -1);
  EXPECT_EQ(client.value_text(), "");
  EXPECT_NE(client.failure().details.find("2 datagrams came that did not answer our request"),
            std::string::npos)
      << client.failure().details;
}

TEST(SnmpClientTest, SilentAgentWaitsUntilCancel) {
  FakeUdpAgent agent(kFakeHost, 22031, [](std::string_view) { return std::vector<std::string>{}; });
  ASSERT_TRUE(agent.ok());
  test::RecordingProgress progress;
  progress.Show(true);
  progress.on_pump = [&] {
    if (progress.pumps >= 10) progress.PressCancel();
  };
  const Exchange e = GetReply(kFakeHost, 22031, &progress);
  EXPECT_EQ(e.received, -1);
  EXPECT_EQ(e.last_error, "recv: WSAEINTR\r\n");
  EXPECT_EQ(progress.pumps, 10);
  EXPECT_EQ(agent.requests(), 1);
}

// The bound learns the round trip: it starts at a second, follows the measured times within its
// floor and ceiling, and doubles for each request that goes unanswered.
TEST(RoundTripEstimateTest, LearnsTheRoundTripAndBacksOffWithinItsLimits) {
  RoundTripEstimate estimate;
  EXPECT_EQ(estimate.BoundMs(), 1000);
  estimate.Sample(0);  // loopback: no less than the floor
  EXPECT_EQ(estimate.BoundMs(), kRoundTripMinMs);
  for (int i = 0; i < 40; ++i) estimate.Sample(100);  // a steady 100 ms link
  EXPECT_NEAR(estimate.smoothed_ms(), 100.0, 1.0);
  EXPECT_GE(estimate.BoundMs(), 100);
  EXPECT_LE(estimate.BoundMs(), 110);
  const std::int64_t steady = estimate.BoundMs();
  estimate.Sample(400);  // one slow answer widens the bound at once
  EXPECT_GT(estimate.BoundMs(), steady + 300);
  estimate.BackOff();
  const std::int64_t backed_off = estimate.BoundMs();
  estimate.BackOff();
  EXPECT_EQ(estimate.BoundMs(), std::min<std::int64_t>(2 * backed_off, 3000));
  for (int i = 0; i < 5; ++i) estimate.BackOff();
  EXPECT_EQ(estimate.BoundMs(), 3000);
  estimate.Sample(10000);  // a lost-looking link still has a ceiling
  EXPECT_EQ(estimate.BoundMs(), 3000);
}

// In virtual time: each pump of the wait moves the clock on (250 ms, then 50 ms). A silent agent
// gets the same request eight times, at the bounds 1 s, 2 s and then 3 s apart, and the read
// then fails saying so; an agent that answers only the second send is answered, and that answer
// teaches the bound nothing.
TEST(SnmpClientTest, UnansweredRequestIsSentAgainWithinBoundsThenTheReadFails) {
  std::vector<std::string> requests;
  std::mutex mutex;
  FakeUdpAgent silent("127.0.101.2", 22101, [&](std::string_view r) {
    std::lock_guard lock(mutex);
    requests.emplace_back(r);
    return std::vector<std::string>{};
  });
  ASSERT_TRUE(silent.ok());
  test::FakeClock clock;
  test::RecordingProgress progress;
  progress.Show(true);
  progress.on_pump = [&] { clock.now_ms += 250; };
  RoundTripEstimate estimate;
  {
    SnmpClient client(22101);
    client.SetCancelSource(&progress);
    client.SetClock(&clock);
    client.SetRoundTrip(&estimate);
    ASSERT_EQ(client.Open("127.0.101.2"), 0);
    client.BuildGet(kReplyOid, ber::kPduGetRequest);
    ASSERT_EQ(client.Send(), 48);
    EXPECT_EQ(client.Receive(), -1);
    EXPECT_EQ(client.sends(), 8);
    EXPECT_EQ(client.last_error_text(), "recv: WSAETIMEDOUT\r\n");
    // 1000 + 2000 + six times 3000 ms of virtual time.
    EXPECT_EQ(client.failure().details,
              "no answer from 127.0.101.2 port 22101 (SNMP) within 21000 ms: 8 requests went "
              "unanswered");
    EXPECT_TRUE(client.failure().code.IsWinsock(wsa::kEtimedout));
    EXPECT_EQ(client.value_text(), "");
  }
  silent.Stop();
  {
    std::lock_guard lock(mutex);
    ASSERT_EQ(requests.size(), 8u);
    for (const std::string& r : requests) EXPECT_EQ(r, requests[0]);  // the same request id
  }
  EXPECT_EQ(estimate.BoundMs(), 3000);
  EXPECT_FALSE(estimate.measured());

  // The answer to a request sent twice is taken, and measures nothing: the bound stays where
  // the unanswered send left it until a request sent once is answered.
  int seen = 0;
  FakeUdpAgent second_only("127.0.101.2", 22102, [&](std::string_view r) {
    if (++seen == 1) return std::vector<std::string>{};
    return std::vector<std::string>{MakeResponse(r, 0, "REPORT:0,1;")};
  });
  ASSERT_TRUE(second_only.ok());
  estimate = {};
  progress.on_pump = [&] { clock.now_ms += 50; };
  const auto read = [&](std::string& value) {
    SnmpClient client(22102);
    client.SetCancelSource(&progress);
    client.SetClock(&clock);
    client.SetRoundTrip(&estimate);
    EXPECT_EQ(client.Open("127.0.101.2"), 0);
    client.BuildGet(kReplyOid, ber::kPduGetRequest);
    EXPECT_EQ(client.Send(), 48);
    EXPECT_GT(client.Receive(), 0) << client.failure().details;
    client.ValueText(value);
    return client.sends();
  };
  std::string value;
  EXPECT_EQ(read(value), 2);
  EXPECT_EQ(value, "\"REPORT:0,1;\"");
  EXPECT_FALSE(estimate.measured());
  EXPECT_EQ(estimate.BoundMs(), 2000);
  EXPECT_EQ(read(value), 1);  // answered at once: a clean measurement
  EXPECT_TRUE(estimate.measured());
  EXPECT_LT(estimate.BoundMs(), 1000);
  second_only.Stop();
}

TEST(SnmpClientTest, OpenAndPeerFailures) {
  const Exchange unknown = GetReply("no..such.host", 22032);
  EXPECT_EQ(unknown.open, -1);
  EXPECT_EQ(unknown.last_error, "gethostbyname: WSAHOST_NOT_FOUND\r\n");

  const Exchange closed = GetReply(kFakeHost, 22033);  // no agent on that port
  EXPECT_EQ(closed.open, 0);
  EXPECT_EQ(closed.received, -1);
  EXPECT_EQ(closed.last_error, "recv: WSAECONNRESET\r\n");

  SnmpClient unbuilt(22033);  // a request that could not be built is not sent
  ASSERT_EQ(unbuilt.Open(kFakeHost), 0);
  std::string long_oid = ".1.3";
  for (int i = 0; i < 130; ++i) long_oid += ".1";  // 131 content octets: too long to build
  EXPECT_EQ(unbuilt.BuildGet(long_oid, ber::kPduGetRequest), -1);
  EXPECT_EQ(unbuilt.Send(), -1);
  EXPECT_EQ(unbuilt.last_error_text(), "send: WSAEINVAL\r\n");
}

TEST(SnmpClientTest, TraceIsWrittenOnlyWhenSwitchedOn) {
  FakeUdpAgent agent(kFakeHost, 22034, [](std::string_view r) {
    return std::vector<std::string>{MakeResponse(r, 0, "OK")};
  });
  ASSERT_TRUE(agent.ok());
  for (int on : {0, 1}) {
    SnmpClient client(22034);
    client.SetTrace(on);
    ASSERT_EQ(client.Open(kFakeHost), 0);
    client.BuildGet(kReplyOid, ber::kPduGetRequest);
    ASSERT_EQ(client.Send(), 48);
    ASSERT_GT(client.Receive(), 0);
    if (on == 0) {
      EXPECT_EQ(client.trace_text(), "");
    } else {
      EXPECT_NE(client.trace_text().find("oidvalue_data \"OK\"\r\n"), std::string_view::npos)
          << client.trace_text();
      EXPECT_EQ(client.trace_text().substr(0, 6), "30 2e ");
    }
  }
}

// Each test has its own agent on its own port, so the tests can run in parallel.
class SnmpdTest : public ::testing::Test {
 protected:
  bool StartAgent(std::uint16_t port) {
    agent_ = std::make_unique<test::SnmpdPeer>("127.0.0.27", port);
    return agent_->Start(why_);
  }
  void TearDown() override {
    if (agent_) agent_->Stop();
  }
  std::unique_ptr<test::SnmpdPeer> agent_;
  std::string why_;
};

TEST_F(SnmpdTest, RealAgentServesTheReplyObjectAsItChanges) {
  if (!StartAgent(22041)) GTEST_SKIP() << "snmpd cannot run here: " << why_;
  agent_->SetReply("REPORT:0,2;");
  const Exchange first = GetReply("127.0.0.27", 22041);
  EXPECT_GT(first.received, 0) << first.last_error;
  EXPECT_EQ(first.value, "\"REPORT:0,2;\"");
  agent_->SetReply(std::string("REPORT:1,\xFF\x01;", 12));
  const Exchange second = GetReply("127.0.0.27", 22041);
  EXPECT_EQ(second.value, std::string("\"REPORT:1,\xFF\x01;\"", 14));
}

TEST_F(SnmpdTest, RealAgentTakesTheRestartSet) {
  if (!StartAgent(22042)) GTEST_SKIP() << "snmpd cannot run here: " << why_;
  SnmpClient client(22042);
  ASSERT_EQ(client.Open("127.0.0.27"), 0);
  EXPECT_EQ(client.BuildInteger(kRestartOid, ber::kPduSetRequest, kRestartValue), 47);
  EXPECT_EQ(client.Send(), 47);
  EXPECT_GT(client.Receive(), 0) << client.last_error_text();
  EXPECT_EQ(client.value_text(), "0xa(10)");
  EXPECT_EQ(agent_->RestartSets(), std::vector<std::string>{"integer 10"});
}

TEST_F(SnmpdTest, RealAgentAnswersAnUnknownObjectWithNoSuchName) {
  if (!StartAgent(22043)) GTEST_SKIP() << "snmpd cannot run here: " << why_;
  SnmpClient client(22043);
  ASSERT_EQ(client.Open("127.0.0.27"), 0);
  client.BuildGet(".1.3.6.1.4.1.7405.2.2.2.1.24.2", ber::kPduGetRequest);
  ASSERT_EQ(client.Send(), 48);
  EXPECT_EQ(client.Receive(), -1);
  EXPECT_EQ(client.last_error_text(),
            "(noSuchName) There is no such variable name in this MIB.\r\n");
  EXPECT_EQ(client.response().error_index, 1);
}

}  // namespace
}  // namespace tavi
