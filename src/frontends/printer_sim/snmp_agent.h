// The virtual printer's SNMP agent: answers GetRequests of the reply object with the current
// reply text and takes the restart SetRequest. Runs on its own thread. It answers only its
// community, and a response is never larger than the request plus room for one reply text:
// a request whose answer would be larger gets tooBig with the request's own bindings.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace tavi {
class SimUdpSocket;
}

namespace tavi::sim {

class PrinterModel;

inline constexpr std::int64_t kSnmpTooBig = 1;
inline constexpr std::int64_t kSnmpNoSuchName = 2;
inline constexpr std::int64_t kSnmpBadValue = 3;

// How much larger than its request a response may be: one reply text and its header.
inline constexpr std::size_t kSnmpReplyRoom = 1024;

class SnmpAgent {
 public:
  explicit SnmpAgent(PrinterModel& model);
  ~SnmpAgent();
  SnmpAgent(const SnmpAgent&) = delete;
  SnmpAgent& operator=(const SnmpAgent&) = delete;

  bool Start(const std::string& address, std::uint16_t port, std::string& error);
  void Stop();
  std::uint16_t port() const { return port_; }

  // The response to one request datagram, or "" when the agent stays silent. The restart, when
  // asked for, is reported through `restart` and carried out after the response went out.
  std::string Answer(std::string_view datagram, bool& restart);

 private:
  void Run();

  PrinterModel& model_;
  std::uint16_t port_ = 0;
  std::unique_ptr<SimUdpSocket> socket_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace tavi::sim
