// The socket layer over POSIX descriptors that wait with poll().
#include "os/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include <array>
#include <string>
#include <utility>

#include "os/posix/errno_codes.h"

namespace tavi {

int WsaCodeFromErrno(int errno_value) {
  switch (errno_value) {
    case 0:
      return 0;
    case EINTR:
      return wsa::kEintr;
    case EBADF:
      return wsa::kEbadf;
    case EACCES:
      return wsa::kEacces;
    case EPERM:
      return wsa::kEacces;
    case EFAULT:
      return wsa::kEfault;
    case EINVAL:
      return wsa::kEinval;
    case EMFILE:
      return wsa::kEmfile;
    case ENFILE:
      return wsa::kEmfile;
    case EAGAIN:
      return wsa::kEwouldblock;
    case EINPROGRESS:
      return wsa::kEinprogress;
    case EALREADY:
      return wsa::kEalready;
    case ENOTSOCK:
      return wsa::kEnotsock;
    case EDESTADDRREQ:
      return wsa::kEdestaddrreq;
    case EMSGSIZE:
      return wsa::kEmsgsize;
    case EPROTOTYPE:
      return wsa::kEprototype;
    case ENOPROTOOPT:
      return wsa::kEnoprotoopt;
    case EPROTONOSUPPORT:
      return wsa::kEprotonosupport;
    case ESOCKTNOSUPPORT:
      return wsa::kEsocktnosupport;
    case EOPNOTSUPP:
      return wsa::kEopnotsupp;
    case EPFNOSUPPORT:
      return wsa::kEpfnosupport;
    case EAFNOSUPPORT:
      return wsa::kEafnosupport;
    case EADDRINUSE:
      return wsa::kEaddrinuse;
    case EADDRNOTAVAIL:
      return wsa::kEaddrnotavail;
    case ENETDOWN:
      return wsa::kEnetdown;
    case ENETUNREACH:
      return wsa::kEnetunreach;
    case ENETRESET:
      return wsa::kEnetreset;
    case ECONNABORTED:
      return wsa::kEconnaborted;
    case ECONNRESET:
      return wsa::kEconnreset;
    case EPIPE:
      return wsa::kEconnreset;
    case ENOBUFS:
      return wsa::kEnobufs;
    case ENOMEM:
      return wsa::kEnobufs;
    case EISCONN:
      return wsa::kEisconn;
    case ENOTCONN:
      return wsa::kEnotconn;
    case ESHUTDOWN:
      return wsa::kEshutdown;
    case ETOOMANYREFS:
      return wsa::kEtoomanyrefs;
    case ETIMEDOUT:
      return wsa::kEtimedout;
    case ECONNREFUSED:
      return wsa::kEconnrefused;
    case ELOOP:
      return wsa::kEloop;
    case ENAMETOOLONG:
      return wsa::kEnametoolong;
    case EHOSTDOWN:
      return wsa::kEhostdown;
    case EHOSTUNREACH:
      return wsa::kEhostunreach;
    case ENOTEMPTY:
      return wsa::kEnotempty;
    case EUSERS:
      return wsa::kEusers;
    case EDQUOT:
      return wsa::kEdquot;
    case ESTALE:
      return wsa::kEstale;
    case EREMOTE:
      return wsa::kEremote;
    default:
      return errno_value;
  }
}

namespace {

int Fd(std::intptr_t handle) {
  return static_cast<int>(handle);
}

int WsaCodeFromResolver(int eai) {
  switch (eai) {
    case EAI_NONAME:
      return wsa::kHostNotFound;
    case EAI_AGAIN:
      return wsa::kTryAgain;
    case EAI_FAIL:
      return wsa::kNoRecovery;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return wsa::kNoData;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
      return wsa::kNoData;
#endif
    case EAI_MEMORY:
      return wsa::kEnobufs;
    case EAI_SYSTEM:
      return WsaCodeFromErrno(errno);
    default:
      return wsa::kNoRecovery;
  }
}

}  // namespace

std::string ErrnoText(int errno_value) {
  std::array<char, 256> buffer{};
  // The GNU form returns the text, which may or may not be in the buffer.
  const char* text = ::strerror_r(errno_value, buffer.data(), buffer.size());
  return text != nullptr ? std::string(text) : "error " + std::to_string(errno_value);
}

bool ResolveHost(std::string_view host, NetAddress& out, Failure& failure) {
  if (ParseNumericAddress(host, out)) return true;
  const std::string name(host);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &result);
  if (rc != 0 || result == nullptr) {
    failure = ResolveFailure(host, rc != 0 ? WsaCodeFromResolver(rc) : wsa::kNoData);
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
  freeaddrinfo(result);
  if (!found) failure = ResolveFailure(host, wsa::kNoData);
  return found;
}

std::uint16_t ServicePort(const char* service, const char* protocol, std::uint16_t fallback) {
  servent entry{};
  servent* found = nullptr;
  std::array<char, 1024> scratch{};
  if (getservbyname_r(service, protocol, &entry, scratch.data(), scratch.size(), &found) != 0 ||
      found == nullptr) {
    return fallback;
  }
  return ntohs(static_cast<std::uint16_t>(found->s_port));
}

std::uint32_t CurrentProcessId() {
  return static_cast<std::uint32_t>(::getpid());
}

void Socket::Close() {
  if (handle_ != kNoHandle) {
    // A stream whose call Cancel broke off is reset, not drained: what is still queued for the
    // peer is dropped and the peer learns at once that the job is over.
    if (kind_ == Kind::kStream && WasCancelled()) {
      const linger reset{1, 0};
      ::setsockopt(Fd(handle_), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    ::close(Fd(handle_));
    handle_ = kNoHandle;
  }
}

bool Socket::FailSystem(int errno_value) {
  // A connected datagram socket learns of an ICMP port-unreachable as ECONNREFUSED on its next
  // call; Windows reports that as a reset connection.
  if (kind_ == Kind::kDatagram && errno_value == ECONNREFUSED) {
    return Fail(wsa::kEconnreset, ErrnoText(errno_value));
  }
  return Fail(WsaCodeFromErrno(errno_value), ErrnoText(errno_value));
}

bool Socket::EnsureHandle(NetAddress::Family family) {
  if (handle_ != kNoHandle) return true;
  const int type = kind_ == Kind::kStream ? SOCK_STREAM : SOCK_DGRAM;
  const int domain = family == NetAddress::Family::kIpv6 ? AF_INET6 : AF_INET;
  const int fd = ::socket(domain, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return FailSystem(errno);
  handle_ = fd;
  if (kind_ == Kind::kStream) {
    // Every exchange on a stream is a short line or byte followed by a wait for the peer's
    // answer; without this the end-of-data byte would wait for the data's acknowledgement.
    const int one = 1;
    ::setsockopt(Fd(handle_), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  return true;
}

bool Socket::WaitFor(Wait wait) {
  const short events = wait == Wait::kReadable ? POLLIN : POLLOUT;
  for (;;) {
    if (hook_ && !hook_()) return Fail(wsa::kEintr, "cancelled");
    pollfd entry{Fd(handle_), events, 0};
    const int rc = ::poll(&entry, 1, static_cast<int>(slice_.count()));
    if (rc > 0) return true;  // ready, or an error the next call will report
    if (rc < 0 && errno != EINTR) return FailSystem(errno);
  }
}

bool Socket::Connect(const NetAddress& address, std::uint16_t port) {
  if (!EnsureHandle(address.family)) return false;
  sockaddr_storage peer{};
  socklen_t peer_length = 0;
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
  if (::connect(Fd(handle_), reinterpret_cast<const sockaddr*>(&peer), peer_length) == 0)
    return true;
  if (errno != EINPROGRESS && errno != EINTR) {
    const int error = errno;
    Close();
    return FailSystem(error);
  }
  if (!WaitFor(Wait::kWritable)) {
    Close();  // a cancelled connect leaves no half-open descriptor behind
    return false;
  }
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(Fd(handle_), SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  if (error != 0) {
    Close();
    return FailSystem(error);
  }
  return true;
}

std::int32_t Socket::Send(std::span<const std::byte> bytes) {
  if (handle_ == kNoHandle) return Fail(wsa::kEnotsock, "not connected"), -1;
  std::size_t sent = 0;
  for (;;) {
    const ssize_t n = ::send(Fd(handle_), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n >= 0) {
      sent += static_cast<std::size_t>(n);
      // One datagram per call; a stream sends everything before it returns.
      if (kind_ == Kind::kDatagram || sent >= bytes.size()) return static_cast<std::int32_t>(sent);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return FailSystem(errno), -1;
    if (!WaitFor(Wait::kWritable)) return -1;
  }
}

std::int32_t Socket::Receive(std::span<std::byte> bytes) {
  if (handle_ == kNoHandle) return Fail(wsa::kEnotsock, "not connected"), -1;
  const int flags = kind_ == Kind::kDatagram ? MSG_TRUNC : 0;
  for (;;) {
    const ssize_t n = ::recv(Fd(handle_), bytes.data(), bytes.size(), flags);
    if (n >= 0) {
      // With MSG_TRUNC a datagram reports its real length; one that did not fit is lost.
      if (static_cast<std::size_t>(n) > bytes.size()) {
        return Fail(wsa::kEmsgsize, "a datagram of " + std::to_string(n) +
                                        " bytes did not fit the " + std::to_string(bytes.size()) +
                                        " bytes offered"),
               -1;
      }
      return static_cast<std::int32_t>(n);
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return FailSystem(errno), -1;
    if (!WaitFor(Wait::kReadable)) return -1;
  }
}

}  // namespace tavi
