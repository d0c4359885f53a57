// An unconnected UDP socket for sending one request to many hosts and taking their answers as
// they come, and the broadcast addresses of this machine's IPv4 interfaces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "core/failure/failure.h"

namespace tavi {

// Addresses here are IPv4 in host byte order (127.0.0.1 is 0x7F000001).
struct ReceivedDatagram {
  enum class Kind { kNone, kDatagram, kError };
  Kind kind = Kind::kNone;
  std::size_t length = 0;  // octets placed in the buffer
  bool truncated = false;  // the datagram was longer than the buffer
  std::uint32_t from = 0;
  std::uint16_t from_port = 0;
};

class DatagramEndpoint {
 public:
  virtual ~DatagramEndpoint() = default;
  // Sends one datagram; false when the socket refuses it.
  [[nodiscard]] virtual bool SendTo(std::uint32_t address, std::uint16_t port,
                                    std::span<const std::byte> datagram) = 0;
  // Waits at most `wait_ms` (0: only what is queued) for one datagram.
  [[nodiscard]] virtual ReceivedDatagram ReceiveFrom(std::span<std::byte> buffer, int wait_ms) = 0;
};

// A UDP socket on any local address and port, broadcast allowed. Null when it cannot be made
// (`failure` says why, with a Windows Sockets code).
std::unique_ptr<DatagramEndpoint> OpenDatagramEndpoint(Failure& failure);

// The broadcast address of every IPv4 interface that is up and has one, each once, in the
// order the system lists them. Loopback has none.
std::vector<std::uint32_t> InterfaceBroadcastAddresses();

}  // namespace tavi
