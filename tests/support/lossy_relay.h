// A UDP relay on loopback between SNMP clients and an agent that plays a lossy network: each
// datagram, either way, goes through a rule that passes it, drops it or holds it back for a
// while. Requests are told apart by their request id: the first datagram with a new id opens a
// new poll, and every later one with that id is another send of the same request. Answers go
// back to the client that sent the request last. One thread; it stops (and closes its sockets)
// when the relay goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tavi::test {

class LossyRelay {
 public:
  enum class Way { kRequest, kAnswer };
  // What the rule is asked about: which way, which poll (1, 2, ... in the order the request ids
  // first came) and which copy (the n-th request of that poll, or the n-th answer to it).
  struct Datagram {
    Way way = Way::kRequest;
    int poll = 0;
    int copy = 0;
  };
  struct Verdict {
    bool drop = false;
    int delay_ms = 0;  // held back this long before it goes on
  };
  using Rule = std::function<Verdict(const Datagram&)>;

  // Listens on `address`:`port` (0: any free port) and forwards to the agent at
  // `agent_address`:`agent_port`.
  LossyRelay(const std::string& address, std::uint16_t port, const std::string& agent_address,
             std::uint16_t agent_port, Rule rule);
  ~LossyRelay() { Stop(); }
  LossyRelay(const LossyRelay&) = delete;
  LossyRelay& operator=(const LossyRelay&) = delete;

  // Drops `fraction` of the datagrams either way, at random from `seed` (the same seed, the same
  // choices for the same sequence of datagrams).
  static Rule RandomLoss(double fraction, std::uint32_t seed);

  bool ok() const { return listener_ >= 0 && upstream_ >= 0; }
  std::uint16_t port() const;
  void Stop();

  struct Counts {
    int polls = 0;     // distinct requests
    int requests = 0;  // request datagrams that came, resends included
    int answers = 0;   // answers that came from the agent
    int dropped = 0;
    int delayed = 0;
  };
  Counts counts() const;
  // How often each poll's request came, in poll order.
  std::vector<int> SendsPerPoll() const;

 private:
  struct Held {
    std::int64_t due_ms = 0;
    int fd = -1;
    std::string to;  // a sockaddr_in's bytes
    std::string bytes;
  };
  struct Poll {
    int number = 0;
    int requests = 0;
    int answers = 0;
    std::string client;  // the sockaddr_in its last request came from
  };
  void Run();
  void Forward(int fd, const std::string& to, std::string bytes, const Datagram& datagram);
  void FromClient(const std::string& from, std::string bytes);
  void FromAgent(std::string bytes);

  int listener_ = -1;
  int upstream_ = -1;
  std::string agent_;  // sockaddr_in
  Rule rule_;
  std::vector<Held> held_;
  mutable std::mutex mutex_;  // guards polls_ and counts_, which tests read while it runs
  std::map<std::int32_t, Poll> polls_;
  Counts counts_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace tavi::test
