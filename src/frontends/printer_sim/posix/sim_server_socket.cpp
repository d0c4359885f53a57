#include "frontends/printer_sim/posix/sim_server_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tavi {
namespace {

bool WaitReadable(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  int r = 0;
  do {
    r = ::poll(&p, 1, timeout_ms);
  } while (r < 0 && errno == EINTR);
  return r > 0;
}

// `address` as a socket address: dotted IPv4, or IPv6 bare or in brackets ("::1", "[::1]").
bool MakeAddress(std::string_view address, std::uint16_t port, sockaddr_storage& out,
                 socklen_t& length, std::string& error) {
  std::memset(&out, 0, sizeof out);
  std::string text(address);
  sockaddr_in v4{};
  if (::inet_pton(AF_INET, text.c_str(), &v4.sin_addr) == 1) {
    v4.sin_family = AF_INET;
    v4.sin_port = htons(port);
    std::memcpy(&out, &v4, sizeof v4);
    length = sizeof v4;
    return true;
  }
  if (text.size() > 2 && text.front() == '[' && text.back() == ']') {
    text = text.substr(1, text.size() - 2);
  }
  sockaddr_in6 v6{};
  if (::inet_pton(AF_INET6, text.c_str(), &v6.sin6_addr) == 1) {
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(port);
    std::memcpy(&out, &v6, sizeof v6);
    length = sizeof v6;
    return true;
  }
  error = "not an IPv4 or IPv6 address: " + std::string(address);
  return false;
}

SimPeer PeerOf(const sockaddr_storage& a) {
  SimPeer peer;
  if (a.ss_family == AF_INET6) {
    sockaddr_in6 v6{};
    std::memcpy(&v6, &a, sizeof v6);
    peer.ipv6 = true;
    std::memcpy(peer.address6.data(), v6.sin6_addr.s6_addr, peer.address6.size());
    peer.port = ntohs(v6.sin6_port);
    return peer;
  }
  sockaddr_in v4{};
  std::memcpy(&v4, &a, sizeof v4);
  peer.address = ntohl(v4.sin_addr.s_addr);
  peer.port = ntohs(v4.sin_port);
  return peer;
}

std::uint16_t BoundPort(int fd) {
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
  return PeerOf(a).port;
}

int BoundSocket(int type, std::string_view address, std::uint16_t port, std::uint16_t& bound,
                std::string& error) {
  sockaddr_storage a{};
  socklen_t length = 0;
  if (!MakeAddress(address, port, a, length, error)) return -1;
  const int fd = ::socket(a.ss_family, type | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  const int one = 1;
  if (type == SOCK_STREAM) {
    // TCP refuses a second listener on the port even so; UDP would share it, so never there.
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  }
  // An IPv6 address serves IPv6 only: "::" does not take IPv4 peers in disguise.
  if (a.ss_family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), length) != 0) {
    const int e = errno;
    const std::string where = std::string(type == SOCK_STREAM ? "TCP" : "UDP") + " port " +
                              std::string(address) + ":" + std::to_string(port);
    if (e == EADDRINUSE) {
      error = where + " is already in use (another virtual printer or server holds it)";
    } else {
      error = "cannot bind " + where + ": " + std::strerror(e);
    }
    ::close(fd);
    return -1;
  }
  bound = BoundPort(fd);
  return fd;
}

}  // namespace

std::string SimPeer::Host() const {
  if (ipv6) {
    std::array<char, INET6_ADDRSTRLEN> text{};
    ::inet_ntop(AF_INET6, address6.data(), text.data(), text.size());
    return "[" + std::string(text.data()) + "]";
  }
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xff) + "." +
         std::to_string((address >> 8) & 0xff) + "." + std::to_string(address & 0xff);
}

std::string SimPeer::Text() const {
  return Host() + ":" + std::to_string(port);
}

SimTcpConnection::SimTcpConnection(int fd, SimPeer peer) : fd_(fd), peer_(peer) {}

SimTcpConnection::~SimTcpConnection() {
  if (fd_ >= 0) ::close(fd_);
}

int SimTcpConnection::Receive(std::span<std::byte> into, int timeout_ms) {
  if (fd_ < 0) return kSimRecvError;
  if (!WaitReadable(fd_, timeout_ms)) return kSimRecvTimeout;
  ssize_t n = 0;
  do {
    n = ::recv(fd_, into.data(), into.size(), 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return kSimRecvError;
  return static_cast<int>(n);
}

bool SimTcpConnection::SendAll(std::span<const std::byte> bytes) {
  std::size_t done = 0;
  while (fd_ >= 0 && done < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return done == bytes.size();
}

void SimTcpConnection::Abort() {
  if (fd_ < 0) return;
  linger l{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  ::close(fd_);
  fd_ = -1;
}

SimTcpListener::~SimTcpListener() {
  Close();
}

bool SimTcpListener::Listen(std::string_view address, std::uint16_t port, std::string& error) {
  Close();
  fd_ = BoundSocket(SOCK_STREAM, address, port, port_, error);
  if (fd_ < 0) return false;
  if (::listen(fd_, 16) != 0) {
    error = std::string("listen: ") + std::strerror(errno);
    Close();
    return false;
  }
  return true;
}

std::unique_ptr<SimTcpConnection> SimTcpListener::Accept(int timeout_ms) {
  if (fd_ < 0 || !WaitReadable(fd_, timeout_ms)) return nullptr;
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  const int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&a), &len, SOCK_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<SimTcpConnection>(fd, PeerOf(a));
}

void SimTcpListener::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

SimUdpSocket::~SimUdpSocket() {
  Close();
}

bool SimUdpSocket::Bind(std::string_view address, std::uint16_t port, std::string& error) {
  Close();
  fd_ = BoundSocket(SOCK_DGRAM, address, port, port_, error);
  if (fd_ < 0) return false;
  // Every datagram then says which local address it came to.
  const int one = 1;
  ::setsockopt(fd_, IPPROTO_IP, IP_PKTINFO, &one, sizeof one);  // fails harmlessly on IPv6
  return true;
}

int SimUdpSocket::ReceiveFrom(std::span<std::byte> into, SimPeer& from, int timeout_ms,
                              std::uint32_t* local) {
  if (fd_ < 0) return kSimRecvError;
  if (!WaitReadable(fd_, timeout_ms)) return kSimRecvTimeout;
  sockaddr_storage a{};
  iovec data{into.data(), into.size()};
  alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))];
  msghdr m{};
  m.msg_name = &a;
  m.msg_namelen = sizeof a;
  m.msg_iov = &data;
  m.msg_iovlen = 1;
  m.msg_control = control;
  m.msg_controllen = sizeof control;
  ssize_t n = 0;
  do {
    n = ::recvmsg(fd_, &m, 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return kSimRecvError;
  from = PeerOf(a);
  if (local != nullptr) {
    *local = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&m); c != nullptr; c = CMSG_NXTHDR(&m, c)) {
      if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO &&
          c->cmsg_len >= CMSG_LEN(sizeof(in_pktinfo))) {
        in_pktinfo info{};
        std::memcpy(&info, CMSG_DATA(c), sizeof info);
        // The local address to answer from: the one asked for a unicast request, the
        // interface's own for a broadcast (never the broadcast address itself).
        *local = ntohl(info.ipi_spec_dst.s_addr);
      }
    }
  }
  return static_cast<int>(n);
}

bool SimUdpSocket::SendTo(std::span<const std::byte> bytes, const SimPeer& to,
                          std::uint32_t local) {
  if (fd_ < 0) return false;
  sockaddr_storage a{};
  socklen_t length = 0;
  if (to.ipv6) {
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(to.port);
    std::memcpy(v6.sin6_addr.s6_addr, to.address6.data(), to.address6.size());
    std::memcpy(&a, &v6, sizeof v6);
    length = sizeof v6;
    local = 0;  // the system answers from the address asked
  } else {
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(to.port);
    v4.sin_addr.s_addr = htonl(to.address);
    std::memcpy(&a, &v4, sizeof v4);
    length = sizeof v4;
  }
  iovec data{const_cast<std::byte*>(bytes.data()), bytes.size()};
  alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr m{};
  m.msg_name = &a;
  m.msg_namelen = length;
  m.msg_iov = &data;
  m.msg_iovlen = 1;
  if (local != 0) {
    m.msg_control = control;
    m.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&m);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_spec_dst.s_addr = htonl(local);
    std::memcpy(CMSG_DATA(c), &info, sizeof info);
  }
  ssize_t n = 0;
  do {
    n = ::sendmsg(fd_, &m, 0);
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(bytes.size());
}

void SimUdpSocket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace tavi
