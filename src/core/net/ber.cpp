// BER codec of the SNMPv1 client.
#include "core/net/ber.h"

#include <array>
#include <cstring>
#include <limits>

#include "core/resources/constants.h"

namespace tavi::ber {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::uint8_t kLongFormBit = 0x80;
// Octets of the request-id content, always written in full.
constexpr std::size_t kRequestIdOctets = 4;
// version (3) + community header (2); the community's content follows.
constexpr std::size_t kVersionAndCommunityHeaderOctets = 3 + 2;
// request-id (2 + 4) + error-status (3) + error-index (3).
constexpr std::size_t kPduFieldOctets = 2 + kRequestIdOctets + 3 + 3;
constexpr std::size_t kHeaderOctets = 2;  // tag + short-form length

std::uint8_t U8(std::byte b) {
  return std::to_integer<std::uint8_t>(b);
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Appends octets at the front of a span, refusing anything that would not fit.
class Writer {
 public:
  explicit Writer(std::span<std::byte> out) : out_(out) {}
  void Put(std::uint8_t octet) {
    if (pos_ < out_.size()) {
      out_[pos_++] = std::byte{octet};
    } else {
      ok_ = false;
    }
  }
  void Put(std::span<const std::byte> octets) {
    if (octets.size() <= out_.size() - pos_) {
      if (!octets.empty()) std::memcpy(out_.data() + pos_, octets.data(), octets.size());
      pos_ += octets.size();
    } else {
      ok_ = false;
    }
  }
  // Tag and short-form length; the caller has checked the length.
  void Header(std::uint8_t tag, std::size_t length) {
    Put(tag);
    Put(static_cast<std::uint8_t>(length));
  }
  bool ok() const { return ok_; }
  std::size_t size() const { return pos_; }

 private:
  std::span<std::byte> out_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

// Two's complement, most significant octet first, in the fewest octets that hold `value`.
std::size_t IntegerContent(std::int32_t value, std::array<std::byte, 4>& out) {
  const auto u = static_cast<std::uint32_t>(value);
  auto octet = [u](std::size_t i) { return static_cast<std::uint8_t>(u >> (8 * i)); };
  std::size_t n = 4;
  while (n > 1) {
    const std::uint8_t top = octet(n - 1);
    const bool next_negative = (octet(n - 2) & 0x80) != 0;
    if ((top == 0x00 && !next_negative) || (top == 0xFF && next_negative)) {
      --n;
    } else {
      break;
    }
  }
  for (std::size_t i = 0; i < n; ++i) out[i] = std::byte{octet(n - 1 - i)};
  return n;
}

// Walks a received datagram; every step fails instead of passing its end.
class Reader {
 public:
  explicit Reader(std::span<const std::byte> data) : data_(data) {}

  bool Octet(std::uint8_t& octet) {
    if (pos_ >= data_.size()) return false;
    octet = U8(data_[pos_++]);
    return true;
  }
  bool Skip(std::size_t n) {
    if (n > data_.size() - pos_) return false;
    pos_ += n;
    return true;
  }
  // A short-form length, or the long form's extra octets, most significant first. A length
  // beyond 32 bits saturates; no datagram holds that much.
  bool Length(std::uint32_t& length) {
    std::uint8_t first = 0;
    if (!Octet(first)) return false;
    if (first < kLongFormBit) {
      length = first;
      return true;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(first - kLongFormBit); ++i) {
      std::uint8_t octet = 0;
      if (!Octet(octet)) return false;
      value = (value << 8) | octet;
      if (value > std::numeric_limits<std::uint32_t>::max()) {
        value = std::numeric_limits<std::uint32_t>::max();
      }
    }
    length = static_cast<std::uint32_t>(value);
    return true;
  }
  // Identifier octet and length, short or long form; the length itself is not used.
  bool SkipHeader() {
    std::uint32_t ignored = 0;
    return Skip(1) && Length(ignored);
  }
  bool AtEnd() const { return pos_ == data_.size(); }
  bool Take(std::uint32_t n, std::span<const std::byte>& out) {
    if (n > data_.size() - pos_ || n > static_cast<std::uint32_t>(INT32_MAX)) return false;
    out = data_.subspan(pos_, n);
    pos_ += n;
    return true;
  }

 private:
  std::span<const std::byte> data_;
  std::size_t pos_ = 0;
};

bool DecodeWalk(std::span<const std::byte> datagram, std::size_t community_size,
                DecodedMessage& d) {
  Reader r(datagram);
  // Message, version (its single content octet), community (tag, length and as many octets as
  // the request's community has), PDU.
  std::uint32_t length = 0;
  std::uint8_t version = 0;
  if (!r.SkipHeader() || !r.Skip(1) || !r.Length(length) || !r.Octet(version)) return false;
  d.version = length == 1 ? version : -1;
  std::uint8_t community_length = 0;
  std::span<const std::byte> community;
  if (!r.Skip(1) || !r.Octet(community_length)) return false;
  if (!r.Take(static_cast<std::uint32_t>(community_size), community)) return false;
  if (community_length == community_size) d.community = community;
  if (!r.Octet(d.pdu_type) || !r.Length(length)) return false;

  // Request id: short-form length, big-endian content, sign-extended from its first octet.
  std::uint8_t count = 0;
  if (!r.Skip(1) || !r.Octet(count)) return false;
  std::uint32_t id = 0;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t octet = 0;
    if (!r.Octet(octet)) return false;
    if (i == 0 && (octet & 0x80) != 0) id = 0xFFFFFFFFu;
    id = (id << 8) | octet;
  }
  d.request_id = static_cast<std::int32_t>(id);

  std::uint8_t status = 0;
  std::uint8_t index = 0;
  if (!r.Skip(2) || !r.Octet(status) || !r.Skip(2) || !r.Octet(index)) return false;
  d.error_status = status;
  d.error_index = index;

  // Binding list, first binding, then its name and value.
  if (!r.SkipHeader() || !r.SkipHeader()) return false;
  std::uint8_t type = 0;
  if (!r.Octet(type) || !r.Length(length) || !r.Take(length, d.name)) return false;
  d.name_type = type;
  d.name_length = static_cast<std::int32_t>(length);
  if (!r.Octet(type) || !r.Length(length) || !r.Take(length, d.value)) return false;
  d.value_type = type;
  d.value_length = static_cast<std::int32_t>(length);
  return true;
}

}  // namespace

std::size_t EncodeSubidentifier(std::uint32_t value, std::span<std::byte> out) {
  std::size_t n = 1;
  for (std::uint32_t rest = value >> 7; rest != 0; rest >>= 7) ++n;
  if (n > out.size()) return 0;
  for (std::size_t i = 0; i < n; ++i) {
    const auto group = static_cast<std::uint8_t>((value >> (7 * (n - 1 - i))) & 0x7F);
    out[i] = std::byte{static_cast<std::uint8_t>(i + 1 < n ? group | 0x80 : group)};
  }
  return n;
}

std::int32_t EncodeOid(std::string_view text, std::span<std::byte> out) {
  std::size_t i = 0;
  std::size_t written = 0;
  std::size_t arc_index = 0;
  while (true) {
    while (i < text.size() && !IsDigit(text[i])) ++i;
    if (i == text.size()) break;
    // One arc, read as an unsigned 32-bit number (saturating, as an overflowing parse does).
    std::uint32_t arc = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
      const auto digit = static_cast<std::uint32_t>(text[i] - '0');
      const std::uint32_t max = std::numeric_limits<std::uint32_t>::max();
      arc = arc > (max - digit) / 10 ? max : arc * 10 + digit;
    }
    if (arc_index == 0) {
      if (out.empty()) return -1;
      out[0] = std::byte{static_cast<std::uint8_t>(arc * 40)};
      written = 1;
    } else if (arc_index == 1) {
      out[0] = std::byte{static_cast<std::uint8_t>(U8(out[0]) + arc)};
    } else {
      const std::size_t n = EncodeSubidentifier(arc, out.subspan(written));
      if (n == 0) return -1;
      written += n;
    }
    ++arc_index;
    if (i == text.size() || IsSpace(text[i])) break;
    ++i;  // the separator; further non-digits are skipped above
  }
  return static_cast<std::int32_t>(written);
}

namespace {

struct BindingRequest {
  std::string_view oid_text;
  ValueDescriptor value;
};

// One binding's encoded parts, measured before anything is written.
struct EncodedBinding {
  std::array<std::byte, kOidScratchSize> oid{};
  std::size_t oid_length = 0;
  std::array<std::byte, 4> integer{};
  std::span<const std::byte> content;
  std::uint8_t tag = 0;
  std::size_t Size() const { return kHeaderOctets + oid_length + kHeaderOctets + content.size(); }
};

bool EncodeBinding(const BindingRequest& binding, EncodedBinding& e) {
  const std::int32_t oid_count = EncodeOid(binding.oid_text, e.oid);
  if (oid_count < 0) return false;
  e.oid_length = static_cast<std::size_t>(oid_count);
  e.tag = static_cast<std::uint8_t>(binding.value.kind);
  if (binding.value.kind == kTagInteger) {
    e.content = std::span<const std::byte>(e.integer).first(
        IntegerContent(binding.value.number, e.integer));
  } else if (binding.value.kind == kTagOctetString) {
    if (binding.value.number < 0 ||
        static_cast<std::size_t>(binding.value.number) > binding.value.octets.size()) {
      return false;
    }
    e.content = binding.value.octets.first(static_cast<std::size_t>(binding.value.number));
  }
  return e.oid_length <= kMaxShortLength && e.content.size() <= kMaxShortLength &&
         e.Size() <= kMaxShortLength;
}

std::int32_t BuildMessage(std::span<const BindingRequest> bindings, std::uint8_t pdu_type,
                          std::uint32_t request_id, std::string_view community,
                          std::span<std::byte> out) {
  if (bindings.size() > kMaxBindings || community.size() > kMaxShortLength) return -1;
  std::array<EncodedBinding, kMaxBindings> encoded;
  // Every length is known up front, so the message is written front to back.
  std::size_t list = kHeaderOctets;
  for (std::size_t i = 0; i < bindings.size(); ++i) {
    if (!EncodeBinding(bindings[i], encoded[i])) return -1;
    list += kHeaderOctets + encoded[i].Size();
  }
  const std::size_t pdu = kPduFieldOctets + list;
  const std::size_t message =
      kVersionAndCommunityHeaderOctets + community.size() + kHeaderOctets + pdu;
  for (std::size_t length : {list - kHeaderOctets, pdu, message}) {
    if (length > kMaxShortLength) return -1;
  }
  if (kHeaderOctets + message > out.size()) return -1;

  Writer w(out);
  w.Header(kTagSequence, message);
  w.Header(kTagInteger, 1);
  w.Put(0);
  w.Header(kTagOctetString, community.size());
  w.Put(std::as_bytes(std::span(community.data(), community.size())));
  w.Header(pdu_type, pdu);
  w.Header(kTagInteger, kRequestIdOctets);
  for (std::size_t i = kRequestIdOctets; i-- > 0;) {
    w.Put(static_cast<std::uint8_t>(request_id >> (8 * i)));
  }
  for (int field = 0; field < 2; ++field) {  // error-status, error-index
    w.Header(kTagInteger, 1);
    w.Put(0);
  }
  w.Header(kTagSequence, list - kHeaderOctets);
  for (std::size_t i = 0; i < bindings.size(); ++i) {
    const EncodedBinding& e = encoded[i];
    w.Header(kTagSequence, e.Size());
    w.Header(kTagObjectId, e.oid_length);
    w.Put(std::span<const std::byte>(e.oid).first(e.oid_length));
    w.Header(e.tag, e.content.size());
    w.Put(e.content);
  }
  if (!w.ok()) return -1;
  return static_cast<std::int32_t>(w.size());
}

// One element: identifier octet, definite length, content inside what is left.
bool ReadElement(Reader& r, std::uint8_t& tag, std::span<const std::byte>& content) {
  std::uint32_t length = 0;
  return r.Octet(tag) && r.Length(length) && r.Take(length, content);
}

bool ReadTagged(Reader& r, std::uint8_t want, std::span<const std::byte>& content) {
  std::uint8_t tag = 0;
  return ReadElement(r, tag, content) && tag == want;
}

// A signed INTEGER of 1 to 4 content octets.
bool ReadInteger(Reader& r, std::int32_t& out) {
  std::span<const std::byte> content;
  if (!ReadTagged(r, kTagInteger, content) || content.empty() || content.size() > 4) return false;
  std::uint32_t value = (U8(content[0]) & 0x80) != 0 ? 0xFFFFFFFFu : 0;
  for (std::byte b : content) value = (value << 8) | U8(b);
  out = static_cast<std::int32_t>(value);
  return true;
}

bool DecodeStrict(std::span<const std::byte> datagram, DecodedPdu& d) {
  Reader outer(datagram);
  std::span<const std::byte> message;
  if (!ReadTagged(outer, kTagSequence, message) || !outer.AtEnd()) return false;
  Reader m(message);
  std::int32_t version = 0;
  std::span<const std::byte> community;
  std::span<const std::byte> pdu;
  if (!ReadInteger(m, version) || !ReadTagged(m, kTagOctetString, community)) return false;
  if (!ReadElement(m, d.pdu_type, pdu) || !m.AtEnd()) return false;
  d.version = version;
  d.community = community;
  if (d.pdu_type < kPduGetRequest || d.pdu_type > kPduSetRequest) return false;
  Reader p(pdu);
  std::span<const std::byte> list;
  if (!ReadInteger(p, d.request_id) || !ReadInteger(p, d.error_status) ||
      !ReadInteger(p, d.error_index) || !ReadTagged(p, kTagSequence, list) || !p.AtEnd()) {
    return false;
  }
  Reader l(list);
  while (!l.AtEnd()) {
    if (d.binding_count == kMaxBindings) return false;
    std::span<const std::byte> binding;
    if (!ReadTagged(l, kTagSequence, binding)) return false;
    Reader b(binding);
    Binding& out = d.bindings[d.binding_count];
    if (!ReadTagged(b, kTagObjectId, out.name) || !ReadElement(b, out.value_type, out.value) ||
        !b.AtEnd()) {
      return false;
    }
    ++d.binding_count;
  }
  return true;
}

}  // namespace

std::int32_t BuildRequest(std::string_view oid_text, std::uint8_t pdu_type,
                          const ValueDescriptor& value, std::uint32_t request_id,
                          std::span<std::byte> out, std::string_view community) {
  const BindingRequest binding{oid_text, value};
  return BuildMessage(std::span(&binding, 1), pdu_type, request_id, community, out);
}

std::int32_t BuildGetRequest(std::span<const std::string_view> oids, std::uint32_t request_id,
                             std::span<std::byte> out, std::string_view community) {
  if (oids.size() > kMaxBindings) return -1;
  std::array<BindingRequest, kMaxBindings> bindings;
  for (std::size_t i = 0; i < oids.size(); ++i) bindings[i] = {oids[i], ValueDescriptor{}};
  return BuildMessage(std::span(bindings).first(oids.size()), kPduGetRequest, request_id, community,
                      out);
}

bool DecodeMessage(std::span<const std::byte> datagram, DecodedPdu& out) {
  out = DecodedPdu{};
  if (DecodeStrict(datagram, out)) return true;
  out = DecodedPdu{};
  return false;
}

bool AppendOidText(std::span<const std::byte> content, BoundedText& sink) {
  if (content.empty() || (U8(content.back()) & 0x80) != 0) return false;
  // Check every arc before appending anything.
  std::uint64_t arc = 0;
  for (std::byte b : content) {
    arc = (arc << 7) | (U8(b) & 0x7F);
    if (arc > std::numeric_limits<std::uint32_t>::max()) return false;
    if ((U8(b) & 0x80) == 0) arc = 0;
  }
  const std::uint8_t first = U8(content[0]);
  if ((first & 0x80) != 0) return false;  // the first two arcs in one octet only
  sink.AppendF(".%u.%u", first < 80 ? first / 40u : 2u, first < 80 ? first % 40u : first - 80u);
  arc = 0;
  for (std::byte b : content.subspan(1)) {
    arc = (arc << 7) | (U8(b) & 0x7F);
    if ((U8(b) & 0x80) == 0) {
      sink.AppendF(".%u", static_cast<unsigned>(arc));
      arc = 0;
    }
  }
  return true;
}

bool DecodeResponse(std::span<const std::byte> datagram, DecodedMessage& decoded,
                    std::size_t community_size) {
  decoded = DecodedMessage{};
  if (DecodeWalk(datagram, community_size, decoded)) return true;
  decoded = DecodedMessage{};
  return false;
}

void AppendValueText(const DecodedMessage& decoded, BoundedText& sink) {
  switch (decoded.value_type) {
    case kTagInteger: {
      std::uint32_t number = 0;
      for (std::byte b : decoded.value) number = (number << 8) | U8(b);
      sink.AppendF("0x%x(%d)", number, static_cast<std::int32_t>(number));
      break;
    }
    case kTagOctetString: {
      sink.Append("\"");
      // Append stops at a zero octet, so each run between zeros is one piece.
      const auto* chars = reinterpret_cast<const char*>(decoded.value.data());
      std::string_view rest(chars, decoded.value.size());
      while (!rest.empty()) {
        sink.Append(rest);
        const std::size_t zero = rest.find('\0');
        rest = zero == std::string_view::npos ? std::string_view{} : rest.substr(zero + 1);
      }
      sink.Append("\"");
      break;
    }
    case kTagNull:
      break;
    default:
      sink.Append(kUnknownObjectType);
      break;
  }
}

void AppendTraceDump(std::span<const std::byte> octets, BoundedText& sink) {
  for (std::size_t i = 0; i < octets.size(); ++i) {
    if (i % 16 != 0) sink.Append(" ");
    sink.AppendF("%2x", U8(octets[i]));
    if (i % 16 == 15) sink.Append(kLineEnd);
  }
  if (octets.size() % 16 != 0) sink.Append(kLineEnd);
}

void AppendTraceDecoded(const DecodedMessage& d, BoundedText& sink) {
  const char* eol = "\r\n";
  sink.AppendF("request_id 0x%x(%d)%s", static_cast<std::uint32_t>(d.request_id), d.request_id,
               eol);
  sink.AppendF("error_status %d%s", d.error_status, eol);
  sink.AppendF("error_index %d%s", d.error_index, eol);
  sink.AppendF("oidname_type %d%s", d.name_type, eol);
  sink.AppendF("oidname_length %d%s", d.name_length, eol);
  sink.Append("oidname_data");
  for (std::byte b : d.name) sink.AppendF(" %02x", U8(b));
  sink.Append(kLineEnd);
  sink.AppendF("oidvalue_type %d%s", d.value_type, eol);
  sink.AppendF("oidvalue_length %d%s", d.value_length, eol);
  switch (d.value_type) {
    case kTagInteger:
      sink.Append("oidvalue_data");
      for (std::byte b : d.value) sink.AppendF(" %02x", U8(b));
      sink.Append(kLineEnd);
      break;
    case kTagOctetString:
      sink.Append("oidvalue_data \"");
      for (std::byte b : d.value) sink.AppendF("%c", U8(b));
      sink.Append("\"");
      sink.Append(kLineEnd);
      break;
    case kTagNull:
      break;
    default:
      sink.AppendF("%s%s", kUnknownObjectType.data(), eol);
      break;
  }
}

}  // namespace tavi::ber
