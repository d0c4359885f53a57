// The socket layer and the LPD client over Windows Sockets (run under Wine here): refused
// connects by their Windows Sockets name, waits in slices with the cancel hook between them,
// resets, name look-up failures. Peers are plain Winsock sockets on 127.0.5.x. (The datagram
// path is proven end to end: tavi-cli.exe reads every reply over SNMP from the virtual printer.)
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/connection/lpd_client.h"
#include "os/error_names.h"
#include "os/socket.h"
#include "os/socket_startup.h"

namespace tavi {
namespace {

using namespace std::chrono_literals;

Ipv4 Dotted(const char* text) {
  Ipv4 address;
  EXPECT_TRUE(ParseDottedAddress(text, address)) << text;
  return address;
}

class Winsock : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(StartSocketLayer()); }
};

// A socket bound to address:port (stream ones listening), closed when the object goes.
class BoundPeer {
 public:
  BoundPeer(int type, const char* address, std::uint16_t port) {
    socket_ = ::socket(AF_INET, type, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &local.sin_addr);
    ok_ = socket_ != INVALID_SOCKET &&
          ::bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
          (type != SOCK_STREAM || ::listen(socket_, 4) == 0);
  }
  ~BoundPeer() {
    if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
  }
  BoundPeer(const BoundPeer&) = delete;
  BoundPeer& operator=(const BoundPeer&) = delete;
  bool ok() const { return ok_; }
  SOCKET get() const { return socket_; }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  bool ok_ = false;
};

TEST_F(Winsock, RefusedConnectIsNamedAndTheLpdClientRecordsIt) {
  // Nothing listens on 127.0.5.1:21901.
  Socket socket(Socket::Kind::kStream);
  EXPECT_FALSE(socket.Connect(Dotted("127.0.5.1"), 21901));
  EXPECT_EQ(socket.LastFailure().code, SystemCode::Winsock(wsa::kEconnrefused));
  EXPECT_EQ(ErrorName(socket.LastFailure().code), "WSAECONNREFUSED");
  EXPECT_NE(socket.LastFailure().details.find("(WSAECONNREFUSED)"), std::string::npos)
      << socket.LastFailure().details;
  EXPECT_FALSE(socket.IsOpen());

  LpdClient client(21901);
  EXPECT_EQ(client.StartJob("127.0.5.1", "lp1"), -1);
  EXPECT_EQ(client.LastErrorText(), "Connect: WSAECONNREFUSED\r\n");
  EXPECT_TRUE(client.failure().details.starts_with("connect to 127.0.5.1 port 21901 (LPD): "))
      << client.failure().details;
  EXPECT_EQ(client.failure().code, SystemCode::Winsock(wsa::kEconnrefused));
  // An unresolvable name fails before any socket exists, by the resolver's code.
  LpdClient unnamed(21901);
  EXPECT_EQ(unnamed.StartJob("no..such.host", "lp1"), -1);
  EXPECT_EQ(unnamed.LastErrorText(), "gethostbyname: WSAHOST_NOT_FOUND\r\n");
}

TEST_F(Winsock, StreamWaitsInSlicesAndTheHookCancelsWithinOne) {
  BoundPeer listener(SOCK_STREAM, "127.0.5.2", 21902);
  ASSERT_TRUE(listener.ok());
  Socket socket(Socket::Kind::kStream);
  int hooks = 0;
  socket.SetPendingHook([&] { return ++hooks, true; });
  ASSERT_TRUE(socket.Connect(Dotted("127.0.5.2"), 21902));
  const SOCKET accepted = ::accept(listener.get(), nullptr, nullptr);
  ASSERT_NE(accepted, INVALID_SOCKET);

  // A large send to a peer that reads slowly waits for room and delivers every byte.
  std::vector<std::byte> data(4 << 20);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::byte>(i * 7);
  std::atomic<std::size_t> received{0};
  std::atomic<bool> same{true};
  std::thread reader([&] {
    std::array<char, 65536> buffer;
    std::size_t at = 0;
    for (;;) {
      const int n = ::recv(accepted, buffer.data(), static_cast<int>(buffer.size()), 0);
      if (n <= 0) break;
      for (int i = 0; i < n; ++i) {
        if (buffer[i] != static_cast<char>((at + i) * 7)) same = false;
      }
      at += n;
      received = at;
      if (at >= data.size()) break;
      std::this_thread::sleep_for(1ms);
    }
  });
  EXPECT_EQ(socket.Send(data), static_cast<std::int32_t>(data.size()));
  reader.join();
  EXPECT_EQ(received.load(), data.size());
  EXPECT_TRUE(same.load());

  // A receive that nothing answers: the hook runs between slices of at most 20 ms and ends it.
  hooks = 0;
  const auto start = std::chrono::steady_clock::now();
  auto cancel_at = std::chrono::steady_clock::time_point::max();
  socket.SetPendingHook([&] {
    ++hooks;
    if (std::chrono::steady_clock::now() - start >= 200ms && cancel_at == cancel_at.max()) {
      cancel_at = std::chrono::steady_clock::now();
    }
    return cancel_at == cancel_at.max();
  });
  std::array<std::byte, 16> buffer{};
  EXPECT_EQ(socket.Receive(buffer), -1);
  EXPECT_EQ(socket.LastFailure().code, SystemCode::Winsock(wsa::kEintr));
  EXPECT_LT(std::chrono::steady_clock::now() - cancel_at, 40ms);
  EXPECT_GE(hooks, 5);
  EXPECT_LE(hooks, 12);

  // The peer's orderly close is a receive of 0; a send after its reset fails as a reset.
  ::closesocket(accepted);
  socket.SetPendingHook({});
  EXPECT_EQ(socket.Receive(buffer), 0);
  std::int32_t result = 0;
  const std::vector<std::byte> more(1 << 20);
  for (int i = 0; i < 50 && result >= 0; ++i) result = socket.Send(more);
  EXPECT_EQ(result, -1);
  EXPECT_TRUE(socket.LastFailure().code.IsWinsock(wsa::kEconnreset) ||
              socket.LastFailure().code.IsWinsock(wsa::kEconnaborted))
      << socket.LastFailure().code.value;
}

TEST_F(Winsock, NamesServicesAndProcess) {
  NetAddress address;
  Failure error;
  EXPECT_FALSE(ResolveHost("no..such.host", address, error));
  EXPECT_EQ(ErrorName(error.code), "WSAHOST_NOT_FOUND");
  ASSERT_TRUE(ResolveHost("127.1", address, error));  // inet_addr's short form, no look-up
  EXPECT_EQ(FormatAddress(address), "127.0.0.1");
  ASSERT_TRUE(ResolveHost("[::1]", address, error));  // no look-up either
  EXPECT_EQ(BracketedAddress(address), "[::1]");
  EXPECT_EQ(ServicePort("no-such-service", "tcp", 515), 515);
  EXPECT_EQ(CurrentProcessId(), ::GetCurrentProcessId());
}

}  // namespace
}  // namespace tavi
