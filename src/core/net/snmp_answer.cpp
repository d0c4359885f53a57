#include "core/net/snmp_answer.h"

#include <algorithm>
#include <functional>
#include <random>

#include "core/resources/constants.h"

namespace tavi {

SnmpEnvelope EnvelopeOf(const ber::DecodedMessage& decoded) {
  return {decoded.version, decoded.community, decoded.pdu_type, decoded.request_id};
}

SnmpEnvelope EnvelopeOf(const ber::DecodedPdu& decoded) {
  return {decoded.version, decoded.community, decoded.pdu_type, decoded.request_id};
}

AnswerCheck CheckAnswer(const SnmpEnvelope& reply, std::int32_t request_id,
                        std::string_view community) {
  if (reply.pdu_type != ber::kPduGetResponse) return AnswerCheck::kNotAResponse;
  if (reply.version != kSnmpVersion) return AnswerCheck::kWrongVersion;
  if (!std::ranges::equal(reply.community, std::as_bytes(std::span(community)))) {
    return AnswerCheck::kWrongCommunity;
  }
  if (reply.request_id != request_id) return AnswerCheck::kWrongRequest;
  return AnswerCheck::kAnswers;
}

std::vector<std::byte> MaskCommunity(std::span<const std::byte> datagram,
                                     std::span<const std::byte> community) {
  std::vector<std::byte> out(datagram.begin(), datagram.end());
  if (community.empty()) return out;
  // Only a span that lies inside the datagram can be found in the copy.
  const auto* first = datagram.data();
  const auto* at = community.data();
  const std::less<const std::byte*> before;
  if (before(at, first) || before(first + datagram.size(), at + community.size())) return out;
  const auto offset = static_cast<std::size_t>(at - first);
  std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(offset), community.size(), std::byte{'*'});
  return out;
}

std::string_view AnswerCheckWords(AnswerCheck check) {
  switch (check) {
    case AnswerCheck::kAnswers:
      return "answers our request";
    case AnswerCheck::kNotAResponse:
      return "not a GetResponse";
    case AnswerCheck::kWrongVersion:
      return "not SNMP version 1";
    case AnswerCheck::kWrongCommunity:
      return "not our community";
    case AnswerCheck::kWrongRequest:
      return "the answer to another request";
  }
  return "not ours";
}

std::int32_t NewRequestId() {
  std::random_device seed;
  std::uniform_int_distribution<std::int32_t> pick(1, 0x7FFFFFFF);
  return pick(seed);
}

}  // namespace tavi
