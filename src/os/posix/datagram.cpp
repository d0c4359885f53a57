#include "os/datagram.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "os/posix/errno_codes.h"
#include "os/socket.h"

namespace tavi {
namespace {

class UdpEndpoint final : public DatagramEndpoint {
 public:
  explicit UdpEndpoint(int fd) : fd_(fd) {}
  ~UdpEndpoint() override { ::close(fd_); }
  UdpEndpoint(const UdpEndpoint&) = delete;
  UdpEndpoint& operator=(const UdpEndpoint&) = delete;

  bool SendTo(std::uint32_t address, std::uint16_t port,
              std::span<const std::byte> datagram) override {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    ssize_t n = 0;
    do {
      n = ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
                   sizeof to);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // The send queue is full: wait briefly for room once.
      pollfd p{fd_, POLLOUT, 0};
      if (::poll(&p, 1, kSendRoomWaitMs) > 0) {
        n = ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
                     sizeof to);
      }
    }
    return n == static_cast<ssize_t>(datagram.size());
  }

  ReceivedDatagram ReceiveFrom(std::span<std::byte> buffer, int wait_ms) override {
    ReceivedDatagram out;
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, std::max(wait_ms, 0));
    if (ready == 0 || (ready < 0 && errno == EINTR)) return out;
    if (ready < 0) {
      out.kind = ReceivedDatagram::Kind::kError;
      return out;
    }
    sockaddr_in from{};
    socklen_t from_length = sizeof from;
    // MSG_TRUNC: the result is the datagram's whole length even when the buffer is shorter.
    const ssize_t n = ::recvfrom(fd_, buffer.data(), buffer.size(), MSG_TRUNC | MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&from), &from_length);
    if (n < 0) {
      // An ICMP error for an earlier send (port unreachable) is no answer; nothing to read.
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNREFUSED ||
          errno == EHOSTUNREACH || errno == ENETUNREACH) {
        return out;
      }
      out.kind = ReceivedDatagram::Kind::kError;
      return out;
    }
    out.kind = ReceivedDatagram::Kind::kDatagram;
    out.truncated = static_cast<std::size_t>(n) > buffer.size();
    out.length = std::min(static_cast<std::size_t>(n), buffer.size());
    out.from = ntohl(from.sin_addr.s_addr);
    out.from_port = ntohs(from.sin_port);
    return out;
  }

 private:
  static constexpr int kSendRoomWaitMs = 20;
  int fd_;
};

}  // namespace

std::unique_ptr<DatagramEndpoint> OpenDatagramEndpoint(Failure& failure) {
  failure = {};
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    const int saved = errno;
    failure = {0, std::strerror(saved), SystemCode::Winsock(WsaCodeFromErrno(saved))};
    return nullptr;
  }
  const int on = 1;
  if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
    const int saved = errno;
    failure = {0, std::strerror(saved), SystemCode::Winsock(WsaCodeFromErrno(saved))};
    ::close(fd);
    return nullptr;
  }
  // Room for every answer of a large sweep that arrives between two reads.
  const int buffer = 1 << 20;
  (void)::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
  return std::make_unique<UdpEndpoint>(fd);
}

std::vector<std::uint32_t> InterfaceBroadcastAddresses() {
  std::vector<std::uint32_t> out;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return out;
  for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
    if ((i->ifa_flags & IFF_UP) == 0 || (i->ifa_flags & IFF_BROADCAST) == 0) continue;
    if ((i->ifa_flags & IFF_LOOPBACK) != 0 || i->ifa_broadaddr == nullptr) continue;
    const auto* b = reinterpret_cast<const sockaddr_in*>(i->ifa_broadaddr);
    const std::uint32_t address = ntohl(b->sin_addr.s_addr);
    if (address == 0) continue;
    if (std::find(out.begin(), out.end(), address) == out.end()) out.push_back(address);
  }
  ::freeifaddrs(list);
  return out;
}

}  // namespace tavi
