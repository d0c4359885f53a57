#include "snmp/snmp_client.h"

#include "platform/error_names.h"
#include "platform/seams.h"
#include "resources/constants.h"

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

SnmpClient::SnmpClient(std::uint16_t port) : port_override_(port) {
  socket_.SetPendingHook([this] { return SocketHook(); });
}

bool SnmpClient::SocketHook() {
  if (cancel_source_ == nullptr) return true;
  cancel_source_->PumpMessages(true);
  return !cancel_source_->IsCancelled();
}

std::int32_t SnmpClient::Open(std::string_view host) {
  Ipv4 address;
  int resolve_error = 0;
  if (!ResolveHost(host, address, resolve_error)) {
    last_error_.AppendF(kLineGethostbyname, WsaErrorName(resolve_error).data(), kLineEnd);
    return -1;
  }
  const std::uint16_t port =
      port_override_ != 0 ? port_override_ : ServicePort("snmp", "udp", kDefaultSnmpPort);
  if (!socket_.Connect(address, port)) {
    last_error_.AppendF(kLineConnect, WsaErrorName(socket_.LastError()).data(), kLineEnd);
    return -1;
  }
  open_status_ = 0;
  return 0;
}

std::int32_t SnmpClient::Build(std::string_view oid, std::uint8_t pdu_type,
                               const ber::ValueDescriptor& value) {
  request_length_ = ber::BuildRequest(oid, pdu_type, value, CurrentProcessId(), SendArea());
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
    last_error_.AppendF(kLineSend, WsaErrorName(wsa::kEinval).data(), kLineEnd);
    return -1;
  }
  const auto request = SendArea().first(static_cast<std::size_t>(request_length_));
  if (trace_switch_ != 0) {
    ber::DecodeResponse(request, decoded_request_);
    ber::AppendTraceDump(request, trace_);
    ber::AppendTraceDecoded(decoded_request_, trace_);
  }
  const std::int32_t sent = socket_.Send(request);
  if (sent < 0) {
    last_error_.AppendF(kLineSend, WsaErrorName(socket_.LastError()).data(), kLineEnd);
    return -1;
  }
  return sent;
}

std::int32_t SnmpClient::Receive() {
  const auto area = ReceiveArea().first(static_cast<std::size_t>(receive_length_));
  const std::int32_t received = socket_.Receive(area);
  if (received < 0) {
    last_error_.AppendF(kLineRecv, WsaErrorName(socket_.LastError()).data(), kLineEnd);
    return -1;
  }
  receive_length_ = received;
  const auto datagram = area.first(static_cast<std::size_t>(received));
  if (!ber::DecodeResponse(datagram, decoded_response_)) {
    if (trace_switch_ != 0) ber::AppendTraceDump(datagram, trace_);
    last_error_.AppendF(kLineUndecodable, kLineEnd);
    return -1;
  }
  if (trace_switch_ != 0) {
    ber::AppendTraceDump(datagram, trace_);
    ber::AppendTraceDecoded(decoded_response_, trace_);
  }
  if (decoded_response_.error_status != 0) {
    last_error_.AppendF(kLineText, SnmpErrorStatusText(decoded_response_.error_status).data(),
                        kLineEnd);
    return -1;
  }
  ber::AppendValueText(decoded_response_, value_text_);
  return received;
}

}  // namespace tavi
