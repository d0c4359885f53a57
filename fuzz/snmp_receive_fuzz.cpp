// The SNMP client's whole receive path, through the network channel's reply read: a request goes
// out over loopback to an agent played here, which answers with the input as one datagram; the
// channel then reports the error status or hands back the value text, whose reply field is read
// as the pollers read it. Checks that every text stays within its capacity and that a failure
// names the receive.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "core/connection/network_channel.h"
#include "core/net/snmp_client.h"
#include "core/protocol/reply_framing.h"
#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "core/settings/port_settings.h"
#include "core/ui/seams.h"
#include "frontends/printer_sim/posix/sim_server_socket.h"

namespace {

constexpr const char* kAgentAddress = "127.0.0.161";
constexpr std::size_t kMaxUdpPayload = 65507;
// Pumps allowed after the answer went out before the read is cancelled: loopback delivers the
// answer before the send returns, so a read that passed it over waits for nothing more.
constexpr int kPumpsAfterAnswer = 0;
// Where the request id's four octets lie in a request and in a response of the usual layout.
constexpr std::size_t kRequestIdAt = 17;
constexpr std::size_t kRequestIdOctets = 4;

// The agent: answers the first request it sees, from inside the client's wait.
class AnsweringProgress final : public tavi::ProgressDialog {
 public:
  AnsweringProgress(tavi::SimUdpSocket& agent, std::span<const std::byte> answer)
      : agent_(agent), answer_(answer) {}
  void Show(bool) override {}
  void SetProgressRange(std::int32_t) override {}
  void SetProgressPos(std::int32_t) override {}
  void NamePrinter(std::string_view) override {}
  void SetStep(const tavi::ProgressStep&) override {}
  bool IsCancelled() const override { return pumps_after_answer_ > kPumpsAfterAnswer; }
  void PumpMessages(bool) override {
    if (answered_) {
      ++pumps_after_answer_;
      return;
    }
    std::byte request[2048];
    tavi::SimPeer from;
    const int got = agent_.ReceiveFrom(request, from, 0);
    if (got < 0) return;
    // The request id goes where a response of the usual layout carries it, so that such an
    // answer can be taken; any other answer is passed over until the read is cancelled.
    std::vector<std::byte> answer(answer_.begin(), answer_.end());
    if (got >= static_cast<int>(kRequestIdAt + kRequestIdOctets) &&
        answer.size() >= kRequestIdAt + kRequestIdOctets) {
      std::copy_n(request + kRequestIdAt, kRequestIdOctets, answer.begin() + kRequestIdAt);
    }
    agent_.SendTo(answer, from);
    answered_ = true;
  }

 private:
  tavi::SimUdpSocket& agent_;
  std::span<const std::byte> answer_;
  bool answered_ = false;
  int pumps_after_answer_ = 0;
};

tavi::SimUdpSocket& Agent() {
  static tavi::SimUdpSocket* agent = [] {
    auto* s = new tavi::SimUdpSocket;
    std::string error;
    if (!s->Bind(kAgentAddress, 0, error)) std::abort();
    return s;
  }();
  return *agent;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxUdpPayload) return 0;
  tavi::SimUdpSocket& agent = Agent();
  const std::vector<std::byte> answer(reinterpret_cast<const std::byte*>(data),
                                      reinterpret_cast<const std::byte*>(data) + size);
  tavi::PortSettings settings;
  settings.port = tavi::kPortNetwork;
  settings.hosts = {kAgentAddress};
  AnsweringProgress progress(agent, answer);
  tavi::SteadyClock clock;
  const tavi::Trace off;
  tavi::NetworkChannel channel({settings, progress, clock, off}, {0, agent.port()});

  std::string text;
  tavi::Failure failure;
  if (!channel.ReadReply(text, failure)) {
    if (failure.message_id != tavi::kIdsFailedToReceive) std::abort();
    if (failure.details.empty() || failure.details.size() >= tavi::kSnmpLastErrorCapacity) {
      std::abort();
    }
    return 0;
  }
  if (size > tavi::kSnmpAreaSize) std::abort();  // a datagram the area cannot hold was taken
  if (text.size() >= tavi::kSnmpValueCapacity) std::abort();
  for (std::string_view marker : {tavi::kMarkerReport, tavi::kMarkerReadParam}) {
    const std::string payload = tavi::ExtractReplyField(text, marker);
    if (payload.size() > text.size()) std::abort();
    const tavi::PayloadIndex at = tavi::ReadPayloadIndex(payload);
    if (at.stop > tavi::WorkingPayload(payload).size()) std::abort();
    const std::int32_t n = tavi::ReadHeaderCount(payload, at.stop);
    if (n < 0 || n > tavi::kMaxChunkCount) std::abort();
  }
  return 0;
}
