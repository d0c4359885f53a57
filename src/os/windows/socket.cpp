// The blocking socket layer over Windows Sockets: non-blocking sockets that wait with select() in
// slices of at most 20 ms and ask the message-pending hook between slices. Errors are the codes
// WSAGetLastError gives, unchanged.
#include "os/socket.h"

// winsock2.h must come before windows.h.
#include <winsock2.h>
//
#include <windows.h>
#include <ws2tcpip.h>

#include <cstring>
#include <string>
#include <utility>

#include "os/error_names.h"
#include "os/windows/win_error.h"

namespace tavi {
namespace {

// The SOCKET kept in the object's handle (INVALID_SOCKET is the handle's -1).
SOCKET Native(std::intptr_t handle) {
  return static_cast<SOCKET>(handle);
}

// The system's words with the code's name, which support desks search for: "No connection could
// be made because the target machine actively refused it (WSAECONNREFUSED)".
std::string WsaText(int code) {
  return WindowsErrorText(static_cast<DWORD>(code)) + " (" +
         std::string(ErrorName(SystemCode::Winsock(code))) + ")";
}

}  // namespace

bool ResolveHost(std::string_view host, NetAddress& out, Failure& failure) {
  if (ParseNumericAddress(host, out)) return true;
  const std::string name(host);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  // getaddrinfo's failures are Windows Sockets codes (WSAHOST_NOT_FOUND, WSATRY_AGAIN, ...).
  const int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &result);
  if (rc != 0 || result == nullptr) {
    failure = ResolveFailure(host, rc != 0 ? rc : wsa::kNoData);
    return false;
  }
  const addrinfo* ipv4 = nullptr;
  const addrinfo* ipv6 = nullptr;
  for (const addrinfo* ai = result; ai != nullptr; ai = ai->ai_next) {
    if (ai->ai_family == AF_INET && ai->ai_addrlen >= sizeof(sockaddr_in) && ipv4 == nullptr) {
      ipv4 = ai;
    } else if (ai->ai_family == AF_INET6 && ai->ai_addrlen >= sizeof(sockaddr_in6) &&
               ipv6 == nullptr) {
      ipv6 = ai;
    }
  }
  if (ipv4 != nullptr) {
    out = NetAddress(Ipv4{reinterpret_cast<const sockaddr_in*>(ipv4->ai_addr)->sin_addr.s_addr});
  } else if (ipv6 != nullptr) {
    out.family = NetAddress::Family::kIpv6;
    std::memcpy(out.octets.data(),
                reinterpret_cast<const sockaddr_in6*>(ipv6->ai_addr)->sin6_addr.s6_addr, 16);
  }
  const bool found = ipv4 != nullptr || ipv6 != nullptr;
  ::freeaddrinfo(result);
  if (!found) failure = ResolveFailure(host, wsa::kNoData);
  return found;
}

std::uint16_t ServicePort(const char* service, const char* protocol, std::uint16_t fallback) {
  // The entry lives in storage of the calling thread until its next database call.
  const servent* found = ::getservbyname(service, protocol);
  if (found == nullptr) return fallback;
  return ntohs(static_cast<std::uint16_t>(found->s_port));
}

std::uint32_t CurrentProcessId() {
  return static_cast<std::uint32_t>(::GetCurrentProcessId());
}

void Socket::Close() {
  if (handle_ != kNoHandle) {
    // A stream whose call Cancel broke off is reset, not drained: what is still queued for the
    // peer is dropped and the peer learns at once that the job is over.
    if (kind_ == Kind::kStream && WasCancelled()) {
      const linger reset{1, 0};
      ::setsockopt(Native(handle_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset),
                   sizeof reset);
    }
    ::closesocket(Native(handle_));
    handle_ = kNoHandle;
  }
}

bool Socket::FailSystem(int code) {
  // Here the code is already a Windows Sockets code. A connected datagram socket learns of an
  // ICMP port-unreachable as a reset connection (some layers under Windows' API say refused).
  if (kind_ == Kind::kDatagram && code == WSAECONNREFUSED) code = WSAECONNRESET;
  return Fail(code, WsaText(code));
}

bool Socket::EnsureHandle(NetAddress::Family family) {
  if (handle_ != kNoHandle) return true;
  const int type = kind_ == Kind::kStream ? SOCK_STREAM : SOCK_DGRAM;
  const int protocol = kind_ == Kind::kStream ? IPPROTO_TCP : IPPROTO_UDP;
  const int domain = family == NetAddress::Family::kIpv6 ? AF_INET6 : AF_INET;
  const SOCKET s = ::WSASocketW(domain, type, protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return FailSystem(::WSAGetLastError());
  u_long non_blocking = 1;
  if (::ioctlsocket(s, FIONBIO, &non_blocking) != 0) {
    const int error = ::WSAGetLastError();
    ::closesocket(s);
    return FailSystem(error);
  }
  handle_ = static_cast<Handle>(s);
  if (kind_ == Kind::kStream) {
    // Every exchange on a stream is a short line or byte followed by a wait for the peer's
    // answer; without this the end-of-data byte would wait for the data's acknowledgement.
    const BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  }
  return true;
}

bool Socket::WaitFor(Wait wait) {
  const SOCKET s = Native(handle_);
  for (;;) {
    if (hook_ && !hook_()) return Fail(wsa::kEintr, "cancelled");
    fd_set readable;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    // A connect that fails is reported among the failed sockets, never as writable.
    FD_SET(s, wait == Wait::kReadable ? &readable : &writable);
    FD_SET(s, &failed);
    timeval slice{};
    slice.tv_usec = static_cast<long>(slice_.count() * 1000);
    const int rc = ::select(0, &readable, &writable, &failed, &slice);
    if (rc > 0) return true;  // ready, or an error the next call will report
    if (rc == SOCKET_ERROR) return FailSystem(::WSAGetLastError());
  }
}

bool Socket::Connect(const NetAddress& address, std::uint16_t port) {
  if (!EnsureHandle(address.family)) return false;
  sockaddr_storage peer{};
  int peer_length = 0;
  if (address.is_ipv6()) {
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(port);
    std::memcpy(v6.sin6_addr.s6_addr, address.octets.data(), 16);
    std::memcpy(&peer, &v6, sizeof v6);
    peer_length = sizeof v6;
  } else {
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(port);
    v4.sin_addr.s_addr = address.ipv4().network_order;
    std::memcpy(&peer, &v4, sizeof v4);
    peer_length = sizeof v4;
  }
  const SOCKET s = Native(handle_);
  if (::connect(s, reinterpret_cast<const sockaddr*>(&peer), peer_length) == 0) return true;
  const int started = ::WSAGetLastError();
  if (started != WSAEWOULDBLOCK && started != WSAEINPROGRESS) {
    Close();
    return FailSystem(started);
  }
  if (!WaitFor(Wait::kWritable)) {
    Close();  // a cancelled connect leaves no half-open socket behind
    return false;
  }
  int error = 0;
  int length = sizeof error;
  if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
    error = ::WSAGetLastError();
  }
  if (error != 0) {
    Close();
    return FailSystem(error);
  }
  return true;
}

std::int32_t Socket::Send(std::span<const std::byte> bytes) {
  if (handle_ == kNoHandle) return Fail(wsa::kEnotsock, "not connected"), -1;
  const SOCKET s = Native(handle_);
  std::size_t sent = 0;
  for (;;) {
    const std::size_t left = bytes.size() - sent;
    const int chunk = left > (1u << 30) ? (1 << 30) : static_cast<int>(left);
    const int n = ::send(s, reinterpret_cast<const char*>(bytes.data() + sent), chunk, 0);
    if (n != SOCKET_ERROR) {
      sent += static_cast<std::size_t>(n);
      // One datagram per call; a stream sends everything before it returns.
      if (kind_ == Kind::kDatagram || sent >= bytes.size()) return static_cast<std::int32_t>(sent);
      continue;
    }
    const int error = ::WSAGetLastError();
    if (error != WSAEWOULDBLOCK) return FailSystem(error), -1;
    if (!WaitFor(Wait::kWritable)) return -1;
  }
}

std::int32_t Socket::Receive(std::span<std::byte> bytes) {
  if (handle_ == kNoHandle) return Fail(wsa::kEnotsock, "not connected"), -1;
  const SOCKET s = Native(handle_);
  const int room = bytes.size() > (1u << 30) ? (1 << 30) : static_cast<int>(bytes.size());
  for (;;) {
    const int n = ::recv(s, reinterpret_cast<char*>(bytes.data()), room, 0);
    if (n != SOCKET_ERROR) return n;
    const int error = ::WSAGetLastError();
    if (error == WSAEMSGSIZE) {
      // A datagram longer than the buffer: Windows hands over its first part and drops the rest.
      return Fail(wsa::kEmsgsize,
                  "a datagram did not fit the " + std::to_string(bytes.size()) + " bytes offered"),
             -1;
    }
    if (error != WSAEWOULDBLOCK) return FailSystem(error), -1;
    if (!WaitFor(Wait::kReadable)) return -1;
  }
}

}  // namespace tavi
