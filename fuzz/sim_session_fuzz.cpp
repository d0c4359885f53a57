// The virtual printer's session state machine (access-code line, command, parameter image,
// console frame, firmware) fed the input as a series of writes. Each write is a length byte and
// that many bytes, with three short forms: 0xFD and 0xFE write the access-code line of family 1
// or 2, 0xFC ends the session and opens the next (an update in progress carries over), 0xFF
// writes the whole rest. Checks the model's state against its bounds after every write.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "core/resources/constants.h"
#include "core/ui/seams.h"
#include "frontends/printer_sim/builtin_content.h"
#include "frontends/printer_sim/printer_model.h"

namespace {

constexpr std::uint8_t kFamily1Line = 0xFD;
constexpr std::uint8_t kFamily2Line = 0xFE;
constexpr std::uint8_t kNextSession = 0xFC;
constexpr std::uint8_t kRest = 0xFF;
constexpr std::size_t kMaxRankLength = 64;

class FixedClock final : public tavi::Clock {
 public:
  void Sleep(int) override {}
  std::int64_t NowMs() override { return 1000; }
};

void Check(tavi::sim::PrinterModel& model) {
  if (model.Writes().size() > tavi::sim::kMaxKeptWrites) std::abort();
  const auto ranks = model.HeadRanks();
  for (const auto& [head, rank] : ranks) {
    if (head < 0 || head >= tavi::sim::kHeadCount || rank.size() > kMaxRankLength) std::abort();
  }
  if (model.FirmwareSize() < -1) std::abort();
  if (model.Params().empty()) std::abort();  // a rejected image never replaces the block
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tavi::sim::SimOptions options;
  options.reply_delay_ms = 0;
  FixedClock clock;
  tavi::sim::PrinterModel model(options, clock);
  auto session = model.OpenSession("fuzz");
  std::string_view input(reinterpret_cast<const char*>(data), size);
  while (!input.empty()) {
    const auto code = static_cast<std::uint8_t>(input[0]);
    input.remove_prefix(1);
    if (code == kFamily1Line || code == kFamily2Line) {
      session->Write(tavi::AccessCodeLine(code == kFamily1Line ? 1 : 2));
    } else if (code == kNextSession) {
      session.reset();
      session = model.OpenSession("fuzz");
    } else {
      const std::size_t n =
          code == kRest ? input.size() : std::min<std::size_t>(code, input.size());
      // An exact-size copy, so that a read past the write is caught.
      const std::string bytes(input.substr(0, n));
      input.remove_prefix(n);
      session->Write(bytes);
    }
    Check(model);
  }
  session.reset();
  Check(model);
  std::string reply;
  if (!model.ReadReply(reply) || reply.empty()) std::abort();
  return 0;
}
