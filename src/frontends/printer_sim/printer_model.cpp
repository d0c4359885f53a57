#include "frontends/printer_sim/printer_model.h"

#include "core/protocol/check_byte.h"
#include "core/resources/constants.h"
#include "core/ui/seams.h"
#include "frontends/printer_sim/builtin_content.h"
#include "frontends/printer_sim/reply_schedule.h"

namespace tavi::sim {
namespace {

std::uint32_t ByteSum(std::string_view bytes) {
  std::uint32_t sum = 0;
  for (char c : bytes) sum += static_cast<unsigned char>(c);
  return sum;
}

}  // namespace

PrinterModel::PrinterModel(SimOptions options, Clock& clock)
    : clock_(clock), options_(std::move(options)) {
  params_ = options_.params ? *options_.params : BuiltinParams(options_.family);
  const std::int64_t start = clock_.NowMs();
  log_.SetTimeSource([this, start] { return clock_.NowMs() - start; });
}

PrinterModel::~PrinterModel() = default;

std::unique_ptr<ModelSession> PrinterModel::OpenSession(std::string origin) {
  bool continues = false;
  int id = 0;
  {
    std::lock_guard lock(mutex_);
    id = next_session_++;
    continues = update_pending_;
  }
  Log(Ev("session-started").Num("session", id).Str("origin", origin).Num("update_mode", continues));
  return std::unique_ptr<ModelSession>(new ModelSession(*this, id, std::move(origin), continues));
}

bool PrinterModel::ReadReply(std::string& out) {
  std::lock_guard lock(mutex_);
  const std::int64_t now = clock_.NowMs();
  if (now < away_until_ms_) return false;
  if (publication_) ++publication_->reads;
  if (!publication_ || publication_->cycle.empty() || now < publication_->ready_at_ms) {
    out = std::string(kIdleReply);
    return true;
  }
  Publication& p = *publication_;
  const std::size_t at = p.next;
  out = p.cycle[at];
  p.next = (at + 1) % p.cycle.size();
  if (!p.logged[at]) {
    p.logged[at] = true;
    log_.Add(Ev("published")
                 .Num("position", static_cast<std::int64_t>(at))
                 .Str("text", Printable(out, 48))
                 .event);
  }
  return true;
}

void PrinterModel::Restart() {
  std::int64_t away = 0;
  {
    std::lock_guard lock(mutex_);
    away = options_.away_ms;
    away_until_ms_ = clock_.NowMs() + away;
    publication_.reset();
    update_pending_ = false;
    ++restarts_;
  }
  Log(Ev("restart").Num("away_ms", away));
}

bool PrinterModel::IsAway() {
  std::lock_guard lock(mutex_);
  return clock_.NowMs() < away_until_ms_;
}

SimOptions PrinterModel::Options() const {
  std::lock_guard lock(mutex_);
  return options_;
}

void PrinterModel::SetOptions(SimOptions options) {
  std::lock_guard lock(mutex_);
  options_ = std::move(options);
}

std::vector<ReceivedWrite> PrinterModel::Writes() const {
  std::lock_guard lock(mutex_);
  return {writes_.begin(), writes_.end()};
}

std::string PrinterModel::Params() const {
  std::lock_guard lock(mutex_);
  return params_;
}

std::map<int, std::string> PrinterModel::HeadRanks() const {
  std::lock_guard lock(mutex_);
  return head_ranks_;
}

std::int64_t PrinterModel::FirmwareSize() const {
  std::lock_guard lock(mutex_);
  return firmware_size_;
}

std::string PrinterModel::FirmwareSha256() const {
  std::lock_guard lock(mutex_);
  return firmware_sha256_;
}

int PrinterModel::ClosingZeros() const {
  std::lock_guard lock(mutex_);
  return closing_zeros_;
}

int PrinterModel::Restarts() const {
  std::lock_guard lock(mutex_);
  return restarts_;
}

std::string PrinterModel::ReportText() const {
  std::lock_guard lock(mutex_);
  return ReportTextLocked();
}

std::optional<std::uint64_t> PrinterModel::Polls(int session) const {
  std::lock_guard lock(mutex_);
  if (!publication_ || publication_->session != session) return std::nullopt;
  return publication_->reads;
}

std::string PrinterModel::ReportTextLocked() const {
  if (options_.report) return *options_.report;
  PrinterState state;
  state.family = options_.family;
  state.params_size = params_.size();
  state.params_sum = ByteSum(params_);
  state.head_ranks = head_ranks_;
  state.firmware_size = firmware_size_;
  state.firmware_sha256 = firmware_sha256_;
  state.restarts = restarts_;
  state.commands = commands_;
  return BuildReport(state, options_.report_crlf);
}

void PrinterModel::Log(Ev ev) {
  log_.Add(std::move(ev.event));
}

void PrinterModel::RecordWrite(int session, const std::string& origin, std::string_view bytes) {
  std::lock_guard lock(mutex_);
  // A write larger than the whole allowance is kept by its place only.
  ReceivedWrite w{session, origin, {}};
  if (bytes.size() <= kMaxKeptWriteBytes) w.bytes.assign(bytes);
  write_bytes_kept_ += w.bytes.size();
  writes_.push_back(std::move(w));
  while (writes_.size() > kMaxKeptWrites || write_bytes_kept_ > kMaxKeptWriteBytes) {
    write_bytes_kept_ -= writes_.front().bytes.size();
    writes_.pop_front();
  }
}

void PrinterModel::StartReply(int session, std::string_view command) {
  std::size_t size = 0;
  std::int64_t ready = 0;
  {
    std::lock_guard lock(mutex_);
    ++commands_;
    const bool report = command == kCmdGetReport;
    const std::string data = report ? ReportTextLocked() : params_;
    size = data.size();
    Publication p;
    p.cycle = BuildReplyCycle(report ? kMarkerReport : kMarkerReadParam, data, options_);
    p.logged.assign(p.cycle.size(), false);
    p.ready_at_ms = clock_.NowMs() + options_.reply_delay_ms;
    p.session = session;

    ready = p.ready_at_ms;
    publication_ = std::move(p);
  }
  Log(Ev("reply-scheduled")
          .Str("command", std::string(command))
          .Num("bytes", static_cast<std::int64_t>(size))
          .Num("chunks", ChunkCount(size))
          .Num("ready_at_ms", ready));
}

void PrinterModel::ClosingZero(int session) {
  {
    std::lock_guard lock(mutex_);
    ++closing_zeros_;
    publication_.reset();
  }
  Log(Ev("closing-zero").Num("session", session));
}

void PrinterModel::PutParams(int session, std::string_view command, std::string_view image) {
  if (image.size() < 2) {  // no block before the check byte
    Log(Ev("params-rejected").Num("session", session).Str("reason", "empty image"));
    return;
  }
  const std::string_view block = image.substr(0, image.size() - 1);
  const auto got = static_cast<std::uint8_t>(image.back());
  const std::uint8_t want =
      CheckByte(std::span(reinterpret_cast<const std::uint8_t*>(block.data()), block.size()));
  if (got != want) {
    Log(Ev("params-rejected")
            .Num("session", session)
            .Str("reason", "wrong check byte")
            .Num("got", got)
            .Num("want", want));
    return;
  }
  bool stored = false;
  {
    std::lock_guard lock(mutex_);
    ++commands_;
    stored = !options_.params_not_stored;
    if (stored) params_.assign(block);
  }
  if (!stored) {
    Log(Ev("params-not-stored")
            .Num("session", session)
            .Str("command", std::string(command))
            .Num("bytes", static_cast<std::int64_t>(block.size())));
    return;
  }
  Log(Ev("params-replaced")
          .Num("session", session)
          .Str("command", std::string(command))
          .Num("bytes", static_cast<std::int64_t>(block.size())));
}

void PrinterModel::SetHeadRank(int head, std::string rank) {
  {
    std::lock_guard lock(mutex_);
    ++commands_;
    head_ranks_[head] = rank;
  }
  Log(Ev("head-rank").Num("head", head).Str("rank", rank));
}

void PrinterModel::EnterUpdateMode(int session) {
  {
    std::lock_guard lock(mutex_);
    update_pending_ = true;
    publication_.reset();
  }
  Log(Ev("update-mode").Num("session", session));
}

void PrinterModel::FirmwareReceived(int session, std::int64_t size, std::string sha256) {
  {
    std::lock_guard lock(mutex_);
    update_pending_ = false;
    firmware_size_ = size;
    firmware_sha256_ = sha256;
  }
  Log(Ev("firmware-received").Num("session", session).Num("bytes", size).Str("sha256", sha256));
}

std::string_view PrinterModel::AccessLine() const {
  std::lock_guard lock(mutex_);
  return AccessCodeLine(options_.family);
}

std::string_view PrinterModel::OtherAccessLine() const {
  std::lock_guard lock(mutex_);
  return AccessCodeLine(options_.family == 1 ? 2 : 1);
}

}  // namespace tavi::sim
