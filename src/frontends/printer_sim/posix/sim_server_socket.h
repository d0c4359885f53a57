// Server-side sockets for the virtual printer: a TCP listener with its connections and a bound
// UDP socket, on an IPv4 or an IPv6 address. Every wait is bounded by a time-out so that server
// threads can notice a stop.
// Both sockets are exclusive: a port another socket holds (any user's) makes the bind fail.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace tavi {

// Results of a receive besides a byte count.
inline constexpr int kSimRecvClosed = 0;
inline constexpr int kSimRecvError = -1;
inline constexpr int kSimRecvTimeout = -2;

// A peer: an IPv4 address and port in host byte order, or an IPv6 address.
struct SimPeer {
  std::uint32_t address = 0;  // IPv4
  std::uint16_t port = 0;
  bool ipv6 = false;
  std::array<std::uint8_t, 16> address6{};  // IPv6, network order
  std::string Host() const;                 // "127.0.0.1", "[::1]"
  std::string Text() const;                 // "127.0.0.1:40000", "[::1]:40000"
};

// A byte stream to one client, as the server's connection handlers see it.
class SimStream {
 public:
  virtual ~SimStream() = default;
  // Bytes received (> 0), kSimRecvClosed, kSimRecvError or kSimRecvTimeout.
  virtual int Receive(std::span<std::byte> into, int timeout_ms) = 0;
  virtual bool SendAll(std::span<const std::byte> bytes) = 0;
};

class SimTcpConnection final : public SimStream {
 public:
  SimTcpConnection(int fd, SimPeer peer);
  ~SimTcpConnection() override;
  SimTcpConnection(const SimTcpConnection&) = delete;
  SimTcpConnection& operator=(const SimTcpConnection&) = delete;

  int Receive(std::span<std::byte> into, int timeout_ms) override;
  bool SendAll(std::span<const std::byte> bytes) override;
  // Closes with a reset instead of an orderly close.
  void Abort();
  const SimPeer& peer() const { return peer_; }

 private:
  int fd_;
  SimPeer peer_;
};

class SimTcpListener {
 public:
  SimTcpListener() = default;
  ~SimTcpListener();
  SimTcpListener(const SimTcpListener&) = delete;
  SimTcpListener& operator=(const SimTcpListener&) = delete;

  // Binds and listens; port 0 takes an ephemeral port. Address reuse is on, which on this
  // system only lets a restart bind beside closing connections, never beside a listener.
  bool Listen(std::string_view address, std::uint16_t port, std::string& error);
  std::uint16_t port() const { return port_; }
  bool IsOpen() const { return fd_ >= 0; }
  // A new connection, or null when none came within the time-out (or on error).
  std::unique_ptr<SimTcpConnection> Accept(int timeout_ms);
  void Close();

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

class SimUdpSocket {
 public:
  SimUdpSocket() = default;
  ~SimUdpSocket();
  SimUdpSocket(const SimUdpSocket&) = delete;
  SimUdpSocket& operator=(const SimUdpSocket&) = delete;

  // Binds without address reuse, so that no second socket can share the port.
  bool Bind(std::string_view address, std::uint16_t port, std::string& error);
  std::uint16_t port() const { return port_; }
  // Datagram length (>= 0, cut at into.size()), kSimRecvError or kSimRecvTimeout. `local`, when
  // given, receives the local address to answer from (host byte order; 0 when unknown, and
  // always on IPv6): the one the datagram was sent to, or for a broadcast the address of the
  // interface it came in on.
  int ReceiveFrom(std::span<std::byte> into, SimPeer& from, int timeout_ms,
                  std::uint32_t* local = nullptr);
  // Sends from `local` when nonzero (the address a request came to, so that a socket bound to
  // every address answers from the one that was asked), else from the address the system picks.
  bool SendTo(std::span<const std::byte> bytes, const SimPeer& to, std::uint32_t local = 0);
  void Close();

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace tavi
