#include "support/lossy_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <span>

#include "core/net/ber.h"

namespace tavi::test {
namespace {

constexpr int kSliceMs = 5;

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string Endpoint(const std::string& address, std::uint16_t port) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  inet_pton(AF_INET, address.c_str(), &peer.sin_addr);
  return {reinterpret_cast<const char*>(&peer), sizeof peer};
}

int BoundUdp(const std::string& address, std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const std::string local = Endpoint(address, port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(local.data()), local.size()) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The request id of an SNMP message, if it can be read.
bool RequestId(const std::string& bytes, std::int32_t& id) {
  ber::DecodedMessage decoded;
  if (!ber::DecodeResponse(std::as_bytes(std::span(bytes.data(), bytes.size())), decoded)) {
    return false;
  }
  id = decoded.request_id;
  return true;
}

}  // namespace

LossyRelay::LossyRelay(const std::string& address, std::uint16_t port,
                       const std::string& agent_address, std::uint16_t agent_port, Rule rule)
    : agent_(Endpoint(agent_address, agent_port)), rule_(std::move(rule)) {
  listener_ = BoundUdp(address, port);
  upstream_ = BoundUdp(address, 0);
  if (ok()) thread_ = std::thread([this] { Run(); });
}

LossyRelay::Rule LossyRelay::RandomLoss(double fraction, std::uint32_t seed) {
  auto rng = std::make_shared<std::mt19937>(seed);
  return [rng, fraction](const Datagram&) {
    return Verdict{std::bernoulli_distribution(fraction)(*rng), 0};
  };
}

std::uint16_t LossyRelay::port() const {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::getsockname(listener_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin_port);
}

void LossyRelay::Stop() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
  for (int* fd : {&listener_, &upstream_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

LossyRelay::Counts LossyRelay::counts() const {
  std::lock_guard lock(mutex_);
  return counts_;
}

std::vector<int> LossyRelay::SendsPerPoll() const {
  std::lock_guard lock(mutex_);
  std::vector<int> sends(polls_.size());
  for (const auto& [id, poll] : polls_)
    sends[static_cast<std::size_t>(poll.number - 1)] = poll.requests;
  return sends;
}

void LossyRelay::Forward(int fd, const std::string& to, std::string bytes,
                         const Datagram& datagram) {
  const Verdict verdict = rule_ ? rule_(datagram) : Verdict{};
  if (verdict.drop) {
    std::lock_guard lock(mutex_);
    ++counts_.dropped;
    return;
  }
  if (verdict.delay_ms > 0) {
    {
      std::lock_guard lock(mutex_);
      ++counts_.delayed;
    }
    held_.push_back({NowMs() + verdict.delay_ms, fd, to, std::move(bytes)});
    return;
  }
  ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(to.data()),
           static_cast<socklen_t>(to.size()));
}

void LossyRelay::FromClient(const std::string& from, std::string bytes) {
  std::int32_t id = 0;
  if (!RequestId(bytes, id)) {  // not for the rule: it goes on as it came
    ::sendto(upstream_, bytes.data(), bytes.size(), 0,
             reinterpret_cast<const sockaddr*>(agent_.data()),
             static_cast<socklen_t>(agent_.size()));
    return;
  }
  Datagram datagram{Way::kRequest, 0, 0};
  {
    std::lock_guard lock(mutex_);
    ++counts_.requests;
    auto [it, fresh] = polls_.try_emplace(id);
    if (fresh) it->second.number = ++counts_.polls;
    it->second.client = from;
    datagram.poll = it->second.number;
    datagram.copy = ++it->second.requests;
  }
  Forward(upstream_, agent_, std::move(bytes), datagram);
}

void LossyRelay::FromAgent(std::string bytes) {
  std::int32_t id = 0;
  if (!RequestId(bytes, id)) return;
  Datagram datagram{Way::kAnswer, 0, 0};
  std::string client;
  {
    std::lock_guard lock(mutex_);
    ++counts_.answers;
    auto it = polls_.find(id);
    if (it == polls_.end()) return;  // no client asked this
    datagram.poll = it->second.number;
    datagram.copy = ++it->second.answers;
    client = it->second.client;
  }
  Forward(listener_, client, std::move(bytes), datagram);
}

void LossyRelay::Run() {
  std::string buffer(65536, '\0');
  while (!stop_.load()) {
    // Whatever is due goes out first, in the order it falls due.
    const std::int64_t now = NowMs();
    std::stable_sort(held_.begin(), held_.end(),
                     [](const Held& a, const Held& b) { return a.due_ms < b.due_ms; });
    while (!held_.empty() && held_.front().due_ms <= now) {
      const Held& h = held_.front();
      ::sendto(h.fd, h.bytes.data(), h.bytes.size(), 0,
               reinterpret_cast<const sockaddr*>(h.to.data()), static_cast<socklen_t>(h.to.size()));
      held_.erase(held_.begin());
    }
    int wait = kSliceMs;
    if (!held_.empty())
      wait = static_cast<int>(std::clamp<std::int64_t>(held_.front().due_ms - now, 0, kSliceMs));
    pollfd entries[2] = {{listener_, POLLIN, 0}, {upstream_, POLLIN, 0}};
    if (::poll(entries, 2, wait) <= 0) continue;
    for (const pollfd& entry : entries) {
      if ((entry.revents & POLLIN) == 0) continue;
      sockaddr_in from{};
      socklen_t from_length = sizeof from;
      const ssize_t n = ::recvfrom(entry.fd, buffer.data(), buffer.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &from_length);
      if (n < 0) continue;
      std::string bytes(buffer.data(), static_cast<std::size_t>(n));
      if (entry.fd == listener_) {
        FromClient({reinterpret_cast<const char*>(&from), from_length}, std::move(bytes));
      } else {
        FromAgent(std::move(bytes));
      }
    }
  }
}

}  // namespace tavi::test
