// The virtual printer's LPD side: a listener that serves every connection on its own thread, at
// most kLpdMaxConnections at a time and at most kLpdMaxPerPeer of them from one peer address, so
// that no client, nor one machine opening many connections, can hold the service for others.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tavi {
class Clock;
class SimTcpListener;
}  // namespace tavi

namespace tavi::sim {

class PrinterModel;

// Connections served at once; one more is closed at once (and logged).
inline constexpr std::size_t kLpdMaxConnections = 16;
// Connections one peer address may hold at once; one more from it is closed at once (and
// logged). A workstation needs one job per printer at a time: four leave room for a window and a
// command-line run side by side and a connection still closing, while one address can never
// take more than a quarter of the slots.
inline constexpr std::size_t kLpdMaxPerPeer = 4;

class LpdServer {
 public:
  // `clock` measures each connection's steps and paces the slow-acknowledgement fault; the
  // model supplies the fault switches.
  LpdServer(PrinterModel& model, Clock& clock);
  ~LpdServer();
  LpdServer(const LpdServer&) = delete;
  LpdServer& operator=(const LpdServer&) = delete;

  // Binds `address`:`port` (0: ephemeral) and starts the thread.
  bool Start(const std::string& address, std::uint16_t port, std::string& error);
  // Stops the accepting thread and every connection, closes the listener; joins.
  void Stop();
  std::uint16_t port() const { return port_; }
  // Connections being served now.
  std::size_t Active();

 private:
  struct Worker {
    std::thread thread;
    std::atomic<bool> done{false};
    std::string peer;  // the client's address
  };
  void Run();
  // Joins the workers that finished.
  void Reap();

  PrinterModel& model_;
  Clock& clock_;
  std::string address_;
  std::uint16_t port_ = 0;
  std::unique_ptr<SimTcpListener> listener_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex workers_mutex_;
  std::list<Worker> workers_;
};

}  // namespace tavi::sim
