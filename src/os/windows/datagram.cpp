// The discovery socket over Windows Sockets, and the broadcast addresses of the IPv4 adapters
// (GetAdaptersAddresses).
#include "os/datagram.h"

// winsock2.h must come before windows.h, and iphlpapi.h after both.
#include <winsock2.h>
//
#include <windows.h>
#include <ws2tcpip.h>
//
#include <iphlpapi.h>
#include <mswsock.h>

#include <algorithm>
#include <vector>

#include "os/socket.h"
#include "os/windows/win_error.h"

namespace tavi {
namespace {

// Waits at most `ms` for `s` to be readable (or writable); false on time-out or failure.
bool WaitReady(SOCKET s, bool for_write, int ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval wait{};
  wait.tv_sec = ms / 1000;
  wait.tv_usec = (ms % 1000) * 1000;
  return ::select(0, for_write ? nullptr : &set, for_write ? &set : nullptr, nullptr, &wait) > 0;
}

class UdpEndpoint final : public DatagramEndpoint {
 public:
  explicit UdpEndpoint(SOCKET s) : socket_(s) {}
  ~UdpEndpoint() override { ::closesocket(socket_); }
  UdpEndpoint(const UdpEndpoint&) = delete;
  UdpEndpoint& operator=(const UdpEndpoint&) = delete;

  bool SendTo(std::uint32_t address, std::uint16_t port,
              std::span<const std::byte> datagram) override {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    const auto* data = reinterpret_cast<const char*>(datagram.data());
    const int length = static_cast<int>(datagram.size());
    int n = ::sendto(socket_, data, length, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK &&
        WaitReady(socket_, /*for_write=*/true, kSendRoomWaitMs)) {
      // The send queue was full: one more try once there is room.
      n = ::sendto(socket_, data, length, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    return n == length;
  }

  ReceivedDatagram ReceiveFrom(std::span<std::byte> buffer, int wait_ms) override {
    ReceivedDatagram out;
    if (!WaitReady(socket_, /*for_write=*/false, std::max(wait_ms, 0))) return out;
    sockaddr_in from{};
    int from_length = sizeof from;
    const int n =
        ::recvfrom(socket_, reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()),
                   0, reinterpret_cast<sockaddr*>(&from), &from_length);
    if (n == SOCKET_ERROR) {
      const int error = ::WSAGetLastError();
      if (error == WSAEMSGSIZE) {
        // Windows fills the buffer with the datagram's start and drops the rest.
        out.kind = ReceivedDatagram::Kind::kDatagram;
        out.truncated = true;
        out.length = buffer.size();
      } else if (error == WSAEWOULDBLOCK || error == WSAECONNRESET || error == WSAENETRESET ||
                 error == WSAEHOSTUNREACH || error == WSAENETUNREACH) {
        // An ICMP error for an earlier send (port unreachable) is no answer; nothing to read.
        return out;
      } else {
        out.kind = ReceivedDatagram::Kind::kError;
        return out;
      }
    } else {
      out.kind = ReceivedDatagram::Kind::kDatagram;
      out.length = static_cast<std::size_t>(n);
    }
    out.from = ntohl(from.sin_addr.s_addr);
    out.from_port = ntohs(from.sin_port);
    return out;
  }

 private:
  static constexpr int kSendRoomWaitMs = 20;
  SOCKET socket_;
};

Failure SocketFailure(int code) {
  return {0, WindowsErrorText(static_cast<DWORD>(code)), SystemCode::Winsock(code)};
}

}  // namespace

std::unique_ptr<DatagramEndpoint> OpenDatagramEndpoint(Failure& failure) {
  failure = {};
  const SOCKET s =
      ::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) {
    failure = SocketFailure(::WSAGetLastError());
    return nullptr;
  }
  u_long non_blocking = 1;
  const BOOL on = TRUE;
  if (::ioctlsocket(s, FIONBIO, &non_blocking) != 0 ||
      ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) !=
          0) {
    failure = SocketFailure(::WSAGetLastError());
    ::closesocket(s);
    return nullptr;
  }
  // Without this, an ICMP port-unreachable for one target ends the next receive with an error.
  BOOL report_resets = FALSE;
  DWORD returned = 0;
  (void)::WSAIoctl(s, SIO_UDP_CONNRESET, &report_resets, sizeof report_resets, nullptr, 0,
                   &returned, nullptr, nullptr);
  // Room for every answer of a large sweep that arrives between two reads.
  const int buffer = 1 << 20;
  (void)::setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&buffer),
                     sizeof buffer);
  return std::make_unique<UdpEndpoint>(s);
}

std::vector<std::uint32_t> InterfaceBroadcastAddresses() {
  std::vector<std::uint32_t> out;
  ULONG size = 16 * 1024;
  std::vector<unsigned char> storage;
  ULONG rc = ERROR_BUFFER_OVERFLOW;
  const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  for (int attempt = 0; attempt < 3 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
    storage.resize(size);
    rc = ::GetAdaptersAddresses(AF_INET, flags, nullptr,
                                reinterpret_cast<IP_ADAPTER_ADDRESSES*>(storage.data()), &size);
  }
  if (rc != NO_ERROR) return out;
  for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(storage.data()); a != nullptr;
       a = a->Next) {
    if (a->OperStatus != IfOperStatusUp || a->IfType == IF_TYPE_SOFTWARE_LOOPBACK) continue;
    for (auto* u = a->FirstUnicastAddress; u != nullptr; u = u->Next) {
      const sockaddr* sa = u->Address.lpSockaddr;
      if (sa == nullptr || sa->sa_family != AF_INET) continue;
      const unsigned prefix = u->OnLinkPrefixLength;
      if (prefix == 0 || prefix >= 31) continue;  // no broadcast on /31, /32
      const std::uint32_t address =
          ntohl(reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr);
      const std::uint32_t host_bits = 0xFFFFFFFFu >> prefix;
      const std::uint32_t broadcast = address | host_bits;
      if (std::find(out.begin(), out.end(), broadcast) == out.end()) out.push_back(broadcast);
    }
  }
  return out;
}

}  // namespace tavi
