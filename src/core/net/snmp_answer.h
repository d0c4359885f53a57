// Which datagram answers which of our requests. A reply is believed only when it proves that it
// answers a request we sent: an SNMPv1 GetResponse in our community that carries the request id
// we sent. The printer's address and port alone prove nothing: any program on that host, or any
// sender that forges the source, can reach our socket.
//
// A request that is sent again keeps its request id, so a late answer to an earlier send of the
// same request is taken, and an answer to another request (an earlier poll, another program's
// exchange) never is.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core/net/ber.h"
#include "core/resources/constants.h"

namespace tavi {

// The fields of a message that say whose answer it is.
struct SnmpEnvelope {
  std::int32_t version = -1;
  std::span<const std::byte> community;
  std::uint8_t pdu_type = 0;
  std::int32_t request_id = 0;
};

SnmpEnvelope EnvelopeOf(const ber::DecodedMessage& decoded);
SnmpEnvelope EnvelopeOf(const ber::DecodedPdu& decoded);

enum class AnswerCheck {
  kAnswers,
  kNotAResponse,    // another PDU type than GetResponse
  kWrongVersion,    // not SNMPv1
  kWrongCommunity,  // not our community
  kWrongRequest,    // the request id of a request we did not send (or not this one)
};

// Whether `reply` answers the request we sent with `request_id` in `community`, and if not, why
// not.
[[nodiscard]] AnswerCheck CheckAnswer(const SnmpEnvelope& reply, std::int32_t request_id,
                                      std::string_view community = kSnmpCommunity);

// `datagram` with the octets of `community` (a span inside it, or empty) replaced by '*', for a
// trace: the community is a shared secret and never appears in one.
std::vector<std::byte> MaskCommunity(std::span<const std::byte> datagram,
                                     std::span<const std::byte> community);

// The reason in words for a trace: "the request id 0x1234 is not ours (0x5678)".
std::string_view AnswerCheckWords(AnswerCheck check);

// A fresh request id: random, positive, 31 bits, never 0. Each request gets its own, so that an
// answer cannot be guessed and an answer to an earlier request is told apart.
[[nodiscard]] std::int32_t NewRequestId();

}  // namespace tavi
