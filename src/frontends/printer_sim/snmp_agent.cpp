#include "frontends/printer_sim/snmp_agent.h"

#include "core/discovery/answers.h"
#include "core/resources/constants.h"
#include "frontends/printer_sim/posix/sim_server_socket.h"
#include "frontends/printer_sim/printer_model.h"
#include "frontends/printer_sim/snmp_ber.h"

namespace tavi::sim {
namespace {

constexpr int kSliceMs = 20;
constexpr std::size_t kMaxDatagram = 65535;
// A malformed response claims this many octets more for its value than it carries.
constexpr std::size_t kMalformedOverrun = 40;

// The value of a malformed response: its length points past the end of the datagram.
std::string OverlongValue(std::string_view content) {
  const std::size_t claimed = content.size() + kMalformedOverrun;
  std::string out(1, static_cast<char>(kBerOctetString));
  out.push_back(static_cast<char>(0x82));
  out.push_back(static_cast<char>(claimed >> 8));
  out.push_back(static_cast<char>(claimed & 0xff));
  out += content;
  return out;
}

}  // namespace

SnmpAgent::SnmpAgent(PrinterModel& model) : model_(model) {}

SnmpAgent::~SnmpAgent() {
  Stop();
}

bool SnmpAgent::Start(const std::string& address, std::uint16_t port, std::string& error) {
  Stop();
  socket_ = std::make_unique<SimUdpSocket>();
  if (!socket_->Bind(address, port, error)) return false;
  port_ = socket_->port();
  stop_ = false;
  thread_ = std::thread([this] { Run(); });
  model_.log().Add(Ev("snmp-listening").Str("address", address).Num("port", port_).event);
  return true;
}

void SnmpAgent::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (socket_) socket_->Close();
}

namespace {

bool SamePeer(const SimPeer& a, const SimPeer& b) {
  return a.ipv6 == b.ipv6 && a.port == b.port &&
         (a.ipv6 ? a.address6 == b.address6 : a.address == b.address);
}

}  // namespace

void SnmpAgent::Run() {
  std::string buffer(kMaxDatagram, '\0');
  // The last request answered and its answer: with answer_repeats, a sender that got no answer
  // and sends the same datagram again (same request id) gets the same answer, as the first may
  // only have been lost on the way back, and a reply read is not moved on by the repeat.
  std::string last_request;
  std::string last_response;
  SimPeer last_peer;
  while (!stop_.load()) {
    SimPeer peer;
    std::uint32_t asked = 0;  // the address the request came to: the answer comes from it
    const int n = socket_->ReceiveFrom(
        std::as_writable_bytes(std::span(buffer.data(), buffer.size())), peer, kSliceMs, &asked);
    if (n < 0) continue;
    const std::string_view request(buffer.data(), static_cast<std::size_t>(n));
    bool restart = false;
    std::string response;
    if (!last_response.empty() && request == last_request && SamePeer(peer, last_peer) &&
        model_.Options().snmp.answer_repeats) {
      response = last_response;
      model_.log().Add(Ev("snmp-repeated-request").Str("peer", peer.Text()).event);
    } else {
      response = Answer(request, restart);
      last_request.assign(request);
      last_response = response;
      last_peer = peer;
    }
    if (!response.empty())
      socket_->SendTo(std::as_bytes(std::span(response.data(), response.size())), peer, asked);
    if (restart) model_.Restart();
  }
}

std::string SnmpAgent::Answer(std::string_view datagram, bool& restart) {
  restart = false;
  const SimOptions options = model_.Options();
  auto log = [&](Ev ev) { model_.log().Add(std::move(ev.event)); };
  if (model_.IsAway()) {
    log(Ev("snmp-silent").Str("reason", "restarting"));
    return {};
  }
  if (options.snmp.silent) {
    log(Ev("snmp-silent").Str("reason", "fault switch"));
    return {};
  }
  SnmpMessage m;
  std::string why;
  if (!ParseSnmpMessage(datagram, m, why)) {
    log(Ev("snmp-malformed-request")
            .Str("reason", why)
            .Num("bytes", static_cast<std::int64_t>(datagram.size())));
    return {};
  }
  if (m.community != options.community) {
    log(Ev("snmp-wrong-community").Str("community", Printable(m.community, 32)));
    return {};
  }
  if (m.pdu_type != kPduGet && m.pdu_type != kPduSet && m.pdu_type != kPduGetNext) {
    log(Ev("snmp-unsupported-pdu").Num("type", m.pdu_type));
    return {};
  }
  const std::string reply_oid = EncodeOid(kReplyOid);
  const std::string restart_oid = EncodeOid(kRestartOid);
  const std::string sys_descr_oid = EncodeOid(kSysDescrOid);
  const std::string sys_object_id_oid = EncodeOid(kSysObjectIdOid);
  const std::string sys_name_oid = EncodeOid(kSysNameOid);
  const std::string sys_object_id = SysObjectIdOf(options);
  // Another maker's device has none of the family's objects.
  const bool family_device = discovery::IsFamilyObjectId(sys_object_id);

  SnmpMessage r = m;
  r.pdu_type = kPduResponse;
  r.error_status = 0;
  r.error_index = 0;
  auto fail = [&](std::int64_t status, std::size_t index) {
    if (r.error_status != 0) return;
    r.error_status = status;
    r.error_index = static_cast<std::int64_t>(index + 1);
  };
  bool asks_restart = false;
  bool malformed_done = false;
  for (std::size_t i = 0; i < r.bindings.size(); ++i) {
    VarBind& b = r.bindings[i];
    if (options.snmp.error_status != 0) break;
    if (m.pdu_type == kPduGet && (b.oid == sys_descr_oid || b.oid == sys_name_oid)) {
      b.value_tag = kBerOctetString;
      b.value = b.oid == sys_descr_oid ? SysDescrOf(options) : SysNameOf(options);
    } else if (m.pdu_type == kPduGet && b.oid == sys_object_id_oid) {
      b.value_tag = kBerOid;
      b.value = EncodeOid(sys_object_id);
    } else if (m.pdu_type == kPduGet && b.oid == reply_oid && family_device) {
      std::string text;
      if (!model_.ReadReply(text)) return {};
      b.value_tag = kBerOctetString;
      b.value = text;
      if (options.snmp.malformed && !malformed_done) {
        // The value header claims more octets than follow.
        b.raw = true;
        b.value = OverlongValue(text);
        malformed_done = true;
      }
    } else if (m.pdu_type == kPduSet && b.oid == restart_oid && family_device) {
      std::int64_t value = 0;
      if (b.value_tag != kBerInteger || !DecodeInteger(b.value, value) || value != kRestartValue) {
        fail(kSnmpBadValue, i);
      } else {
        asks_restart = true;
      }
    } else {
      log(Ev("snmp-no-such-name").Str("oid", OidText(b.oid)).Num("type", m.pdu_type));
      fail(kSnmpNoSuchName, i);
    }
  }
  if (options.snmp.error_status != 0) {
    r.error_status = options.snmp.error_status;
    r.error_index = r.bindings.empty() ? 0 : 1;
    log(Ev("snmp-error-status").Num("status", r.error_status));
  }
  if (r.error_status != 0) {
    r.bindings = m.bindings;  // an error response carries the request's bindings
    asks_restart = false;
  }
  std::string response = EncodeSnmpMessage(r);
  if (response.size() > datagram.size() + kSnmpReplyRoom) {
    r.bindings = m.bindings;
    r.error_status = kSnmpTooBig;
    r.error_index = 0;
    response = EncodeSnmpMessage(r);
    malformed_done = asks_restart = false;
    log(Ev("snmp-too-big")
            .Num("bindings", static_cast<std::int64_t>(m.bindings.size()))
            .Num("request_bytes", static_cast<std::int64_t>(datagram.size())));
  }
  if (malformed_done && r.error_status == 0) log(Ev("snmp-malformed-response"));
  if (options.snmp.truncated) {
    response.resize(response.size() / 2);
    log(Ev("snmp-truncated-response").Num("bytes", static_cast<std::int64_t>(response.size())));
  }
  if (asks_restart) {
    restart = true;
    log(Ev("snmp-restart-request"));
  }
  return response;
}

}  // namespace tavi::sim
