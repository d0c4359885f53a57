// Small in-process peers on loopback for the faults real servers do not produce: a TCP server
// whose connections a handler serves on a thread, a UDP agent that answers with whatever the
// test makes of each request, and a listener whose queue is full so that a connect waits.
// Each stops its thread (and closes its sockets) when it goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tavi::test {

// Blocking helpers for a handler's descriptor (each waits at most 5 s).
// Reads up to and including the next '\n'; what was read so far when the peer closes.
std::string ReadLine(int fd);
// Reads exactly n bytes, or fewer when the peer closes.
std::string ReadBytes(int fd, std::size_t n);
bool WriteBytes(int fd, std::string_view bytes);

class FakeTcpServer {
 public:
  using Handler = std::function<void(int fd)>;
  // Serves every connection with `handler`, one after another; the connection closes when the
  // handler returns.
  FakeTcpServer(const std::string& address, std::uint16_t port, Handler handler);
  ~FakeTcpServer() { Stop(); }
  FakeTcpServer(const FakeTcpServer&) = delete;
  FakeTcpServer& operator=(const FakeTcpServer&) = delete;

  bool ok() const { return listener_ >= 0; }
  // Stops accepting and waits for the thread (and a handler in progress).
  void Stop();
  int connections() const { return connections_.load(); }

 private:
  void Run();

  int listener_ = -1;
  Handler handler_;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::thread thread_;
};

class FakeUdpAgent {
 public:
  // Gets each request datagram and returns the datagrams to send back (none = stay silent).
  using Handler = std::function<std::vector<std::string>(std::string_view request)>;
  FakeUdpAgent(const std::string& address, std::uint16_t port, Handler handler);
  ~FakeUdpAgent() { Stop(); }
  FakeUdpAgent(const FakeUdpAgent&) = delete;
  FakeUdpAgent& operator=(const FakeUdpAgent&) = delete;

  bool ok() const { return fd_ >= 0; }
  // The port bound (the one chosen by the system when 0 was asked).
  std::uint16_t port() const;
  void Stop();
  int requests() const { return requests_.load(); }

 private:
  void Run();

  int fd_ = -1;
  Handler handler_;
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
  std::thread thread_;
};

// A listener that never accepts, with its queue filled: a further connect to it waits.
class FullListener {
 public:
  FullListener(const std::string& address, std::uint16_t port);
  ~FullListener();
  FullListener(const FullListener&) = delete;
  FullListener& operator=(const FullListener&) = delete;
  bool ok() const { return full_; }

 private:
  int listener_ = -1;
  bool full_ = false;
  std::vector<int> fillers_;
};

// A GetResponse for `request` (which must be one of ours): same request id, the given error
// status, and the value as an OCTET STRING. Empty when the request is too short to copy from.
std::string MakeResponse(std::string_view request, int error_status, std::string_view value);

}  // namespace tavi::test
