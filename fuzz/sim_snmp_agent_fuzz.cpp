// The virtual printer's SNMP agent answering the input as one request datagram. The first byte
// picks the agent's state: a report being published or not, and its fault switches. Checks that
// a response is never larger than the request plus room for one reply text, that a stranger's
// community gets no answer, and that a response without a fault parses, echoing the request.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/resources/constants.h"
#include "core/ui/seams.h"
#include "frontends/printer_sim/printer_model.h"
#include "frontends/printer_sim/snmp_agent.h"
#include "frontends/printer_sim/snmp_ber.h"

namespace {

class FixedClock final : public tavi::Clock {
 public:
  void Sleep(int) override {}
  std::int64_t NowMs() override { return 1000; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t mode = data[0];
  const std::string_view datagram(reinterpret_cast<const char*>(data) + 1, size - 1);
  tavi::sim::SimOptions options;
  options.reply_delay_ms = 0;
  options.snmp.error_status = (mode & 0x02) != 0 ? 5 : 0;
  options.snmp.truncated = (mode & 0x04) != 0;
  options.snmp.malformed = (mode & 0x08) != 0;
  options.hostile =
      (mode & 0x10) != 0 ? tavi::sim::Hostile::kLongPayload : tavi::sim::Hostile::kNone;
  FixedClock clock;
  tavi::sim::PrinterModel model(options, clock);
  if ((mode & 0x01) != 0) {
    auto session = model.OpenSession("fuzz");
    session->Write(tavi::AccessCodeLine(options.family));
    session->Write(tavi::kCmdGetReport);
  }
  tavi::sim::SnmpAgent agent(model);
  bool restart = false;
  const std::string response = agent.Answer(datagram, restart);
  if (response.empty()) return 0;
  if (response.size() > datagram.size() + tavi::sim::kSnmpReplyRoom) std::abort();

  tavi::sim::SnmpMessage request;
  std::string why;
  if (!tavi::sim::ParseSnmpMessage(datagram, request, why)) std::abort();  // answered garbage
  if (request.community != options.community) std::abort();
  if (options.snmp.truncated || options.snmp.malformed) return 0;
  tavi::sim::SnmpMessage answer;
  if (!tavi::sim::ParseSnmpMessage(response, answer, why)) std::abort();
  if (answer.pdu_type != tavi::sim::kPduResponse || answer.request_id != request.request_id ||
      answer.community != request.community || answer.bindings.size() != request.bindings.size()) {
    std::abort();
  }
  if (restart && answer.error_status != 0) std::abort();
  return 0;
}
