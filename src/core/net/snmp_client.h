// One SNMPv1 request/response exchange over UDP: open towards a host, build one request, send
// it, receive one response, read its value text. A datagram can be lost on the way there or
// back: when no answer comes within the round-trip bound, the receive sends the same request
// again on the same socket, a bounded number of times, before it gives up. The cancel source's
// Cancel ends the wait at once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/net/ber.h"
#include "core/net/bounded_text.h"
#include "core/net/round_trip.h"
#include "core/resources/constants.h"
#include "core/trace/trace.h"
#include "os/socket.h"

namespace tavi {

class Clock;
class ProgressDialog;

inline constexpr std::size_t kSnmpTraceCapacity = 4096;
inline constexpr std::size_t kSnmpLastErrorCapacity = 256;
inline constexpr std::size_t kSnmpValueCapacity = 514;
// Each of the send and receive areas.
inline constexpr std::size_t kSnmpAreaSize = 1500;

// Said after "no answer ... within N ms" when not one datagram came back: an agent drops a request
// in another community without a word.
inline constexpr std::string_view kTextCommunitySilence =
    "A wrong SNMP community gives exactly this silence.";

// The line for a datagram the decoder cannot walk (it ends early or its lengths point outside).
inline constexpr const char* kLineUndecodable = "recv: malformed response%s";

// The text for a response's error status ("Unknown Error" beyond 5).
std::string_view SnmpErrorStatusText(std::int32_t error_status);

class SnmpClient {
 public:
  // `port` 0: the "snmp"/"udp" service port, else 161. Any other value is used as is.
  // `trace` receives every request and response as octets and the decoded reply.
  explicit SnmpClient(std::uint16_t port = 0, Trace trace = {});
  SnmpClient(const SnmpClient&) = delete;
  SnmpClient& operator=(const SnmpClient&) = delete;

  // While a socket call blocks: pump `progress` (stopping at socket notifications), then cancel
  // the call if its cancel flag is set.
  void SetCancelSource(ProgressDialog* progress) { cancel_source_ = progress; }
  void SetTrace(std::int32_t on) { trace_switch_ = on; }
  // The round-trip bound to use and teach (it outlives the client, so that the next exchange
  // starts from what this one learned); null: a fresh one of the client's own.
  void SetRoundTrip(RoundTripEstimate* estimate) {
    round_trip_ = estimate != nullptr ? estimate : &own_round_trip_;
  }
  // The time scale of the round trips and the bound; null: the steady clock.
  void SetClock(Clock* clock) { clock_ = clock; }
  // The community of every request built after this (kSnmpCommunity by default); an answer
  // counts only in it. Never traced: the traces show '*' in its place.
  void SetCommunity(std::string_view community) { community_ = std::string(community); }

  // Resolves `host` (a name on a worker thread whose wait Cancel ends) and connects the datagram
  // socket to it. 0 or -1 (line added).
  std::int32_t Open(std::string_view host);
  // The same towards `address`, which the caller already looked `host` up as.
  std::int32_t Open(std::string_view host, const NetAddress& address);
  // Each builds the request into the send area and returns its length (-1 if it cannot be
  // built; a later Send then fails).
  std::int32_t BuildGet(std::string_view oid, std::uint8_t pdu_type);
  std::int32_t BuildInteger(std::string_view oid, std::uint8_t pdu_type, std::int32_t value);
  std::int32_t BuildOctetString(std::string_view oid, std::uint8_t pdu_type,
                                std::span<const std::byte> octets);
  // Sends the built request as one datagram: the count sent, or -1 (line added).
  std::int32_t Send();
  // Receives the answer to the built request: its length, or -1 on a socket error (also
  // Cancel), an undecodable datagram or a nonzero error status (line added each time). A
  // datagram that is no answer to this request (another PDU type, version, community or
  // request id) is passed over and the wait goes on. When the round-trip bound passes with no
  // answer, the same request (same request id) goes out again, up to kMaxRequestSends sends in
  // all; then the receive fails with "recv: WSAETIMEDOUT". An answer to any of the sends is
  // taken: they all ask the same question.
  std::int32_t Receive();
  // How often the request built last went out (the first send included).
  int sends() const { return sends_; }

  void ValueText(std::string& out) const { out.assign(value_text_.view()); }
  std::string_view value_text() const { return value_text_.view(); }
  std::string_view last_error_text() const { return last_error_.view(); }
  // The last failure: in the technician's words, e.g. "no answer from 192.0.2.7 port 161 (SNMP)
  // within 30000 ms", with the socket's code when a socket call failed. No message of its own
  // (the caller's step names it); empty before any failure.
  const Failure& failure() const { return failure_; }
  std::string_view trace_text() const { return trace_.view(); }
  std::size_t CopyLastErrorText(std::span<char> out) const { return last_error_.CopyTo(out); }
  // The request id of the request built last.
  std::int32_t request_id() const { return request_id_; }
  // The decoded response of the last successful receive (also after a nonzero error status).
  const ber::DecodedMessage& response() const { return decoded_response_; }

 private:
  bool SocketHook();
  // Connects the socket to `address` on the SNMP port. 0 or -1 (line added).
  std::int32_t Connect(const NetAddress& address, bool host_is_address);
  // Appends `format` filled with the name of `code` and the line end to the last-error text.
  void AppendCodeLine(const char* format, SystemCode code);
  // Records `what` as the failure's details with `code` (and traces it).
  void Fail(std::string what, SystemCode code = {});
  // "192.0.2.7 port 161 (SNMP)", with the name first when the host was one.
  std::string Where() const;
  std::string SocketReason() const;
  // "; 2 datagrams came that did not answer our request", or empty.
  std::string IgnoredWords() const;
  // "; 3 requests went unanswered", or empty.
  std::string UnansweredWords() const;
  std::int64_t NowMs() const;
  // Sends the request as one datagram; false (line added) on a socket error.
  bool SendDatagram(std::span<const std::byte> request, const char* what);
  // The bound passed with no answer: sends the request again, or fails when it went out as
  // often as it may. False when the receive is over.
  bool SendAgain();
  // The community hint for a receive that saw no datagram at all, or empty.
  std::string SilenceWords() const;
  // A copy of the built request `request` for a trace, its community masked.
  std::vector<std::byte> Masked(std::span<const std::byte> request) const;
  std::int32_t Build(std::string_view oid, std::uint8_t pdu_type, const ber::ValueDescriptor& v);
  std::span<std::byte> SendArea() { return std::span(message_).first(kSnmpAreaSize); }
  std::span<std::byte> ReceiveArea() { return std::span(message_).last(kSnmpAreaSize); }

  BoundedText trace_{kSnmpTraceCapacity};
  BoundedText last_error_{kSnmpLastErrorCapacity};
  BoundedText value_text_{kSnmpValueCapacity};
  std::int32_t open_status_ = -1;
  std::int32_t trace_switch_ = 0;
  std::array<std::byte, 2 * kSnmpAreaSize> message_{};
  std::int32_t request_length_ = static_cast<std::int32_t>(kSnmpAreaSize);
  std::int32_t receive_length_ = static_cast<std::int32_t>(kSnmpAreaSize);
  bool request_built_ = false;
  std::int32_t request_id_ = 0;  // fresh for every request built
  int ignored_ = 0;              // datagrams passed over by this receive
  int sends_ = 0;                // sends of the request built last
  int unanswered_ = 0;           // sends whose bound passed with no answer
  ber::DecodedMessage decoded_request_;
  ber::DecodedMessage decoded_response_;
  ProgressDialog* cancel_source_ = nullptr;
  std::uint16_t port_override_;
  std::string community_{kSnmpCommunity};
  std::string host_;
  NetAddress address_;
  bool host_is_address_ = false;  // the host was given as an address: no name to show
  std::uint16_t port_ = 0;
  std::int64_t first_sent_ms_ = 0;  // when the request first went out (on clock_'s scale)
  std::int64_t sent_ms_ = 0;        // when it went out last
  std::int64_t deadline_ms_ = -1;   // while a receive waits: when the bound passes
  bool bound_passed_ = false;       // the hook ended the wait because the bound passed
  RoundTripEstimate own_round_trip_;
  RoundTripEstimate* round_trip_ = &own_round_trip_;
  Clock* clock_ = nullptr;
  Failure failure_;
  Trace wire_trace_;
  Socket socket_{Socket::Kind::kDatagram};
};

}  // namespace tavi
