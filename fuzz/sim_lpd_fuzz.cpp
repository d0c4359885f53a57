// The virtual printer's LPD connection handler fed the input as the client's byte stream, in
// pieces whose sizes the first byte picks (so that lines and data files split anywhere); the
// second byte sets the LPD fault switches. Checks that every answer is one 00 or 01 byte, that
// no more answers come than there were steps, and that the model keeps within its bounds.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "core/ui/seams.h"
#include "frontends/printer_sim/lpd_connection.h"
#include "frontends/printer_sim/posix/sim_server_socket.h"
#include "frontends/printer_sim/printer_model.h"

namespace {

// Virtual time: every look at the clock moves it on a little.
class TickingClock final : public tavi::Clock {
 public:
  void Sleep(int ms) override { now_ += ms > 0 ? ms : 0; }
  std::int64_t NowMs() override { return now_ += 1; }

 private:
  std::int64_t now_ = 0;
};

class ScriptedStream final : public tavi::SimStream {
 public:
  ScriptedStream(std::string_view input, std::uint8_t pieces) : input_(input), pieces_(pieces) {}
  int Receive(std::span<std::byte> into, int) override {
    if (input_.empty()) return tavi::kSimRecvClosed;
    // Piece sizes 1..16 in a pattern, or the whole rest when the pattern says 0.
    const std::size_t pick = (pieces_ >> (turn_++ % 8)) & 0x0F;
    std::size_t n = pick == 0 ? input_.size() : pick;
    n = std::min({n, input_.size(), into.size()});
    std::memcpy(into.data(), input_.data(), n);
    input_.remove_prefix(n);
    return static_cast<int>(n);
  }
  bool SendAll(std::span<const std::byte> bytes) override {
    if (bytes.size() != 1) std::abort();
    const auto b = static_cast<unsigned char>(bytes[0]);
    if (b != 0 && b != 1) std::abort();
    ++answers_;
    return true;
  }
  std::size_t answers() const { return answers_; }

 private:
  std::string_view input_;
  std::uint8_t pieces_;
  unsigned turn_ = 0;
  std::size_t answers_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::string_view stream(reinterpret_cast<const char*>(data) + 2, size - 2);
  tavi::sim::SimOptions options;
  options.reply_delay_ms = 0;
  options.lpd.refuse_data_file = data[1] & 0x03;
  options.lpd.close_instead_of_ack = (data[1] & 0x04) != 0;
  options.lpd.refuse_job = (data[1] & 0x08) != 0;
  TickingClock clock;
  tavi::sim::PrinterModel model(options, clock);
  ScriptedStream client(stream, data[0]);
  const std::atomic<bool> stop{false};
  tavi::sim::ServeLpdConnection(client, "127.0.0.1:1", model, clock, stop);

  // One answer for the job command and at most two per line after it.
  const std::size_t lines =
      static_cast<std::size_t>(std::count(stream.begin(), stream.end(), '\n'));
  if (client.answers() > 1 + 2 * lines) std::abort();
  const auto writes = model.Writes();
  if (writes.size() > tavi::sim::kMaxKeptWrites) std::abort();
  for (const auto& w : writes) {
    if (w.bytes.size() > tavi::sim::kLpdMaxFileBytes) std::abort();
  }
  std::string reply;
  if (!model.ReadReply(reply)) std::abort();
  return 0;
}
