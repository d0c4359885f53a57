#include "core/discovery/answers.h"

#include <algorithm>

#include "core/net/ber.h"
#include "core/net/bounded_text.h"
#include "core/net/snmp_answer.h"
#include "core/resources/constants.h"

namespace tavi::discovery {
namespace {

constexpr std::array<std::string_view, 4> kFullOids = {kSysDescrOid, kSysObjectIdOid, kSysNameOid,
                                                       kReplyOid};
constexpr std::size_t kSystemOidCount = 3;
enum BindingIndex : std::size_t { kDescr = 0, kObjectId = 1, kName = 2, kReply = 3 };

std::span<const std::string_view> OidsOf(RequestKind kind) {
  return std::span(kFullOids).first(kind == RequestKind::kFull ? kFullOids.size()
                                                               : kSystemOidCount);
}

// The content octets of the asked OID `oid`, encoded into `scratch`.
std::span<const std::byte> EncodedOid(std::string_view oid,
                                      std::array<std::byte, ber::kOidScratchSize>& scratch) {
  return std::span(scratch).first(
      static_cast<std::size_t>(std::max(0, ber::EncodeOid(oid, scratch))));
}

// Printable ASCII as it is, any other octet as '?', at most kMaxTextLength characters.
std::string Printable(std::span<const std::byte> octets) {
  std::string out;
  out.reserve(std::min(octets.size(), kMaxTextLength));
  for (std::byte b : octets.first(std::min(octets.size(), kMaxTextLength))) {
    const auto c = std::to_integer<unsigned char>(b);
    out.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
  }
  return out;
}

std::string OctetText(const ber::Binding& b) {
  return b.value_type == ber::kTagOctetString ? Printable(b.value) : std::string();
}

std::string ObjectIdText(const ber::Binding& b) {
  if (b.value_type != ber::kTagObjectId) return {};
  // An OID of at most 128 arcs of 10 digits fits; a longer one is cut and so not taken.
  BoundedText text(ber::kOidScratchSize * 11 + 1);
  if (!ber::AppendOidText(b.value, text) || text.full()) return {};
  return text.str();
}

}  // namespace

bool IsFamilyObjectId(std::string_view object_id) {
  return object_id.starts_with(kFamilyEnterpriseOid) &&
         (object_id.size() == kFamilyEnterpriseOid.size() ||
          object_id[kFamilyEnterpriseOid.size()] == '.');
}

std::string_view FamilyNameOf(std::string_view object_id) {
  if (!IsFamilyObjectId(object_id)) return {};
  std::string_view rest = object_id.substr(kFamilyEnterpriseOid.size());
  if (!rest.starts_with(".1.")) return {};
  rest.remove_prefix(3);
  const std::string_view arc = rest.substr(0, rest.find('.'));
  for (std::size_t i = 0; i < std::size(kFamilyNames); ++i) {
    if (arc == std::to_string(i + 1)) return kFamilyNames[i];
  }
  return {};
}

AnswerMatcher::AnswerMatcher(std::uint32_t request_id_base, std::uint16_t port,
                             std::string community)
    : request_id_base_(request_id_base), port_(port), community_(std::move(community)) {}

std::size_t AnswerMatcher::AddRequest(std::uint32_t address, bool broadcast, RequestKind kind) {
  Request r;
  r.address = address;
  r.broadcast = broadcast;
  r.kind = kind;
  requests_.push_back(r);
  return requests_.size() - 1;
}

std::int32_t AnswerMatcher::BuildDatagram(std::size_t index, std::span<std::byte> out) const {
  const auto id = request_id_base_ + static_cast<std::uint32_t>(index);
  return ber::BuildGetRequest(OidsOf(requests_[index].kind), id, out, community_);
}

Verdict AnswerMatcher::Accept(std::uint32_t from, std::uint16_t from_port,
                              std::span<const std::byte> datagram, bool truncated) {
  ber::DecodedPdu d;
  if (truncated || !ber::DecodeMessage(datagram, d)) return Verdict::kUndecodable;
  if (d.pdu_type != ber::kPduGetResponse) return Verdict::kNotAResponse;
  if (from_port != port_) return Verdict::kWrongPort;
  const std::uint32_t offset = static_cast<std::uint32_t>(d.request_id) - request_id_base_;
  if (offset >= requests_.size() || requests_[offset].sends == 0) return Verdict::kUnknownRequest;
  const std::size_t index = offset;
  switch (CheckAnswer(EnvelopeOf(d), static_cast<std::int32_t>(request_id_base_ + offset),
                      community_)) {
    case AnswerCheck::kAnswers:
      break;
    case AnswerCheck::kNotAResponse:
      return Verdict::kNotAResponse;
    case AnswerCheck::kWrongRequest:
      return Verdict::kUnknownRequest;
    case AnswerCheck::kWrongVersion:
    case AnswerCheck::kWrongCommunity:
      return Verdict::kNotOurs;
  }
  if (!requests_[index].broadcast && from != requests_[index].address) {
    return Verdict::kUnaskedAddress;
  }
  const RequestKind kind = requests_[index].kind;
  const auto known = hosts_.find(from);
  if (known != hosts_.end() && (known->second.complete || kind == RequestKind::kFull)) {
    return Verdict::kDuplicate;
  }
  if (known == hosts_.end() && hosts_.size() >= kMaxHosts) return Verdict::kTooManyHosts;

  const auto oids = OidsOf(kind);
  if (d.binding_count != oids.size()) return Verdict::kWrongBindings;
  for (std::size_t i = 0; i < oids.size(); ++i) {
    const auto name = d.bindings[i].name;
    std::array<std::byte, ber::kOidScratchSize> scratch{};
    const auto asked = EncodedOid(kFullOids[i], scratch);
    if (!std::equal(name.begin(), name.end(), asked.begin(), asked.end())) {
      return Verdict::kWrongBindings;
    }
  }

  if (!requests_[index].broadcast) requests_[index].answered = true;
  Host& host = hosts_[from];
  host.found.address = from;
  if (d.error_status != 0) {
    if (kind == RequestKind::kFull) {
      AddRequest(from, false, RequestKind::kSystemOnly);  // `requests_` may move
      return Verdict::kFollowUp;
    }
    host.complete = true;  // an SNMP device that says nothing about itself
    return Verdict::kNewHost;
  }
  FoundHost& f = host.found;
  f.sys_descr = OctetText(d.bindings[kDescr]);
  f.sys_object_id = ObjectIdText(d.bindings[kObjectId]);
  f.sys_name = OctetText(d.bindings[kName]);
  f.answers_reply_object =
      kind == RequestKind::kFull && d.bindings[kReply].value_type == ber::kTagOctetString;
  f.family = f.answers_reply_object || IsFamilyObjectId(f.sys_object_id);
  f.family_name = std::string(FamilyNameOf(f.sys_object_id));
  host.complete = true;
  return Verdict::kNewHost;
}

std::vector<FoundHost> AnswerMatcher::Hosts() const {
  std::vector<FoundHost> out;
  out.reserve(hosts_.size());
  for (const auto& [address, host] : hosts_) out.push_back(host.found);
  return out;
}

}  // namespace tavi::discovery
