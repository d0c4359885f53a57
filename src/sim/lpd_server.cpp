#include "sim/lpd_server.h"

#include <charconv>

#include "platform/seams.h"
#include "platform/sim_server_socket.h"
#include "resources/constants.h"
#include "sim/printer_model.h"

namespace tavi::sim {
namespace {

constexpr int kSliceMs = 20;
constexpr std::byte kAck{0x00};
constexpr std::byte kRefuse{0x01};

// Reads lines and counted blocks from one connection, in slices so that a stop is noticed.
class Reader {
 public:
  Reader(SimTcpConnection& c, const std::atomic<bool>& stop) : c_(c), stop_(stop) {}

  // One line up to LF (LF not included); false when the peer closed, the line is too long,
  // the server stops or the client stays silent too long.
  bool Line(std::string& out) {
    for (;;) {
      const std::size_t lf = buf_.find('\n', pos_);
      if (lf != std::string::npos) {
        if (lf - pos_ > kLpdMaxLine) return Fail("line too long");
        out = buf_.substr(pos_, lf - pos_);
        pos_ = lf + 1;
        return true;
      }
      if (buf_.size() - pos_ > kLpdMaxLine) return Fail("line too long");
      if (!Fill()) return false;
    }
  }

  bool Exact(std::size_t n, std::string& out) {
    out.clear();
    while (out.size() < n) {
      if (pos_ == buf_.size() && !Fill()) return false;
      const std::size_t take = std::min(n - out.size(), buf_.size() - pos_);
      out.append(buf_, pos_, take);
      pos_ += take;
    }
    return true;
  }

  // True when the line ended because the peer closed the connection in an orderly way.
  bool closed() const { return closed_; }
  const std::string& error() const { return error_; }

 private:
  bool Fail(std::string why) {
    error_ = std::move(why);
    return false;
  }
  bool Fill() {
    if (pos_ == buf_.size()) {
      buf_.clear();
      pos_ = 0;
    }
    std::byte chunk[65536];
    int idle = 0;
    while (!stop_.load()) {
      const int n = c_.Receive(chunk, kSliceMs);
      if (n == kSimRecvTimeout) {
        idle += kSliceMs;
        if (idle >= kLpdIdleTimeoutMs) return Fail("client silent too long");
        continue;
      }
      if (n == kSimRecvClosed) {
        closed_ = true;
        return false;
      }
      if (n < 0) return Fail("receive failed");
      buf_.append(reinterpret_cast<const char*>(chunk), static_cast<std::size_t>(n));
      return true;
    }
    return Fail("server stopping");
  }

  SimTcpConnection& c_;
  const std::atomic<bool>& stop_;
  std::string buf_;
  std::size_t pos_ = 0;
  bool closed_ = false;
  std::string error_;
};

// "<count> <name>" with a plain decimal count; false when it is anything else.
bool ParseFileLine(std::string_view rest, std::size_t& count, std::string& name) {
  const std::size_t sp = rest.find(' ');
  if (sp == 0 || sp == std::string_view::npos || sp > 10) return false;
  for (std::size_t i = 0; i < sp; ++i) {
    if (rest[i] < '0' || rest[i] > '9') return false;
  }
  std::uint64_t value = 0;
  std::from_chars(rest.data(), rest.data() + sp, value);
  if (value > kLpdMaxFileBytes) return false;
  count = static_cast<std::size_t>(value);
  name = std::string(rest.substr(sp + 1));
  return !name.empty();
}

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
  if (listener_) listener_->Close();
}

void LpdServer::Run() {
  while (!stop_.load()) {
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
    auto connection = listener_->Accept(kSliceMs);
    if (connection) Serve(*connection);
  }
}

void LpdServer::Serve(SimTcpConnection& connection) {
  const std::string peer = connection.peer().Text();
  const LpdFaults faults = model_.Options().lpd;
  auto answer = [&](std::byte b) {
    if (faults.ack_delay_ms > 0) clock_.Sleep(faults.ack_delay_ms);
    return connection.SendAll(std::span(&b, 1));
  };
  auto log = [&](Ev ev) {
    ev.Str("peer", peer);
    model_.log().Add(std::move(ev.event));
  };

  Reader reader(connection, stop_);
  std::string line;
  if (!reader.Line(line)) {
    log(Ev("lpd-error")
            .Str("reason", reader.closed() ? "closed before a command" : reader.error()));
    return;
  }
  if (line.empty() || line[0] != '\x02') {
    log(Ev("lpd-error").Str("reason", "unsupported command").Str("line", Printable(line, 32)));
    answer(kRefuse);
    return;
  }
  const std::string queue = line.substr(1);
  if (queue != kLpdQueue) {
    log(Ev("job-refused").Str("queue", Printable(queue, 32)).Str("reason", "unknown queue"));
    answer(kRefuse);
    return;
  }
  if (faults.refuse_job) {
    log(Ev("job-refused").Str("queue", queue).Str("reason", "fault switch"));
    answer(kRefuse);
    return;
  }
  log(Ev("job-started").Str("queue", queue));
  if (!answer(kAck)) return;

  auto session = model_.OpenSession("lpd " + peer);
  int data_files = 0;
  std::string payload;
  while (reader.Line(line)) {
    const char code = line.empty() ? '\0' : line[0];
    if (code == '\x01') {
      log(Ev("lpd-abort-job"));
      continue;
    }
    std::size_t count = 0;
    std::string name;
    if ((code != '\x02' && code != '\x03') ||
        !ParseFileLine(std::string_view(line).substr(1), count, name)) {
      log(Ev("lpd-error").Str("reason", "bad subcommand").Str("line", Printable(line, 32)));
      answer(kRefuse);
      return;
    }
    const bool data = code == '\x03';
    if (data) ++data_files;
    if (data && faults.refuse_data_file == data_files) {
      log(Ev("data-file-refused")
              .Num("number", data_files)
              .Num("bytes", static_cast<std::int64_t>(count)));
      answer(kRefuse);
      return;
    }
    if (!answer(kAck)) return;
    std::string end;
    if (!reader.Exact(count, payload) || !reader.Exact(1, end)) {
      log(Ev("lpd-error")
              .Str("reason", "file cut short")
              .Num("bytes", static_cast<std::int64_t>(count)));
      return;
    }
    if (end[0] != '\0') {
      log(Ev("lpd-error").Str("reason", "file not ended by a zero byte"));
      answer(kRefuse);
      return;
    }
    if (data) {
      log(Ev("data-file")
              .Num("number", data_files)
              .Num("bytes", static_cast<std::int64_t>(count))
              .Str("name", Printable(name, 32)));
      session->Write(payload);
    } else {
      log(Ev("control-file").Num("bytes", static_cast<std::int64_t>(count)));
    }
    if (faults.close_instead_of_ack) {
      log(Ev("lpd-closed-instead-of-ack"));
      return;
    }
    if (!answer(kAck)) return;
  }
  log(Ev("job-ended")
          .Num("data_files", data_files)
          .Str("how", reader.closed() ? "closed" : reader.error()));
}

}  // namespace tavi::sim
