#include "frontends/printer_sim/lpd_server.h"

#include "core/ui/seams.h"
#include "frontends/printer_sim/lpd_connection.h"
#include "frontends/printer_sim/posix/sim_server_socket.h"
#include "frontends/printer_sim/printer_model.h"

namespace tavi::sim {
namespace {

constexpr int kSliceMs = 20;

}  // namespace

LpdServer::LpdServer(PrinterModel& model, Clock& clock) : model_(model), clock_(clock) {}

LpdServer::~LpdServer() {
  Stop();
}

bool LpdServer::Start(const std::string& address, std::uint16_t port, std::string& error) {
  Stop();
  listener_ = std::make_unique<SimTcpListener>();
  if (!listener_->Listen(address, port, error)) return false;
  address_ = address;
  port_ = listener_->port();
  stop_ = false;
  thread_ = std::thread([this] { Run(); });
  model_.log().Add(Ev("lpd-listening").Str("address", address_).Num("port", port_).event);
  return true;
}

void LpdServer::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  {
    std::lock_guard lock(workers_mutex_);
    for (auto& w : workers_) w.thread.join();
    workers_.clear();
  }
  if (listener_) listener_->Close();
}

std::size_t LpdServer::Active() {
  std::lock_guard lock(workers_mutex_);
  std::size_t n = 0;
  for (const auto& w : workers_) n += w.done.load() ? 0 : 1;
  return n;
}

void LpdServer::Reap() {
  std::lock_guard lock(workers_mutex_);
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (it->done.load()) {
      it->thread.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

void LpdServer::Run() {
  while (!stop_.load()) {
    Reap();
    const bool refuse = model_.Options().lpd.refuse_connections || model_.IsAway();
    if (refuse) {
      // No listener: a connect is refused, as by a printer that is switched off.
      if (listener_->IsOpen()) listener_->Close();
      clock_.Sleep(kSliceMs);
      continue;
    }
    if (!listener_->IsOpen()) {
      std::string error;
      if (!listener_->Listen(address_, port_, error)) {
        clock_.Sleep(kSliceMs);
        continue;
      }
    }
    std::shared_ptr<SimTcpConnection> connection = listener_->Accept(kSliceMs);
    if (!connection) continue;
    std::lock_guard lock(workers_mutex_);
    if (workers_.size() >= kLpdMaxConnections) {
      model_.log().Add(Ev("lpd-busy")
                           .Str("peer", connection->peer().Text())
                           .Num("connections", static_cast<std::int64_t>(workers_.size()))
                           .event);
      continue;  // closed at once
    }
    const std::string peer = connection->peer().Host();
    std::size_t held = 0;
    for (const auto& other : workers_) held += !other.done.load() && other.peer == peer;
    if (held >= kLpdMaxPerPeer) {
      model_.log().Add(Ev("lpd-busy")
                           .Str("peer", connection->peer().Text())
                           .Num("connections", static_cast<std::int64_t>(held))
                           .Str("reason", "peer address holds its share")
                           .event);
      continue;  // closed at once
    }
    Worker& w = workers_.emplace_back();
    w.peer = peer;
    w.thread = std::thread([this, connection, &w] {
      ServeLpdConnection(*connection, connection->peer().Text(), model_, clock_, stop_);
      w.done = true;
    });
  }
}

}  // namespace tavi::sim
