// BER codec for the SNMPv1 client: builds one single-binding request and picks the fields of a
// single-binding response out of a received datagram. Stateless functions over caller buffers;
// no heap allocation.
//
// The builder writes only short-form lengths and refuses (returns -1) any request in which an
// element's content would reach 128 octets, or which does not fit the output span.
// The decoder walks the response by position, as the request is laid out, without checking tags,
// but never reads past the datagram it is given: a datagram that ends early, or whose name or
// value length points past its end, is undecodable (false).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/net/bounded_text.h"
#include "core/resources/constants.h"

namespace tavi::ber {

// Identifier octets.
inline constexpr std::uint8_t kTagInteger = 0x02;
inline constexpr std::uint8_t kTagOctetString = 0x04;
inline constexpr std::uint8_t kTagNull = 0x05;
inline constexpr std::uint8_t kTagObjectId = 0x06;
inline constexpr std::uint8_t kTagSequence = 0x30;
inline constexpr std::uint8_t kPduGetRequest = 0xA0;
inline constexpr std::uint8_t kPduGetResponse = 0xA2;
inline constexpr std::uint8_t kPduSetRequest = 0xA3;

// Largest content a short-form length can announce.
inline constexpr std::size_t kMaxShortLength = 127;
// Scratch for one OID's content octets.
inline constexpr std::size_t kOidScratchSize = 128;

// Texts of the value and trace renderings.
inline constexpr std::string_view kUnknownObjectType = "Unknown ASN.1 object type";

// What the request's single binding carries.
struct ValueDescriptor {
  // kTagInteger, kTagOctetString or kTagNull; any other number is sent like NULL with its low
  // 8 bits as the tag.
  std::int32_t kind = kTagNull;
  // INTEGER: the value. OCTET STRING: the number of octets taken from `octets`.
  std::int32_t number = 0;
  // OCTET STRING content (not owned); must hold at least `number` octets.
  std::span<const std::byte> octets;
};

// The fields of a decoded message. `name` and `value` point into the decoded buffer and are
// valid while it is.
struct DecodedMessage {
  std::int32_t version = -1;  // the version's content octet; -1 when it has not exactly one
  std::span<const std::byte> community;  // empty unless its length octet is the size walked
  std::uint8_t pdu_type = 0;             // identifier octet of the PDU
  std::int32_t request_id = 0;           // sign-extended from its content octets
  std::int32_t error_status = 0;         // 0..255
  std::int32_t error_index = 0;          // 0..255
  std::int32_t name_type = 0;            // identifier octet of the binding's name
  std::int32_t name_length = 0;          // == name.size()
  std::span<const std::byte> name;
  std::int32_t value_type = 0;    // identifier octet of the binding's value
  std::int32_t value_length = 0;  // == value.size()
  std::span<const std::byte> value;
};

// A request or response with several bindings (discovery asks for a few objects at once).
inline constexpr std::size_t kMaxBindings = 8;

struct Binding {
  std::span<const std::byte> name;  // OBJECT IDENTIFIER content octets
  std::uint8_t value_type = 0;      // identifier octet of the value
  std::span<const std::byte> value;
};

// The fields of a message decoded by DecodeMessage. The spans point into the decoded buffer.
struct DecodedPdu {
  std::int32_t version = -1;
  std::span<const std::byte> community;
  std::uint8_t pdu_type = 0;
  std::int32_t request_id = 0;
  std::int32_t error_status = 0;
  std::int32_t error_index = 0;
  std::size_t binding_count = 0;
  std::array<Binding, kMaxBindings> bindings{};
};

// Builds an SNMPv1 message: version 0, `community` (sent as it is), the PDU `pdu_type`
// (kPduGetRequest or kPduSetRequest) with `request_id` written as exactly four octets, most
// significant first, error-status 0, error-index 0 and one binding of `oid_text` to `value`.
// Returns the message length, or -1 (nothing usable in `out`) when an element's content would
// be 128 octets or more, the OCTET STRING number is negative or larger than its octets, or the
// message does not fit `out`. Never writes past `out`.
std::int32_t BuildRequest(std::string_view oid_text, std::uint8_t pdu_type,
                          const ValueDescriptor& value, std::uint32_t request_id,
                          std::span<std::byte> out, std::string_view community = kSnmpCommunity);

// Builds a GetRequest of every OID in `oids` (at most kMaxBindings), each bound to NULL, with the
// same layout rules and limits as BuildRequest. Returns the message length or -1.
std::int32_t BuildGetRequest(std::span<const std::string_view> oids, std::uint32_t request_id,
                             std::span<std::byte> out, std::string_view community = kSnmpCommunity);

// Decodes a whole SNMPv1 message strictly: every element's tag is checked, every length must lie
// inside its parent, the request id takes 1 to 4 content octets, and nothing may follow the
// message. More than kMaxBindings bindings, or anything else, gives false (`out` reset).
bool DecodeMessage(std::span<const std::byte> datagram, DecodedPdu& out);

// Appends OBJECT IDENTIFIER content octets as dotted text with a leading dot (".1.3.6.1...").
// False, with nothing appended, for an empty or unterminated encoding, an arc past 32 bits, or a
// first subidentifier longer than one octet.
bool AppendOidText(std::span<const std::byte> content, BoundedText& sink);

// Encodes dotted-decimal OID text (a leading dot is optional) into OBJECT IDENTIFIER content
// octets. The first two arcs make one octet (40 * first + second, low 8 bits); later arcs are
// base-128 subidentifiers. The OID ends at the end of the text or at white space after an arc;
// text with no digit gives 0 octets. Returns the count written, or -1 if `out` is too small.
std::int32_t EncodeOid(std::string_view oid_text, std::span<std::byte> out);

// Writes `value` base-128, most significant group first, bit 7 set on all but the last octet
// (1 to 5 octets). Returns the count written, or 0 if `out` is too small (nothing written).
std::size_t EncodeSubidentifier(std::uint32_t value, std::span<std::byte> out);

// Fills `decoded` from a response (or from a built request, which has the same layout). The walk
// takes `community_size` octets of community, the size of the community the request sent; the
// community's length octet only decides whether `decoded.community` is filled.
// Returns false, with `decoded` reset, when the datagram ends before the walk does or the name or
// value length points past its end. Reads nothing outside `datagram`.
bool DecodeResponse(std::span<const std::byte> datagram, DecodedMessage& decoded,
                    std::size_t community_size = kSnmpCommunity.size());

// Appends the value's rendering: INTEGER "0x%x(%d)" of its octets accumulated big-endian in
// 32 bits; OCTET STRING the octets between double quotes, zero octets dropped; NULL nothing;
// any other type kUnknownObjectType.
void AppendValueText(const DecodedMessage& decoded, BoundedText& sink);

// Appends a hex dump of `octets`: " %2x"-style values, 16 to a line, each line ended by "\r\n".
void AppendTraceDump(std::span<const std::byte> octets, BoundedText& sink);

// Appends a field-by-field listing of `decoded`, one "\r\n"-ended line per field.
void AppendTraceDecoded(const DecodedMessage& decoded, BoundedText& sink);

}  // namespace tavi::ber
