// The LPD server and the SNMP agent on loopback, driven by plain sockets with bytes built here
// and by the net-snmp command-line tools.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/resources/constants.h"
#include "frontends/printer_sim/snmp_ber.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "poller.h"
#include "sim_clients.h"

namespace tavi::sim {
namespace {

TEST(LpdAndSnmp, JobFromAPlainSocketThenRepliesPolledOverSnmp) {
  VirtualPrinter printer(Config("127.0.0.42"));
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;
  auto tcp = Client(Socket::Kind::kStream, "127.0.0.42", printer.lpd_port());
  ASSERT_TRUE(tcp);
  ASSERT_TRUE(Send(*tcp, "\x02lp1\n"));
  ASSERT_EQ(Answer(*tcp), 0);
  EXPECT_EQ(DataFile(*tcp, AccessCodeLine(2)), std::make_pair(0, 0));
  EXPECT_EQ(DataFile(*tcp, kCmdGetReport), std::make_pair(0, 0));

  auto udp = Client(Socket::Kind::kDatagram, "127.0.0.42", printer.snmp_port());
  ASSERT_TRUE(udp);
  ASSERT_TRUE(Eventually([&] { return printer.model().log().Count("reply-scheduled") == 1; }));
  const std::string first = Exchange(*udp, ReplyGetRequest());
  ASSERT_GT(first.size(), 20u);
  EXPECT_EQ(static_cast<unsigned char>(first[0]), 0x30);
  EXPECT_NE(first.find(std::string("\xA2", 1)), std::string::npos);
  EXPECT_NE(first.find(std::string("\x02\x04\x00\x00\x12\x34", 6)), std::string::npos);
  EXPECT_NE(first.find("REPORT:0,"), std::string::npos);

  const auto result = PollReportOverSnmp(*udp);
  ASSERT_TRUE(result.complete);
  EXPECT_EQ(result.data, printer.model().ReportText());

  EXPECT_EQ(DataFile(*tcp, std::string(1, '\0')), std::make_pair(0, 0));
  tcp->Close();
  ASSERT_TRUE(Eventually([&] { return printer.model().log().Count("job-ended") == 1; }));
  EXPECT_EQ(printer.model().ClosingZeros(), 1);
  const auto files = printer.model().log().OfKind("data-file");
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].Field("bytes"), "510");
  printer.Stop();
}

TEST(LpdAndSnmp, LpdRefusalsAndFaults) {
  VirtualPrinter printer(Config("127.0.0.43"));
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;
  const std::uint16_t port = printer.lpd_port();
  {
    auto tcp = Client(Socket::Kind::kStream, "127.0.0.43", port);
    ASSERT_TRUE(tcp);
    ASSERT_TRUE(Send(*tcp, "\x02lp9\n"));
    EXPECT_EQ(Answer(*tcp), 1);  // unknown queue
  }
  {
    auto tcp = Client(Socket::Kind::kStream, "127.0.0.43", port);
    ASSERT_TRUE(tcp);
    ASSERT_TRUE(Send(*tcp, "\x02lp1\n"));
    ASSERT_EQ(Answer(*tcp), 0);
    ASSERT_TRUE(Send(*tcp, "\x03-5 x\n"));  // a signed length
    EXPECT_EQ(Answer(*tcp), 1);
  }
  SimOptions options = printer.model().Options();
  options.lpd.refuse_data_file = 2;
  printer.model().SetOptions(options);
  {
    auto tcp = Client(Socket::Kind::kStream, "127.0.0.43", port);
    ASSERT_TRUE(tcp);
    ASSERT_TRUE(Send(*tcp, "\x02lp1\n"));
    ASSERT_EQ(Answer(*tcp), 0);
    EXPECT_EQ(DataFile(*tcp, "first"), std::make_pair(0, 0));
    EXPECT_EQ(DataFile(*tcp, "second").first, 1);
  }
  options.lpd.refuse_data_file = 0;
  options.lpd.close_instead_of_ack = true;
  printer.model().SetOptions(options);
  {
    auto tcp = Client(Socket::Kind::kStream, "127.0.0.43", port);
    ASSERT_TRUE(tcp);
    ASSERT_TRUE(Send(*tcp, "\x02lp1\n"));
    ASSERT_EQ(Answer(*tcp), 0);
    EXPECT_EQ(DataFile(*tcp, "data"), std::make_pair(0, -1));  // closed, no acknowledgement
  }
  options.lpd.close_instead_of_ack = false;
  options.lpd.refuse_job = true;
  printer.model().SetOptions(options);
  {
    auto tcp = Client(Socket::Kind::kStream, "127.0.0.43", port);
    ASSERT_TRUE(tcp);
    ASSERT_TRUE(Send(*tcp, "\x02lp1\n"));
    EXPECT_EQ(Answer(*tcp), 1);
  }
  options.lpd.refuse_job = false;
  options.lpd.refuse_connections = true;
  printer.model().SetOptions(options);
  EXPECT_TRUE(Eventually([&] { return !Client(Socket::Kind::kStream, "127.0.0.43", port); }));
  options.lpd.refuse_connections = false;
  printer.model().SetOptions(options);
  EXPECT_TRUE(
      Eventually([&] { return Client(Socket::Kind::kStream, "127.0.0.43", port) != nullptr; }));
  EXPECT_EQ(printer.model().log().Count("data-file"), 2u);
  printer.Stop();
}

TEST(LpdAndSnmp, SnmpFaultsAndUnknownObjects) {
  VirtualPrinter printer(Config("127.0.0.46"));
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;
  auto udp = Client(Socket::Kind::kDatagram, "127.0.0.46", printer.snmp_port(), 10000);
  ASSERT_TRUE(udp);
  SnmpMessage m;
  std::string why;

  std::string unknown = ReplyGetRequest();
  unknown[unknown.size() - 3] = 0x02;  // last arc 1 -> 2
  ASSERT_TRUE(ParseSnmpMessage(Exchange(*udp, unknown), m, why)) << why;
  EXPECT_EQ(m.error_status, kSnmpNoSuchName);
  EXPECT_EQ(m.error_index, 1);

  SimOptions options = printer.model().Options();
  options.snmp.error_status = 5;
  printer.model().SetOptions(options);
  ASSERT_TRUE(ParseSnmpMessage(Exchange(*udp, ReplyGetRequest()), m, why)) << why;
  EXPECT_EQ(m.error_status, 5);

  options.snmp.error_status = 0;
  options.snmp.truncated = true;
  printer.model().SetOptions(options);
  std::string cut = Exchange(*udp, ReplyGetRequest());
  EXPECT_FALSE(cut.empty());
  EXPECT_FALSE(ParseSnmpMessage(cut, m, why));

  options.snmp.truncated = false;
  options.snmp.malformed = true;
  printer.model().SetOptions(options);
  EXPECT_FALSE(ParseSnmpMessage(Exchange(*udp, ReplyGetRequest()), m, why));

  options.snmp.malformed = false;
  options.snmp.silent = true;
  printer.model().SetOptions(options);
  auto quick = Client(Socket::Kind::kDatagram, "127.0.0.46", printer.snmp_port(), 300);
  ASSERT_TRUE(quick);
  EXPECT_EQ(Exchange(*quick, ReplyGetRequest()), "");
  EXPECT_EQ(printer.model().log().Count("snmp-silent"), 1u);
  printer.Stop();
}

// Runs a command line and returns its standard output; `status` gets the exit status.
std::string RunTool(const std::string& command, int& status) {
  const std::string path = ::testing::TempDir() + "sim_servers_out.txt";
  status = std::system((command + " > " + path + " 2>/dev/null").c_str());
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  std::remove(path.c_str());
  return s.str();
}

TEST(LpdAndSnmp, NetSnmpToolsReadTheReplyAndRestartThePrinter) {
  VirtualPrinter printer(Config("127.0.0.45"));
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;
  const std::string target = "127.0.0.45:" + std::to_string(printer.snmp_port());
  const std::string get =
      "snmpget -v1 -c public -On -Oqv -t 0.3 -r 0 " + target + " " + std::string(kReplyOid);
  int status = -1;
  EXPECT_EQ(RunTool(get, status), "\"" + std::string(kIdleReply) + "\"\n");
  EXPECT_EQ(status, 0);

  const std::string set = "snmpset -v1 -c public -On -Oqv -t 1 -r 0 " + target + " " +
                          std::string(kRestartOid) + " i 10";
  EXPECT_EQ(RunTool(set, status), "10\n");
  EXPECT_EQ(status, 0);
  ASSERT_TRUE(Eventually([&] { return printer.model().Restarts() == 1; }));
  EXPECT_TRUE(printer.model().IsAway());
  RunTool(get, status);
  EXPECT_NE(status, 0);  // away: no answer
  EXPECT_TRUE(Eventually([&] { return !printer.model().IsAway(); }));
  EXPECT_EQ(RunTool(get, status), "\"" + std::string(kIdleReply) + "\"\n");

  RunTool("snmpset -v1 -c public -t 1 -r 0 " + target + " " + std::string(kRestartOid) + " i 11",
          status);
  EXPECT_NE(status, 0);  // only INTEGER 10 restarts
  EXPECT_EQ(printer.model().Restarts(), 1);
  printer.Stop();
}

// Bound to every address, the agent answers each request from the address it was sent to: a
// connected client takes datagrams from that address only.
TEST(LpdAndSnmp, AgentOnEveryAddressAnswersFromTheOneAsked) {
  VirtualPrinterConfig config = Config("0.0.0.0");
  config.lpd = false;
  VirtualPrinter printer(config);
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;
  for (const char* address : {"127.0.88.2", "127.0.88.3"}) {
    auto udp = Client(Socket::Kind::kDatagram, address, printer.snmp_port(), 1500);
    ASSERT_TRUE(udp);
    SnmpMessage m;
    std::string why;
    ASSERT_TRUE(ParseSnmpMessage(Exchange(*udp, ReplyGetRequest()), m, why)) << address << why;
    EXPECT_EQ(m.pdu_type, kPduResponse);
    ASSERT_EQ(m.bindings.size(), 1u);
    EXPECT_EQ(m.bindings[0].value, kIdleReply);
  }
  printer.Stop();
}

TEST(SnmpBer, ReadingStaysInsideTheDatagram) {
  const std::string request = ReplyGetRequest();
  SnmpMessage m;
  std::string why;
  ASSERT_TRUE(ParseSnmpMessage(request, m, why)) << why;
  EXPECT_EQ(m.pdu_type, kPduGet);
  EXPECT_EQ(m.request_id, std::string("\x00\x00\x12\x34", 4));
  ASSERT_EQ(m.bindings.size(), 1u);
  EXPECT_EQ(m.bindings[0].oid, EncodeOid(kReplyOid));
  EXPECT_EQ(OidText(m.bindings[0].oid), kReplyOid);
  for (std::size_t n = 0; n < request.size(); ++n) {
    EXPECT_FALSE(ParseSnmpMessage(request.substr(0, n), m, why)) << n;
  }
  std::string overlong = request;
  overlong[1] = static_cast<char>(0x84);  // a four-octet length that runs off the end
  EXPECT_FALSE(ParseSnmpMessage(overlong, m, why));

  // A long-form response (reply text over 127 octets) reads back.
  SnmpMessage big = m;
  big.pdu_type = kPduResponse;
  big.bindings[0].value_tag = kBerOctetString;
  big.bindings[0].value = std::string(300, 'R');
  SnmpMessage back;
  ASSERT_TRUE(ParseSnmpMessage(EncodeSnmpMessage(big), back, why)) << why;
  EXPECT_EQ(back.bindings[0].value, big.bindings[0].value);
  EXPECT_EQ(EncodeOid(kRestartOid),
            std::string("\x2B\x06\x01\x04\x01\xB9\x6D\x02\x08\x01\x00", 11));
  EXPECT_EQ(EncodeIntegerContent(128), std::string("\x00\x80", 2));
  EXPECT_EQ(EncodeIntegerContent(-2), std::string("\xFE", 1));
}

}  // namespace
}  // namespace tavi::sim
