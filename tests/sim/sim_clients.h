// Plain clients of the virtual printer's servers for tests: sockets with bounded waits, LPD steps
// and SNMP datagrams built octet by octet.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "core/resources/constants.h"
#include "frontends/printer_sim/snmp_ber.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "os/socket.h"
#include "poller.h"

namespace tavi::sim {

using SteadyTime = std::chrono::steady_clock;

// A client socket whose blocking calls give up after `ms`.
inline std::unique_ptr<Socket> Client(Socket::Kind kind, const char* address, std::uint16_t port,
                                      int ms = 2000) {
  auto s = std::make_unique<Socket>(kind);
  const auto deadline = SteadyTime::now() + std::chrono::milliseconds(ms);
  s->SetPendingHook([deadline] { return SteadyTime::now() < deadline; });
  Ipv4 ip;
  if (!ParseDottedAddress(address, ip) || !s->Connect(ip, port)) return nullptr;
  return s;
}

inline bool Send(Socket& s, std::string_view bytes) {
  return s.Send(std::as_bytes(std::span(bytes.data(), bytes.size()))) ==
         static_cast<std::int32_t>(bytes.size());
}

// The first byte of the next answer; -1 when the peer closed or nothing came.
inline int Answer(Socket& s) {
  std::byte b[64];
  const auto n = s.Receive(b);
  return n > 0 ? static_cast<int>(b[0]) : -1;
}

// Sends one data file and returns the first bytes of the two acknowledgements (-1: none).
inline std::pair<int, int> DataFile(Socket& s, std::string_view data) {
  if (!Send(s, "\x03" + std::to_string(data.size()) + " x\n")) return {-1, -1};
  const int first = Answer(s);
  if (first != 0) return {first, -1};
  if (!Send(s, data) || !Send(s, std::string(1, '\0'))) return {0, -1};
  return {0, Answer(s)};
}

// Waits (real time) until `done` holds, at most two seconds.
template <typename F>
inline bool Eventually(F done) {
  for (int i = 0; i < 200; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

// A TCP client from a chosen loopback address (the system would pick 127.0.0.1 for every one),
// for what one peer address may hold. Closed with the object.
class PeerClient {
 public:
  PeerClient(const char* local, const char* server, std::uint16_t port)
      : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in from{};
    from.sin_family = AF_INET;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    connected_ = fd_ >= 0 && ::inet_pton(AF_INET, local, &from.sin_addr) == 1 &&
                 ::inet_pton(AF_INET, server, &to.sin_addr) == 1 &&
                 ::bind(fd_, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
                 ::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
  }
  ~PeerClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  PeerClient(const PeerClient&) = delete;
  PeerClient& operator=(const PeerClient&) = delete;

  bool connected() const { return connected_; }
  bool Send(std::string_view bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }
  // The first byte of the next answer; -1 when the peer closed or nothing came in `ms`.
  int Answer(int ms = 2000) {
    pollfd p{fd_, POLLIN, 0};
    unsigned char b[64];
    if (::poll(&p, 1, ms) != 1) return -1;
    return ::recv(fd_, b, sizeof b, 0) > 0 ? b[0] : -1;
  }
  // Starts a job on queue "lp1": true when the printer acknowledged it.
  bool StartJob() { return Send("\x02lp1\n") && Answer() == 0; }

 private:
  int fd_;
  bool connected_ = false;
};

inline VirtualPrinterConfig Config(const char* address) {
  VirtualPrinterConfig c;
  c.address = address;
  c.options.reply_delay_ms = 0;
  c.options.away_ms = 800;
  return c;
}

// The GetRequest of the reply object, request id 0x00001234, built octet by octet.
inline std::string ReplyGetRequest() {
  const unsigned char bytes[] = {0x30, 0x2E, 0x02, 0x01, 0x00, 0x04, 0x06, 'p',  'u',  'b',
                                 'l',  'i',  'c',  0xA0, 0x21, 0x02, 0x04, 0x00, 0x00, 0x12,
                                 0x34, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x13, 0x30,
                                 0x11, 0x06, 0x0D, 0x2B, 0x06, 0x01, 0x04, 0x01, 0xB9, 0x6D,
                                 0x02, 0x02, 0x02, 0x01, 0x18, 0x01, 0x05, 0x00};
  return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// One datagram exchange; "" when nothing came back in time.
inline std::string Exchange(Socket& udp, std::string_view request) {
  if (!Send(udp, request)) return {};
  std::string buf(2000, '\0');
  const auto n = udp.Receive(std::as_writable_bytes(std::span(buf.data(), buf.size())));
  return n > 0 ? buf.substr(0, static_cast<std::size_t>(n)) : std::string{};
}

// Polls the report's answer over SNMP, one GetRequest of the reply object per reply text.
inline test::PollResult PollReportOverSnmp(Socket& udp) {
  return test::PollAnswer(
      [&](std::string& text) {
        SnmpMessage m;
        std::string why;
        if (!ParseSnmpMessage(Exchange(udp, ReplyGetRequest()), m, why)) return false;
        if (m.error_status != 0 || m.bindings.size() != 1) return false;
        text = m.bindings[0].value;
        return m.bindings[0].value_tag == kBerOctetString;
      },
      kMarkerReport);
}

}  // namespace tavi::sim
