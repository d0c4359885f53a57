// The virtual printer's LPD side (RFC 1179, receive-job only): one model session per job, one
// model write per data file. Runs on its own thread; connections are served one at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace tavi {
class Clock;
class SimTcpListener;
class SimTcpConnection;
}  // namespace tavi

namespace tavi::sim {

class PrinterModel;

// Limits on what a client may send.
inline constexpr std::size_t kLpdMaxLine = 256;
inline constexpr std::size_t kLpdMaxFileBytes = 64u << 20;
inline constexpr int kLpdIdleTimeoutMs = 30000;

class LpdServer {
 public:
  // `clock` paces the slow-acknowledgement fault; the model supplies the fault switches.
  LpdServer(PrinterModel& model, Clock& clock);
  ~LpdServer();
  LpdServer(const LpdServer&) = delete;
  LpdServer& operator=(const LpdServer&) = delete;

  // Binds `address`:`port` (0: ephemeral) and starts the thread.
  bool Start(const std::string& address, std::uint16_t port, std::string& error);
  // Stops the thread and closes the listener; joins.
  void Stop();
  std::uint16_t port() const { return port_; }

 private:
  void Run();
  void Serve(SimTcpConnection& connection);

  PrinterModel& model_;
  Clock& clock_;
  std::string address_;
  std::uint16_t port_ = 0;
  std::unique_ptr<SimTcpListener> listener_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace tavi::sim
