// The agent's own BER reading and writing for SNMPv1 messages. Reading checks every length
// against what it was given and never reads past it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavi::sim {

inline constexpr std::uint8_t kBerInteger = 0x02;
inline constexpr std::uint8_t kBerOctetString = 0x04;
inline constexpr std::uint8_t kBerNull = 0x05;
inline constexpr std::uint8_t kBerOid = 0x06;
inline constexpr std::uint8_t kBerSequence = 0x30;
inline constexpr std::uint8_t kPduGet = 0xA0;
inline constexpr std::uint8_t kPduGetNext = 0xA1;
inline constexpr std::uint8_t kPduResponse = 0xA2;
inline constexpr std::uint8_t kPduSet = 0xA3;

struct BerTlv {
  std::uint8_t tag = 0;
  std::string_view content;
};

// Reads the element at `pos` (single-octet tag, short or long definite length of at most four
// octets); advances `pos` past it. False when it does not fit in `data`.
bool ReadTlv(std::string_view data, std::size_t& pos, BerTlv& out);

// A signed INTEGER of 1 to 8 content octets.
bool DecodeInteger(std::string_view content, std::int64_t& out);

struct VarBind {
  std::string oid;  // content octets of the OBJECT IDENTIFIER
  std::uint8_t value_tag = kBerNull;
  std::string value;  // content octets of the value
  bool raw = false;   // `value` is the whole encoded value element, written as it is
};

struct SnmpMessage {
  std::int64_t version = 0;
  std::string community;
  std::uint8_t pdu_type = 0;
  std::string request_id;  // content octets, echoed unchanged
  std::int64_t error_status = 0;
  std::int64_t error_index = 0;
  std::vector<VarBind> bindings;
};

inline constexpr std::size_t kMaxBindings = 32;

// Parses a whole message; on failure `why` says what was wrong.
bool ParseSnmpMessage(std::string_view datagram, SnmpMessage& out, std::string& why);

// Writing.
std::string EncodeTlv(std::uint8_t tag, std::string_view content);
std::string EncodeIntegerContent(std::int64_t value);
// Dotted text (a leading dot allowed) to content octets; empty when the text is not an OID.
std::string EncodeOid(std::string_view dotted);
// Content octets back to dotted text with a leading dot ("?" for a bad encoding).
std::string OidText(std::string_view content);
std::string EncodeSnmpMessage(const SnmpMessage& message);

}  // namespace tavi::sim
