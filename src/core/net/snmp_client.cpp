#include "core/net/snmp_client.h"

#include <chrono>

#include "core/net/snmp_answer.h"

#include "core/resources/constants.h"
#include "core/ui/seams.h"
#include "os/error_names.h"

namespace tavi {
namespace {

constexpr std::array<std::string_view, 6> kErrorStatusTexts{
    "(noError) No Error",
    "(tooBig) Response message would have been too large.",
    "(noSuchName) There is no such variable name in this MIB.",
    "(badValue) The value given has the wrong type or length.",
    "(readOnly) The two parties used do not have access to use the specified SNMP PDU.",
    "(genError) A general failure occured",
};
constexpr std::string_view kUnknownErrorStatus = "Unknown Error";

}  // namespace

std::string_view SnmpErrorStatusText(std::int32_t error_status) {
  if (error_status < 0 || static_cast<std::size_t>(error_status) >= kErrorStatusTexts.size()) {
    return kUnknownErrorStatus;
  }
  return kErrorStatusTexts[static_cast<std::size_t>(error_status)];
}

SnmpClient::SnmpClient(std::uint16_t port, Trace trace) : port_override_(port), wire_trace_(trace) {
  socket_.SetPendingHook([this] { return SocketHook(); });
}

bool SnmpClient::SocketHook() {
  if (cancel_source_ == nullptr) return true;
  cancel_source_->PumpMessages(true);
  if (!cancel_source_->IsCancelled()) return true;
  wire_trace_.Event("snmp", "Cancel pressed: the pending socket call ends");
  return false;
}

void SnmpClient::AppendCodeLine(const char* format, SystemCode code) {
  last_error_.AppendF(format, ErrorName(code).data(), kLineEnd);
}

void SnmpClient::Fail(std::string what, SystemCode code) {
  failure_ = {0, std::move(what), code};
  wire_trace_.Event("snmp", "failed: " + failure_.details);
}

std::string SnmpClient::Where() const {
  const std::string where = address_ == host_ ? address_ : host_ + " (" + address_ + ")";
  return where + " port " + std::to_string(port_) + " (SNMP)";
}

std::string SnmpClient::SocketReason() const {
  return socket_.WasCancelled() ? "cancelled" : socket_.LastFailure().details;
}

std::int32_t SnmpClient::Open(std::string_view host) {
  host_ = std::string(host);
  Ipv4 address;
  Failure resolve;
  if (!ParseDottedAddress(host, address) && wire_trace_.on()) {
    wire_trace_.Event("net", "look up '" + host_ + "'");
  }
  if (!ResolveHost(host, address, resolve)) {
    AppendCodeLine(kLineGethostbyname, resolve.code);
    Fail(std::move(resolve.details), resolve.code);
    return -1;
  }
  address_ = FormatIpv4(address);
  port_ = port_override_ != 0 ? port_override_ : ServicePort("snmp", "udp", kDefaultSnmpPort);
  if (!socket_.Connect(address, port_)) {
    AppendCodeLine(kLineConnect, socket_.LastFailure().code);
    Fail("connect to " + Where() + ": " + SocketReason(), socket_.LastFailure().code);
    return -1;
  }
  open_status_ = 0;
  return 0;
}

std::int32_t SnmpClient::Build(std::string_view oid, std::uint8_t pdu_type,
                               const ber::ValueDescriptor& value) {
  request_id_ = NewRequestId();
  request_length_ = ber::BuildRequest(oid, pdu_type, value, static_cast<std::uint32_t>(request_id_),
                                      SendArea(), community_);
  request_built_ = request_length_ > 0;
  return request_length_;
}

std::int32_t SnmpClient::BuildGet(std::string_view oid, std::uint8_t pdu_type) {
  return Build(oid, pdu_type, ber::ValueDescriptor{ber::kTagNull, 0, {}});
}

std::int32_t SnmpClient::BuildInteger(std::string_view oid, std::uint8_t pdu_type,
                                      std::int32_t value) {
  return Build(oid, pdu_type, ber::ValueDescriptor{ber::kTagInteger, value, {}});
}

std::int32_t SnmpClient::BuildOctetString(std::string_view oid, std::uint8_t pdu_type,
                                          std::span<const std::byte> octets) {
  return Build(
      oid, pdu_type,
      ber::ValueDescriptor{ber::kTagOctetString, static_cast<std::int32_t>(octets.size()), octets});
}

std::int32_t SnmpClient::Send() {
  if (!request_built_) {  // nothing sendable was built
    AppendCodeLine(kLineSend, SystemCode::Winsock(wsa::kEinval));
    Fail("no request could be built for " + Where());
    return -1;
  }
  const auto request = SendArea().first(static_cast<std::size_t>(request_length_));
  if (wire_trace_.on()) {
    const auto shown = Masked(request);
    wire_trace_.Event("snmp", "request to " + Where() + ", " + std::to_string(request.size()) +
                                  " octets: " + HexBytes(shown, shown.size()));
  }
  sent_ms_ = SteadyMs();
  if (trace_switch_ != 0) {
    ber::DecodeResponse(request, decoded_request_, community_.size());
    ber::AppendTraceDump(Masked(request), trace_);
    ber::AppendTraceDecoded(decoded_request_, trace_);
  }
  const std::int32_t sent = socket_.Send(request);
  if (sent < 0) {
    AppendCodeLine(kLineSend, socket_.LastFailure().code);
    Fail("send to " + Where() + ": " + SocketReason(), socket_.LastFailure().code);
    return -1;
  }
  return sent;
}

std::int32_t SnmpClient::Receive() {
  // Datagrams that do not answer our request are passed over; the wait goes on for the one that
  // does, until Cancel or a socket error ends it.
  std::span<const std::byte> datagram;
  for (;;) {
    const auto area = ReceiveArea().first(static_cast<std::size_t>(receive_length_));
    const std::int32_t received = socket_.Receive(area);
    if (received < 0) {
      const SystemCode code = socket_.LastFailure().code;
      AppendCodeLine(kLineRecv, code);
      if (socket_.WasCancelled()) {
        Fail("no answer from " + Where() + " within " + std::to_string(SteadyMs() - sent_ms_) +
                 " ms" + IgnoredWords() + SilenceWords(),
             code);
      } else {
        Fail("no answer from " + Where() + ": " + SocketReason(), code);
      }
      return -1;
    }
    datagram = area.first(static_cast<std::size_t>(received));
    const bool decoded = ber::DecodeResponse(datagram, decoded_response_, community_.size());
    if (wire_trace_.on()) {
      const auto shown = MaskCommunity(datagram, decoded_response_.community);
      wire_trace_.Event("snmp", "response after " + std::to_string(SteadyMs() - sent_ms_) +
                                    " ms, " + std::to_string(datagram.size()) +
                                    " octets: " + HexBytes(shown, shown.size()));
    }
    if (!decoded) {
      if (trace_switch_ != 0) ber::AppendTraceDump(datagram, trace_);
      last_error_.AppendF(kLineUndecodable, kLineEnd);
      Fail("the answer from " + Where() + " is not an SNMP response that can be read (" +
           std::to_string(datagram.size()) + " octets)");
      return -1;
    }
    const AnswerCheck check = CheckAnswer(EnvelopeOf(decoded_response_), request_id_, community_);
    if (check == AnswerCheck::kAnswers) break;
    ++ignored_;
    if (wire_trace_.on()) {
      wire_trace_.Event("snmp", "ignored: " + std::string(AnswerCheckWords(check)) +
                                    " (request id " + std::to_string(decoded_response_.request_id) +
                                    ", ours " + std::to_string(request_id_) + ")");
    }
    decoded_response_ = {};
  }
  receive_length_ = static_cast<std::int32_t>(datagram.size());
  if (trace_switch_ != 0) {
    ber::AppendTraceDump(MaskCommunity(datagram, decoded_response_.community), trace_);
    ber::AppendTraceDecoded(decoded_response_, trace_);
  }
  if (decoded_response_.error_status != 0) {
    last_error_.AppendF(kLineText, SnmpErrorStatusText(decoded_response_.error_status).data(),
                        kLineEnd);
    Fail(Where() + " answered with error status " + std::to_string(decoded_response_.error_status) +
         " " + std::string(SnmpErrorStatusText(decoded_response_.error_status)));
    return -1;
  }
  ber::AppendValueText(decoded_response_, value_text_);
  if (wire_trace_.on()) wire_trace_.Event("snmp", "value " + PrintableText(value_text_.view()));
  return receive_length_;
}

std::string SnmpClient::SilenceWords() const {
  if (ignored_ != 0) return {};
  return std::string(". ") + std::string(kTextCommunitySilence);
}

std::vector<std::byte> SnmpClient::Masked(std::span<const std::byte> request) const {
  ber::DecodedMessage d;
  ber::DecodeResponse(request, d, community_.size());
  return MaskCommunity(request, d.community);
}

std::string SnmpClient::IgnoredWords() const {
  if (ignored_ == 0) return {};
  return "; " + std::to_string(ignored_) +
         (ignored_ == 1 ? " datagram came that did not answer our request"
                        : " datagrams came that did not answer our request");
}

}  // namespace tavi
