#include "os/socket.h"

#include <arpa/inet.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "os/error_names.h"
#include "os/posix/errno_codes.h"
#include "support/fake_servers.h"

namespace tavi {
namespace {

using namespace std::chrono_literals;
using test::FakeTcpServer;
using test::FakeUdpAgent;
using test::FullListener;

Ipv4 Dotted(const char* text) {
  Ipv4 address;
  EXPECT_TRUE(ParseDottedAddress(text, address)) << text;
  return address;
}

std::uint32_t HostOrder(Ipv4 address) {
  return ntohl(address.network_order);
}

std::span<const std::byte> Bytes(std::string_view text) {
  return std::as_bytes(std::span(text.data(), text.size()));
}

TEST(SocketAddressTest, DottedFormsFollowTheInetAddrRules) {
  EXPECT_EQ(HostOrder(Dotted("127.0.0.20")), 0x7F000014u);
  EXPECT_EQ(HostOrder(Dotted("127.1")), 0x7F000001u);
  EXPECT_EQ(HostOrder(Dotted("0x7f.1")), 0x7F000001u);
  EXPECT_EQ(HostOrder(Dotted("2130706452")), 0x7F000014u);
  Ipv4 none;
  EXPECT_FALSE(ParseDottedAddress("255.255.255.255", none));  // the no-address value
  EXPECT_FALSE(ParseDottedAddress("1.2.3.4.5", none));
  EXPECT_FALSE(ParseDottedAddress("printer.local", none));
  EXPECT_FALSE(ParseDottedAddress("", none));
}

// The address rules are written out by hand so that every system reads an address the same
// way; this machine's inet_addr and inet_ntop are the reference they must match.
TEST(SocketAddressTest, DottedParseAndFormatMatchTheSystemOnEveryForm) {
  std::vector<std::string> texts = {"0",
                                    "00",
                                    "0x",
                                    "0x0",
                                    "0X1f.2",
                                    "1.",
                                    ".1",
                                    "1..2",
                                    "08",
                                    "011.1",
                                    "0xffffffff",
                                    "4294967295",
                                    "4294967296",
                                    "1.16777215",
                                    "1.16777216",
                                    "1.2.65535",
                                    "1.2.65536",
                                    "256.1",
                                    "1.2.3.256",
                                    "1.2.3.4 x",
                                    "1.2.3.4\t",
                                    "1.2.3.4x",
                                    "1.2.3.4.",
                                    " 1.2.3.4",
                                    "0x100.1",
                                    "0xg",
                                    "99999999999999999999999",
                                    "255.255.255.254",
                                    "1e3",
                                    std::string("1.2\0.3", 5),
                                    "+1",
                                    "-1",
                                    "0x7f.0.0.01"};
  std::mt19937 random(19);
  const std::string alphabet = "0123456789.xXaFg \t";
  for (int i = 0; i < 200000; ++i) {
    std::string text(random() % 12, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    texts.push_back(text);
  }
  int parsed = 0;
  for (const std::string& text : texts) {
    const in_addr_t expected = inet_addr(std::string(text).c_str());
    Ipv4 address{0x12345678};
    const bool ok = ParseDottedAddress(text, address);
    ASSERT_EQ(ok, expected != INADDR_NONE) << '"' << text << '"';
    if (!ok) continue;
    ++parsed;
    ASSERT_EQ(address.network_order, expected) << text;
    in_addr in{};
    in.s_addr = expected;
    ASSERT_EQ(FormatIpv4(address), inet_ntoa(in)) << text;
  }
  EXPECT_GT(parsed, 5000);  // the random forms reach the accepting paths, not only refusals
}

// IPv6 texts are read and written by hand too, with inet_pton and inet_ntop as the reference:
// random texts near the grammar (groups, "::", a dotted tail), and random addresses with runs of
// zero groups for the shortest form.
TEST(SocketAddressTest, Ipv6ParseAndFormatMatchTheSystemOnEveryForm) {
  std::vector<std::string> texts = {"::",
                                    "::1",
                                    "1::",
                                    ":1",
                                    "1:",
                                    ":::",
                                    "1:::2",
                                    "1::2::3",
                                    "1:2:3:4:5:6:7:8",
                                    "1:2:3:4:5:6:7:8:9",
                                    "1:2:3:4:5:6:7::",
                                    "::2:3:4:5:6:7:8",
                                    "1:2:3:4:5:6:7:8::",
                                    "12345::",
                                    "::ffff:1.2.3.4",
                                    "::1.2.3.4",
                                    "1.2.3.4",
                                    "::1.2.3.04",
                                    "::1.2.3.256",
                                    "::1.2.3",
                                    "::1.2.3.4.5",
                                    "1:2:3:4:5:6:1.2.3.4",
                                    "1:2:3:4:5:6:7:1.2.3.4",
                                    "::1.2.3.4:5",
                                    "fe80::1%1",
                                    "g::"};
  std::mt19937 random(23);
  const std::string alphabet = "0123456789abcdefABCDEF::::..";
  for (int i = 0; i < 300000; ++i) {
    std::string text(2 + random() % 22, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    texts.push_back(text);
  }
  int parsed = 0;
  for (const std::string& text : texts) {
    in6_addr expected{};
    const bool system_ok = inet_pton(AF_INET6, text.c_str(), &expected) == 1;
    NetAddress address;
    const bool ok = ParseIpv6Address(text, address);
    ASSERT_EQ(ok, system_ok) << '"' << text << '"';
    if (!ok) continue;
    ++parsed;
    ASSERT_TRUE(address.is_ipv6());
    ASSERT_EQ(std::memcmp(address.octets.data(), expected.s6_addr, 16), 0) << text;
    NetAddress bracketed;
    ASSERT_TRUE(ParseIpv6Address("[" + text + "]", bracketed)) << text;
    ASSERT_EQ(bracketed, address);
  }
  EXPECT_GT(parsed, 2000);
  for (const char* text : {"[::1", "::1]", "[]", "[[::1]]", "[1.2.3.4]"}) {
    NetAddress address;
    EXPECT_FALSE(ParseIpv6Address(text, address)) << text;
  }

  for (int i = 0; i < 200000; ++i) {
    NetAddress address;
    address.family = NetAddress::Family::kIpv6;
    for (std::size_t g = 0; g < 8; ++g) {
      // Mostly zero groups, so that runs of every length and place come up.
      const unsigned value = random() % 3 == 0 ? random() % 0x10000 : 0;
      address.octets[2 * g] = static_cast<std::uint8_t>(value >> 8);
      address.octets[2 * g + 1] = static_cast<std::uint8_t>(value);
    }
    if (i % 50 == 0) {  // IPv4-mapped
      address.octets = {0, 0, 0,    0,    0,   0, 0, 0,
                        0, 0, 0xFF, 0xFF, 192, 0, 2, static_cast<std::uint8_t>(i)};
    }
    // The system writes the deprecated IPv4-compatible form ("::1.2.3.4") where the first 96
    // bits are zero; we never do, so those addresses are compared by reading the text back.
    const bool compatible = std::all_of(address.octets.begin(), address.octets.begin() + 12,
                                        [](std::uint8_t o) { return o == 0; });
    const std::string text = FormatAddress(address);
    NetAddress back;
    ASSERT_TRUE(ParseIpv6Address(text, back)) << text;
    ASSERT_EQ(back, address) << text;
    if (compatible) continue;
    std::array<char, INET6_ADDRSTRLEN> expected{};
    ASSERT_NE(inet_ntop(AF_INET6, address.octets.data(), expected.data(), expected.size()),
              nullptr);
    ASSERT_EQ(text, expected.data());
  }
  NetAddress loopback;
  ASSERT_TRUE(ParseNumericAddress("::1", loopback));
  EXPECT_EQ(BracketedAddress(loopback), "[::1]");
  ASSERT_TRUE(ParseNumericAddress("127.1", loopback));
  EXPECT_EQ(BracketedAddress(loopback), "127.0.0.1");
}

TEST(SocketAddressTest, UnresolvableNameIsHostNotFound) {
  NetAddress address;
  Failure error;
  EXPECT_FALSE(ResolveHost("no..such.host", address, error));
  EXPECT_EQ(error.code, SystemCode::Winsock(wsa::kHostNotFound));
  EXPECT_EQ(error.details, "name 'no..such.host' not found");
  EXPECT_EQ(error.message_id, 0);
  EXPECT_TRUE(ResolveHost("127.0.0.21", address, error));
  EXPECT_FALSE(address.is_ipv6());
  EXPECT_EQ(HostOrder(address.ipv4()), 0x7F000015u);
  ASSERT_TRUE(ResolveHost("[::1]", address, error));
  EXPECT_TRUE(address.is_ipv6());
  EXPECT_EQ(FormatAddress(address), "::1");
}

TEST(SocketAddressTest, ServicePortFallsBackWhenTheServiceIsUnknown) {
  EXPECT_EQ(ServicePort("no-such-service-here", "tcp", 515), 515);
  EXPECT_EQ(ServicePort("printer", "tcp", 1), 515);  // listed in every services database
}

TEST(SocketErrorTest, ErrnoWithoutACounterpartIsNamedUnknown) {
  EXPECT_EQ(WsaCodeFromErrno(0), 0);
  EXPECT_EQ(ErrorName(SystemCode::Winsock(WsaCodeFromErrno(ENOENT))), "WSA_UNKNOWN");
  EXPECT_EQ(ErrorName(SystemCode::Winsock(WsaCodeFromErrno(EPIPE))), "WSAECONNRESET");
}

TEST(SocketStreamTest, RefusedConnectionKeepsItsError) {
  Socket socket(Socket::Kind::kStream);
  EXPECT_FALSE(socket.Connect(Dotted("127.0.0.20"), 20001));
  EXPECT_EQ(socket.LastFailure().code, SystemCode::Winsock(wsa::kEconnrefused));
  EXPECT_FALSE(socket.IsOpen());
  EXPECT_EQ(socket.Send(Bytes("x")), -1);
  EXPECT_EQ(socket.LastFailure().code, SystemCode::Winsock(wsa::kEnotsock));
}

TEST(SocketStreamTest, LargeSendReachesAPeerThatReadsSlowly) {
  // 8 MiB is far more than the socket buffers hold, so the send has to wait in between.
  const std::size_t total = 8u << 20;
  std::size_t received = 0;
  unsigned checksum = 0;
  {
    FakeTcpServer server("127.0.0.20", 20002, [&](int fd) {
      for (;;) {
        const std::string chunk = test::ReadBytes(fd, 65536);
        for (unsigned char c : chunk) checksum += c;
        received += chunk.size();
        if (chunk.size() < 65536) break;
      }
    });
    ASSERT_TRUE(server.ok());
    std::vector<std::byte> data(total);
    unsigned expected = 0;
    for (std::size_t i = 0; i < total; ++i) {
      data[i] = static_cast<std::byte>(i * 7);
      expected += static_cast<unsigned char>(i * 7);
    }
    Socket socket(Socket::Kind::kStream);
    int hooks = 0;
    socket.SetPendingHook([&] { return ++hooks, true; });
    ASSERT_TRUE(socket.Connect(Dotted("127.0.0.20"), 20002));
    EXPECT_EQ(socket.Send(data), static_cast<std::int32_t>(total));
    socket.Close();
    server.Stop();
    EXPECT_EQ(checksum, expected);
  }
  EXPECT_EQ(received, total);
}

TEST(SocketStreamTest, SendToAClosedPeerFailsWithoutKillingTheProcess) {
  FakeTcpServer server("127.0.0.20", 20003, [](int) {});  // closes at once
  ASSERT_TRUE(server.ok());
  Socket socket(Socket::Kind::kStream);
  ASSERT_TRUE(socket.Connect(Dotted("127.0.0.20"), 20003));
  std::array<std::byte, 16> buffer{};
  EXPECT_EQ(socket.Receive(buffer), 0);  // orderly close
  const std::vector<std::byte> data(1 << 20);
  std::int32_t result = 0;
  for (int i = 0; i < 50 && result >= 0; ++i) result = socket.Send(data);  // no SIGPIPE
  EXPECT_EQ(result, -1);
  EXPECT_EQ(socket.LastFailure().code, SystemCode::Winsock(wsa::kEconnreset));
}

TEST(SocketCancelTest, HookCancelsAWaitingReceiveWithinOneSlice) {
  FakeTcpServer server("127.0.0.20", 20004, [](int fd) { test::ReadBytes(fd, 1); });
  ASSERT_TRUE(server.ok());
  Socket socket(Socket::Kind::kStream);
  ASSERT_TRUE(socket.Connect(Dotted("127.0.0.20"), 20004));
  int hooks = 0;
  auto cancel_at = std::chrono::steady_clock::time_point::max();
  const auto start = std::chrono::steady_clock::now();
  socket.SetPendingHook([&] {
    ++hooks;
    if (std::chrono::steady_clock::now() - start >= 200ms && cancel_at == cancel_at.max()) {
      cancel_at = std::chrono::steady_clock::now();
    }
    return cancel_at == cancel_at.max();
  });
  std::array<std::byte, 16> buffer{};
  EXPECT_EQ(socket.Receive(buffer), -1);
  const auto returned = std::chrono::steady_clock::now();
  EXPECT_EQ(socket.LastFailure().code, SystemCode::Winsock(wsa::kEintr));
  EXPECT_LT(returned - cancel_at, 20ms);
  // 200 ms of waiting in slices of at most 20 ms asks the hook about ten times (fewer only
  // when the machine is too busy to wake the thread on time).
  EXPECT_GE(hooks, 5);
  EXPECT_LE(hooks, 12);
  socket.Close();
}

TEST(SocketCancelTest, HookCancelsAWaitingConnect) {
  FullListener listener("127.0.0.22", 20005);
  if (!listener.ok()) GTEST_SKIP() << "could not fill a listen queue to make a connect wait";
  Socket socket(Socket::Kind::kStream);
  int hooks = 0;
  socket.SetPendingHook([&] { return ++hooks < 5; });
  EXPECT_FALSE(socket.Connect(Dotted("127.0.0.22"), 20005));
  EXPECT_EQ(socket.LastFailure().code, SystemCode::Winsock(wsa::kEintr));
  EXPECT_EQ(hooks, 5);
  EXPECT_FALSE(socket.IsOpen());
}

TEST(SocketDatagramTest, OversizeDatagramFailsAndTheNextOneArrives) {
  FakeUdpAgent agent("127.0.0.21", 20006, [](std::string_view request) {
    return std::vector<std::string>{std::string(1501, 'a'), std::string(request)};
  });
  ASSERT_TRUE(agent.ok());
  Socket socket(Socket::Kind::kDatagram);
  ASSERT_TRUE(socket.Connect(Dotted("127.0.0.21"), 20006));
  EXPECT_EQ(socket.Send(Bytes("ping")), 4);
  std::array<std::byte, 1500> area{};
  EXPECT_EQ(socket.Receive(area), -1);
  EXPECT_EQ(socket.LastFailure().code, SystemCode::Winsock(wsa::kEmsgsize));
  EXPECT_EQ(socket.Receive(area), 4);
  EXPECT_EQ(std::to_integer<char>(area[0]), 'p');
}

TEST(SocketDatagramTest, PortUnreachableIsAResetConnection) {
  Socket socket(Socket::Kind::kDatagram);
  ASSERT_TRUE(socket.Connect(Dotted("127.0.0.21"), 20007));  // nobody listens there
  ASSERT_EQ(socket.Send(Bytes("ping")), 4);
  int hooks = 0;
  socket.SetPendingHook([&] { return ++hooks < 100; });  // a safety net, not the ending
  std::array<std::byte, 1500> area{};
  EXPECT_EQ(socket.Receive(area), -1);
  EXPECT_EQ(socket.LastFailure().code, SystemCode::Winsock(wsa::kEconnreset));
  EXPECT_LT(hooks, 100);
}

}  // namespace
}  // namespace tavi
