#include "core/net/snmp_client.h"

#include <chrono>

#include "core/net/snmp_answer.h"

#include "core/resources/constants.h"
#include "core/ui/seams.h"
#include "os/error_names.h"
#include "os/name_lookup.h"

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
  if (cancel_source_ != nullptr) {
    cancel_source_->PumpMessages(true);
    if (cancel_source_->IsCancelled()) {
      wire_trace_.Event("snmp", "Cancel pressed: the pending socket call ends");
      return false;
    }
  }
  // Only a receive has a bound; it ends the wait so that the request can go out again, and the
  // socket waits no longer than the time left to it.
  if (deadline_ms_ < 0) {
    socket_.SetWaitSlice(kSocketWaitSlice);
    return true;
  }
  const std::int64_t left_ms = deadline_ms_ - NowMs();
  if (left_ms <= 0) {
    bound_passed_ = true;
    return false;
  }
  socket_.SetWaitSlice(std::chrono::milliseconds{left_ms});
  return true;
}

std::int64_t SnmpClient::NowMs() const {
  return clock_ != nullptr ? clock_->NowMs() : SteadyMs();
}

void SnmpClient::AppendCodeLine(const char* format, SystemCode code) {
  last_error_.AppendF(format, ErrorName(code).data(), kLineEnd);
}

void SnmpClient::Fail(std::string what, SystemCode code) {
  failure_ = {0, std::move(what), code};
  wire_trace_.Event("snmp", "failed: " + failure_.details);
}

std::string SnmpClient::Where() const {
  const std::string address = BracketedAddress(address_);
  const std::string where = host_is_address_ ? address : host_ + " (" + address + ")";
  return where + " port " + std::to_string(port_) + " (SNMP)";
}

std::string SnmpClient::SocketReason() const {
  return socket_.WasCancelled() ? "cancelled" : socket_.LastFailure().details;
}

std::int32_t SnmpClient::Open(std::string_view host) {
  host_ = std::string(host);
  if (NetAddress numeric; !ParseNumericAddress(host, numeric) && wire_trace_.on()) {
    wire_trace_.Event("net", "look up '" + host_ + "'");
  }
  HostLookup lookup = LookUpHost(host, [this] { return SocketHook(); });
  if (!lookup.numeric && wire_trace_.on()) {
    wire_trace_.Event("net",
                      "'" + host_ + "' " +
                          (lookup.ok ? "is " + FormatAddress(lookup.address) : "not resolved") +
                          " (look-up " + std::to_string(lookup.elapsed_ms) + " ms)");
  }
  if (!lookup.ok) {
    AppendCodeLine(kLineGethostbyname, lookup.failure.code);
    Fail(std::move(lookup.failure.details), lookup.failure.code);
    return -1;
  }
  return Connect(lookup.address, lookup.numeric);
}

std::int32_t SnmpClient::Open(std::string_view host, const NetAddress& address) {
  host_ = std::string(host);
  NetAddress numeric;
  return Connect(address, ParseNumericAddress(host, numeric));
}

std::int32_t SnmpClient::Connect(const NetAddress& address, bool host_is_address) {
  address_ = address;
  host_is_address_ = host_is_address;
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
  sends_ = 0;
  unanswered_ = 0;
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
  if (trace_switch_ != 0) {
    ber::DecodeResponse(request, decoded_request_, community_.size());
    ber::AppendTraceDump(Masked(request), trace_);
    ber::AppendTraceDecoded(decoded_request_, trace_);
  }
  sends_ = 0;
  unanswered_ = 0;
  if (!SendDatagram(request, "send to ")) return -1;
  first_sent_ms_ = sent_ms_;
  return static_cast<std::int32_t>(request.size());
}

bool SnmpClient::SendDatagram(std::span<const std::byte> request, const char* what) {
  sent_ms_ = NowMs();
  if (socket_.Send(request) < 0) {
    AppendCodeLine(kLineSend, socket_.LastFailure().code);
    Fail(what + Where() + ": " + SocketReason(), socket_.LastFailure().code);
    return false;
  }
  ++sends_;
  return true;
}

bool SnmpClient::SendAgain() {
  ++unanswered_;
  const std::int64_t waited = NowMs() - sent_ms_;
  round_trip_->BackOff();
  if (sends_ >= kMaxRequestSends) {
    const SystemCode code = SystemCode::Winsock(wsa::kEtimedout);
    AppendCodeLine(kLineRecv, code);
    Fail("no answer from " + Where() + " within " + std::to_string(NowMs() - first_sent_ms_) +
             " ms: " + std::to_string(unanswered_) + " requests went unanswered" + IgnoredWords(),
         code);
    return false;
  }
  if (wire_trace_.on()) {
    wire_trace_.Event("snmp", "no answer within " + std::to_string(waited) +
                                  " ms: the request goes out again (send " +
                                  std::to_string(sends_ + 1) + " of " +
                                  std::to_string(kMaxRequestSends) + ", next bound " +
                                  std::to_string(round_trip_->BoundMs()) + " ms)");
  }
  const auto request = SendArea().first(static_cast<std::size_t>(request_length_));
  return SendDatagram(request, "send again to ");
}

std::int32_t SnmpClient::Receive() {
  // Datagrams that do not answer our request are passed over; the wait goes on for the one that
  // does, until Cancel or a socket error ends it.
  std::span<const std::byte> datagram;
  for (;;) {
    const auto area = ReceiveArea().first(static_cast<std::size_t>(receive_length_));
    // The bound runs from the last send; datagrams passed over do not move it.
    deadline_ms_ = sent_ms_ + round_trip_->BoundMs();
    bound_passed_ = false;
    const std::int32_t received = socket_.Receive(area);
    deadline_ms_ = -1;
    if (received < 0 && bound_passed_) {
      if (!SendAgain()) return -1;
      continue;
    }
    if (received < 0) {
      const SystemCode code = socket_.LastFailure().code;
      AppendCodeLine(kLineRecv, code);
      if (socket_.WasCancelled()) {
        Fail("no answer from " + Where() + " within " + std::to_string(NowMs() - first_sent_ms_) +
                 " ms" + UnansweredWords() + IgnoredWords() + SilenceWords(),
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
      wire_trace_.Event("snmp", "response after " + std::to_string(NowMs() - sent_ms_) + " ms, " +
                                    std::to_string(datagram.size()) +
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
    if (check == AnswerCheck::kAnswers) {
      // Only the answer to a request sent once says how long a round trip takes.
      if (sends_ == 1) round_trip_->Sample(NowMs() - sent_ms_);
      break;
    }
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

std::string SnmpClient::UnansweredWords() const {
  if (unanswered_ == 0) return {};
  return "; " + std::to_string(unanswered_) +
         (unanswered_ == 1 ? " request went unanswered" : " requests went unanswered");
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
