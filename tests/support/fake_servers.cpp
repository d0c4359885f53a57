#include "support/fake_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace tavi::test {
namespace {

constexpr int kHandlerWaitMs = 5000;

sockaddr_in Endpoint(const std::string& address, std::uint16_t port) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  inet_pton(AF_INET, address.c_str(), &peer.sin_addr);
  return peer;
}

int BoundSocket(int type, const std::string& address, std::uint16_t port) {
  const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  const sockaddr_in local = Endpoint(address, port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool WaitReadable(int fd, int ms) {
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, ms) == 1;
}

std::string Tlv(unsigned char tag, std::string_view content) {
  std::string out(1, static_cast<char>(tag));
  const std::size_t n = content.size();
  if (n < 0x80) {
    out += static_cast<char>(n);
  } else if (n < 0x100) {
    out += '\x81';
    out += static_cast<char>(n);
  } else {
    out += '\x82';
    out += static_cast<char>(n >> 8);
    out += static_cast<char>(n & 0xFF);
  }
  out += content;
  return out;
}

}  // namespace

std::string ReadLine(int fd) {
  std::string line;
  char c = 0;
  while (WaitReadable(fd, kHandlerWaitMs) && ::recv(fd, &c, 1, 0) == 1) {
    line += c;
    if (c == '\n') break;
  }
  return line;
}

std::string ReadBytes(int fd, std::size_t n) {
  std::string bytes(n, '\0');
  std::size_t done = 0;
  while (done < n && WaitReadable(fd, kHandlerWaitMs)) {
    const ssize_t got = ::recv(fd, bytes.data() + done, n - done, 0);
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  bytes.resize(done);
  return bytes;
}

bool WriteBytes(int fd, std::string_view bytes) {
  return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

FakeTcpServer::FakeTcpServer(const std::string& address, std::uint16_t port, Handler handler)
    : handler_(std::move(handler)) {
  listener_ = BoundSocket(SOCK_STREAM, address, port);
  if (listener_ >= 0 && ::listen(listener_, 8) != 0) {
    ::close(listener_);
    listener_ = -1;
  }
  if (listener_ >= 0) thread_ = std::thread([this] { Run(); });
}

void FakeTcpServer::Run() {
  while (!stop_.load()) {
    if (!WaitReadable(listener_, 20)) continue;
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++connections_;
    handler_(fd);
    ::close(fd);
  }
}

void FakeTcpServer::Stop() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) ::close(listener_);
  listener_ = -1;
}

FakeUdpAgent::FakeUdpAgent(const std::string& address, std::uint16_t port, Handler handler)
    : handler_(std::move(handler)) {
  fd_ = BoundSocket(SOCK_DGRAM, address, port);
  if (fd_ >= 0) thread_ = std::thread([this] { Run(); });
}

void FakeUdpAgent::Run() {
  std::string buffer(65536, '\0');
  while (!stop_.load()) {
    if (!WaitReadable(fd_, 20)) continue;
    sockaddr_in from{};
    socklen_t from_length = sizeof from;
    const ssize_t n = ::recvfrom(fd_, buffer.data(), buffer.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &from_length);
    if (n < 0) continue;
    ++requests_;
    for (const std::string& answer : handler_(std::string_view(buffer.data(), n))) {
      ::sendto(fd_, answer.data(), answer.size(), 0, reinterpret_cast<const sockaddr*>(&from),
               from_length);
    }
  }
}

std::uint16_t FakeUdpAgent::port() const {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin_port);
}

void FakeUdpAgent::Stop() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

FullListener::FullListener(const std::string& address, std::uint16_t port) {
  listener_ = BoundSocket(SOCK_STREAM, address, port);
  if (listener_ < 0 || ::listen(listener_, 0) != 0) return;
  const sockaddr_in peer = Endpoint(address, port);
  // Connect until one connect no longer completes: the queue is then full.
  for (int i = 0; i < 16 && !full_; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    fillers_.push_back(fd);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) continue;
    if (errno != EINPROGRESS) return;
    pollfd entry{fd, POLLOUT, 0};
    if (::poll(&entry, 1, 200) == 0) full_ = true;
  }
}

FullListener::~FullListener() {
  for (int fd : fillers_) ::close(fd);
  if (listener_ >= 0) ::close(listener_);
}

std::string MakeResponse(std::string_view request, int error_status, std::string_view value) {
  constexpr std::size_t kRequestIdAt = 17;  // after 30 L, version, community, PDU header, 02 04
  if (request.size() < kRequestIdAt + 4) return {};
  const std::string oid("\x2B\x06\x01\x04\x01\xB9\x6D\x02\x02\x02\x01\x18\x01", 13);
  const std::string binding = Tlv(0x30, Tlv(0x06, oid) + Tlv(0x04, value));
  const std::string pdu = Tlv(0x02, request.substr(kRequestIdAt, 4)) +
                          Tlv(0x02, std::string(1, static_cast<char>(error_status))) +
                          Tlv(0x02, std::string(1, '\0')) + Tlv(0x30, binding);
  return Tlv(0x30, Tlv(0x02, std::string(1, '\0')) + Tlv(0x04, "public") + Tlv(0xA2, pdu));
}

}  // namespace tavi::test
