#include "frontends/printer_sim/lpd_connection.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include "core/resources/constants.h"
#include "core/ui/seams.h"
#include "frontends/printer_sim/posix/sim_server_socket.h"
#include "frontends/printer_sim/printer_model.h"

namespace tavi::sim {
namespace {

constexpr int kSliceMs = 20;
constexpr std::byte kAck{0x00};
constexpr std::byte kRefuse{0x01};

// Reads lines and counted blocks from one connection, in slices so that a stop is noticed. Holds
// at most one unread line and one receive chunk besides the block being read.
class Reader {
 public:
  // `polls` counts the reads of the job's answer (nullopt: none is being published).
  using Polls = std::function<std::optional<std::uint64_t>()>;
  Reader(SimStream& s, Clock& clock, const std::atomic<bool>& stop, std::int64_t idle_ms)
      : s_(s), clock_(clock), stop_(stop), idle_ms_(idle_ms) {}

  void SetPolls(Polls polls) { polls_ = std::move(polls); }

  // One line up to LF (LF not included); false when the peer closed, the line is too long,
  // the server stops or the line does not come within the idle limit of the last step, or of
  // the last time the job's answer was seen polled.
  bool Line(std::string& out) {
    std::int64_t deadline = clock_.NowMs() + idle_ms_;
    for (;;) {
      const std::size_t lf = buf_.find('\n', pos_);
      if (lf != std::string::npos) {
        if (lf - pos_ > kLpdMaxLine) return Fail("line too long");
        out.assign(buf_, pos_, lf - pos_);
        pos_ = lf + 1;
        return true;
      }
      if (buf_.size() - pos_ > kLpdMaxLine) return Fail("line too long");
      if (!Fill(deadline, true)) return false;
    }
  }

  // Exactly `n` bytes; the time allowed grows with `n`.
  bool Exact(std::size_t n, std::string& out) {
    std::int64_t deadline =
        clock_.NowMs() + idle_ms_ + static_cast<std::int64_t>(n / kLpdMinBytesPerSecond) * 1000;
    out.clear();
    while (out.size() < n) {
      if (pos_ == buf_.size() && !Fill(deadline, false)) return false;
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
  // With `polled`, a deadline that passes while the job's answer was polled since the last look
  // moves on by the idle limit.
  bool Fill(std::int64_t& deadline, bool polled) {
    buf_.erase(0, pos_);  // what was read goes; only the unread rest stays
    pos_ = 0;
    std::array<std::byte, kLpdReceiveChunk> chunk;
    while (!stop_.load()) {
      const std::int64_t left = deadline - clock_.NowMs();
      if (left <= 0) {
        const std::optional<std::uint64_t> polls =
            polled && polls_ ? polls_() : std::optional<std::uint64_t>();
        if (!polls || *polls == polls_seen_) return Fail("client too slow");
        polls_seen_ = *polls;
        deadline = clock_.NowMs() + idle_ms_;
        continue;
      }
      const int n = s_.Receive(chunk, static_cast<int>(std::min<std::int64_t>(left, kSliceMs)));
      if (n == kSimRecvTimeout) continue;
      if (n == kSimRecvClosed) {
        closed_ = true;
        return false;
      }
      if (n < 0) return Fail("receive failed");
      buf_.append(reinterpret_cast<const char*>(chunk.data()), static_cast<std::size_t>(n));
      return true;
    }
    return Fail("server stopping");
  }

  SimStream& s_;
  Clock& clock_;
  const std::atomic<bool>& stop_;
  std::int64_t idle_ms_;
  Polls polls_;
  std::uint64_t polls_seen_ = 0;
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

void ServeLpdConnection(SimStream& stream, const std::string& peer, PrinterModel& model,
                        Clock& clock, const std::atomic<bool>& stop) {
  const LpdFaults faults = model.Options().lpd;
  auto answer = [&](std::byte b) {
    if (faults.ack_delay_ms > 0) clock.Sleep(faults.ack_delay_ms);
    return stream.SendAll(std::span(&b, 1));
  };
  auto log = [&](Ev ev) {
    ev.Str("peer", peer);
    model.log().Add(std::move(ev.event));
  };

  Reader reader(stream, clock, stop, std::max(1, model.Options().lpd_idle_ms));
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

  auto session = model.OpenSession("lpd " + peer);
  reader.SetPolls([&model, id = session->id()] { return model.Polls(id); });
  int data_files = 0;
  std::string payload;
  std::string name;
  std::string end;
  while (reader.Line(line)) {
    const char code = line.empty() ? '\0' : line[0];
    if (code == '\x01') {
      log(Ev("lpd-abort-job"));
      continue;
    }
    std::size_t count = 0;
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
    if (!reader.Exact(count, payload) || !reader.Exact(1, end)) {
      log(Ev("lpd-error")
              .Str("reason", reader.closed() ? "file cut short" : reader.error())
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
