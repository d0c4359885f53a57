#include "core/net/ber.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "core/resources/constants.h"

namespace tavi::ber {
namespace {

using Bytes = std::vector<std::byte>;

Bytes Hex(const std::string& text) {
  Bytes out;
  std::istringstream in(text);
  unsigned v = 0;
  while (in >> std::hex >> v) out.push_back(std::byte(v));
  return out;
}

std::string Hex(std::span<const std::byte> bytes) {
  std::string out;
  char piece[4];
  for (std::byte b : bytes) {
    std::snprintf(piece, sizeof piece, out.empty() ? "%02X" : " %02X", unsigned(b));
    out += piece;
  }
  return out;
}

std::string IdHex(std::uint32_t id) {
  char s[16];
  std::snprintf(s, sizeof s, "%02X %02X %02X %02X", id >> 24, (id >> 16) & 0xFF, (id >> 8) & 0xFF,
                id & 0xFF);
  return s;
}

const std::string kReplyOidHex = "2B 06 01 04 01 B9 6D 02 02 02 01 18 01";

// A GetResponse of the reply object; `id`, `value` are hex (value: tag, length, content).
Bytes Response(const std::string& id, const std::string& value, int status = 0) {
  Bytes tail = Hex("02 01 " + std::to_string(status) + " 02 01 00");
  Bytes id_field = Hex("02 00 " + id);
  id_field[1] = std::byte(id_field.size() - 2);
  Bytes bind = Hex("06 0D " + kReplyOidHex + " " + value);
  Bytes pdu = id_field;
  pdu.insert(pdu.end(), tail.begin(), tail.end());
  for (Bytes* part : {&bind, &bind}) {  // binding, then the binding list around it
    Bytes seq = Hex("30");
    seq.push_back(std::byte(part->size()));
    seq.insert(seq.end(), part->begin(), part->end());
    *part = seq;
  }
  pdu.insert(pdu.end(), bind.begin(), bind.end());
  Bytes msg = Hex("02 01 00 04 06 70 75 62 6C 69 63 A2");
  msg.push_back(std::byte(pdu.size()));
  msg.insert(msg.end(), pdu.begin(), pdu.end());
  Bytes out = Hex("30");
  out.push_back(std::byte(msg.size()));
  out.insert(out.end(), msg.begin(), msg.end());
  return out;
}

TEST(BerBuild, GetAndSetRequestsAreOctetExactForAnyRequestId) {
  for (std::uint32_t id : {0x00000001u, 0x12345678u, 0xFFFFFFFFu, 0x00800000u}) {
    std::array<std::byte, 1500> out{};
    ASSERT_EQ(BuildRequest(kReplyOid, kPduGetRequest, {}, id, out), 48);
    EXPECT_EQ(Hex(std::span(out).first(48)),
              "30 2E 02 01 00 04 06 70 75 62 6C 69 63 A0 21 02 04 " + IdHex(id) +
                  " 02 01 00 02 01 00 30 13 30 11 06 0D " + kReplyOidHex + " 05 00");
    ASSERT_EQ(BuildRequest(kRestartOid, kPduSetRequest, {kTagInteger, kRestartValue, {}}, id, out),
              47);
    EXPECT_EQ(Hex(std::span(out).first(47)),
              "30 2D 02 01 00 04 06 70 75 62 6C 69 63 A3 20 02 04 " + IdHex(id) +
                  " 02 01 00 02 01 00 30 12 30 10 06 0B 2B 06 01 04 01 B9 6D 02 08 01 00 02 01 0A");
  }
}

TEST(BerBuild, ValueKindsEncodeTheirContent) {
  const std::byte text[] = {std::byte('h'), std::byte('i'), std::byte('!')};
  struct Case {
    ValueDescriptor value;
    std::string expected;
  } cases[] = {{{kTagInteger, 0, {}}, "02 01 00"},
               {{kTagInteger, 127, {}}, "02 01 7F"},
               {{kTagInteger, 128, {}}, "02 02 00 80"},
               {{kTagInteger, -1, {}}, "02 01 FF"},
               {{kTagInteger, -129, {}}, "02 02 FF 7F"},
               {{kTagInteger, INT32_MIN, {}}, "02 04 80 00 00 00"},
               {{kTagOctetString, 2, text}, "04 02 68 69"},
               {{0x40, 7, text}, "40 00"}};
  for (const Case& c : cases) {
    std::array<std::byte, 200> out{};
    const std::int32_t n = BuildRequest(".1.3", kPduSetRequest, c.value, 7, out);
    ASSERT_GT(n, 0);
    const std::size_t value_at = 34;  // fixed layout up to the value with the OID 2B
    EXPECT_EQ(Hex(std::span(out).subspan(value_at, n - value_at)), c.expected);
    EXPECT_EQ(out[1], std::byte(n - 2));
  }
}

TEST(BerBuild, RefusesLongContentAndSmallBuffersWithoutWritingPast) {
  std::vector<std::byte> big(128, std::byte('x'));
  std::array<std::byte, 1500> out{};
  EXPECT_EQ(BuildRequest(".1.3", kPduSetRequest, {kTagOctetString, 128, big}, 1, out), -1);
  // With ".1.3" the message holds 34 + n content octets: 93 is the longest string that fits.
  EXPECT_EQ(BuildRequest(".1.3", kPduSetRequest, {kTagOctetString, 93, big}, 1, out), 129);
  EXPECT_EQ(out[1], std::byte(127));
  EXPECT_EQ(BuildRequest(".1.3", kPduSetRequest, {kTagOctetString, 94, big}, 1, out), -1);
  EXPECT_EQ(
      BuildRequest(".1.3", kPduSetRequest, {kTagOctetString, 4, std::span(big).first(3)}, 1, out),
      -1);
  EXPECT_EQ(BuildRequest(".1.3", kPduSetRequest, {kTagOctetString, -1, big}, 1, out), -1);
  std::string long_oid = "1.3";
  for (int i = 0; i < 127; ++i) long_oid += ".1";
  EXPECT_EQ(BuildRequest(long_oid, kPduGetRequest, {}, 1, out), -1);

  // A buffer one octet short is refused; the octets after it stay untouched.
  std::array<std::byte, 64> guarded;
  guarded.fill(std::byte(0xEE));
  EXPECT_EQ(BuildRequest(kReplyOid, kPduGetRequest, {}, 1, std::span(guarded).first(47)), -1);
  EXPECT_EQ(guarded[47], std::byte(0xEE));
  EXPECT_EQ(BuildRequest(kReplyOid, kPduGetRequest, {}, 1, std::span(guarded).first(48)), 48);
  EXPECT_EQ(guarded[48], std::byte(0xEE));
}

TEST(BerOid, SubidentifiersUseTheFewestBase128Groups) {
  const std::pair<std::uint32_t, const char*> cases[] = {{0, "00"},
                                                         {127, "7F"},
                                                         {128, "81 00"},
                                                         {16383, "FF 7F"},
                                                         {16384, "81 80 00"},
                                                         {(1u << 21) - 1, "FF FF 7F"},
                                                         {1u << 21, "81 80 80 00"},
                                                         {1u << 28, "81 80 80 80 00"},
                                                         {4294967295u, "8F FF FF FF 7F"}};
  for (const auto& [value, expected] : cases) {
    std::array<std::byte, 8> out{};
    const std::size_t n = EncodeSubidentifier(value, out);
    EXPECT_EQ(Hex(std::span(out).first(n)), expected) << value;
  }
  std::array<std::byte, 2> small{std::byte(0xEE), std::byte(0xEE)};
  EXPECT_EQ(EncodeSubidentifier(16384, small), 0u);
  EXPECT_EQ(small[0], std::byte(0xEE));
}

TEST(BerOid, TextForms) {
  auto encode = [](std::string_view text) {
    std::array<std::byte, 128> out{};
    const std::int32_t n = EncodeOid(text, out);
    return n < 0 ? std::string("refused") : Hex(std::span(out).first(n));
  };
  EXPECT_EQ(encode(kReplyOid), kReplyOidHex);
  EXPECT_EQ(encode(kRestartOid), "2B 06 01 04 01 B9 6D 02 08 01 00");
  EXPECT_EQ(encode(".1.3"), "2B");
  EXPECT_EQ(encode("1.3.6"), encode(".1.3.6"));
  EXPECT_EQ(encode("1.3.6 .7.8"), "2B 06");
  EXPECT_EQ(encode(""), "");
  EXPECT_EQ(encode("..x"), "");
  EXPECT_EQ(encode("1.3.99999999999"), "2B 8F FF FF FF 7F");
  // The text ends where the view ends, even when digits follow in memory.
  const std::string memory = "1.3.6.99 5";
  EXPECT_EQ(encode(std::string_view(memory).substr(0, 6)), "2B 06");
  EXPECT_EQ(encode(std::string_view(memory).substr(0, 7)), "2B 06 09");
  EXPECT_EQ(encode(std::string_view(memory).substr(9, 0)), "");
  std::array<std::byte, 2> small{};
  EXPECT_EQ(EncodeOid("1.3.6.300", small), -1);
}

TEST(BerDecode, PicksTheFieldsByPosition) {
  const Bytes msg = Response("12 34 56 78", "04 02 4F 4B", 2);
  DecodedMessage d;
  ASSERT_TRUE(DecodeResponse(msg, d));
  EXPECT_EQ(d.request_id, 0x12345678);
  EXPECT_EQ(d.error_status, 2);
  EXPECT_EQ(d.error_index, 0);
  EXPECT_EQ(d.name_type, 0x06);
  EXPECT_EQ(d.name_length, 13);
  EXPECT_EQ(d.name.data(), msg.data() + 33);
  EXPECT_EQ(Hex(d.name), kReplyOidHex);
  EXPECT_EQ(d.value_type, 0x04);
  EXPECT_EQ(d.value_length, 2);
  EXPECT_EQ(d.value.data(), msg.data() + 48);
  EXPECT_EQ(d.value.size(), 2u);

  // A built request has the same layout.
  std::array<std::byte, 100> req{};
  const std::int32_t n = BuildRequest(kRestartOid, kPduSetRequest, {2, 10, {}}, 0xFFFFFFF0, req);
  ASSERT_TRUE(DecodeResponse(std::span(req).first(n), d));
  EXPECT_EQ(d.request_id, -16);
  EXPECT_EQ(Hex(d.value), "0A");
}

TEST(BerDecode, RequestIdSignExtendsFromItsFirstOctet) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"FF FE", -2},       {"00 80 00", 32768},           {"80", -128}, {"7F", 127}, {"", 0},
      {"FF FF FF FF", -1}, {"01 02 03 04 05", 0x02030405}};
  for (const auto& [id, expected] : cases) {
    DecodedMessage d;
    ASSERT_TRUE(DecodeResponse(Response(id, "05 00"), d)) << id;
    EXPECT_EQ(d.request_id, expected) << id;
  }
}

TEST(BerDecode, LongFormLengths) {
  Bytes value_octets(200, std::byte('A'));
  Bytes full = Response("01", "04 81 C8");
  full.insert(full.end(), value_octets.begin(), value_octets.end());
  // Outer lengths in long form too: message 30 82 01 0B, the rest unchanged.
  Bytes wide = Hex("30 82 01 0B");
  wide.insert(wide.end(), full.begin() + 2, full.end());
  for (const Bytes* m : {&full, &wide}) {
    DecodedMessage d;
    ASSERT_TRUE(DecodeResponse(*m, d));
    EXPECT_EQ(d.value_length, 200);
    EXPECT_EQ(d.value.data(), m->data() + m->size() - 200);
    EXPECT_EQ(d.value.size(), 200u);
  }
}

TEST(BerDecode, TruncatedOrOverlongDatagramsFailWithoutReadingPast) {
  const Bytes valid = Response("12 34", "04 05 68 65 6C 6C 6F");
  for (std::size_t n = 0; n < valid.size(); ++n) {
    // An exact-size heap copy, so a read past the end is caught by the address sanitizer.
    const Bytes prefix(valid.begin(), valid.begin() + n);
    DecodedMessage d;
    d.value_type = 99;
    EXPECT_FALSE(DecodeResponse(prefix, d)) << n;
    EXPECT_EQ(d.value_type, 0) << n;
    EXPECT_TRUE(d.value.empty());
  }
  for (const char* value : {"04 06 41", "04 84 FF FF FF FF 41", "04 FF 01", "04 81"}) {
    DecodedMessage d;
    EXPECT_FALSE(DecodeResponse(Response("01", value), d)) << value;
  }
}

std::string ValueText(const std::string& value, std::size_t capacity = 514) {
  const Bytes msg = Response("01", value);
  DecodedMessage d;
  EXPECT_TRUE(DecodeResponse(msg, d));
  BoundedText sink(capacity);
  AppendValueText(d, sink);
  return sink.str();
}

TEST(BerText, ValueTexts) {
  EXPECT_EQ(ValueText("04 02 4F 4B"), "\"OK\"");
  EXPECT_EQ(ValueText("04 04 00 41 00 42"), "\"AB\"");
  EXPECT_EQ(ValueText("02 02 01 00"), "0x100(256)");
  EXPECT_EQ(ValueText("02 04 FF FF FF FE"), "0xfffffffe(-2)");
  EXPECT_EQ(ValueText("02 05 01 02 03 04 05"), "0x2030405(33752069)");
  EXPECT_EQ(ValueText("05 00"), "");
  EXPECT_EQ(ValueText("40 00"), "Unknown ASN.1 object type");

  Bytes msg = Response("01", "04 82 02 58");
  msg.resize(msg.size() + 600, std::byte('z'));
  DecodedMessage d;
  ASSERT_TRUE(DecodeResponse(msg, d));
  BoundedText sink(514);
  AppendValueText(d, sink);
  EXPECT_EQ(sink.str(), "\"" + std::string(512, 'z'));
}

TEST(BerText, TraceDumpSixteenToALine) {
  Bytes octets;
  for (int i = 0; i < 17; ++i) octets.push_back(std::byte(i == 16 ? 0xAB : i));
  BoundedText sink(4096);
  AppendTraceDump(octets, sink);
  EXPECT_EQ(sink.str(), " 0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f\r\nab\r\n");
  sink.Clear();
  AppendTraceDump(std::span(octets).first(16), sink);
  EXPECT_EQ(sink.str(), " 0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f\r\n");
  sink.Clear();
  AppendTraceDump({}, sink);
  EXPECT_EQ(sink.str(), "");
}

TEST(BerText, TraceDecodedListsEveryField) {
  const Bytes msg = Response("FF FE", "04 03 61 00 62", 1);
  DecodedMessage d;
  ASSERT_TRUE(DecodeResponse(msg, d));
  BoundedText sink(4096);
  AppendTraceDecoded(d, sink);
  EXPECT_EQ(sink.str(),
            "request_id 0xfffffffe(-2)\r\nerror_status 1\r\nerror_index 0\r\n"
            "oidname_type 6\r\noidname_length 13\r\n"
            "oidname_data 2b 06 01 04 01 b9 6d 02 02 02 01 18 01\r\n"
            "oidvalue_type 4\r\noidvalue_length 3\r\noidvalue_data \"ab\"\r\n");
  const std::pair<const char*, const char*> tails[] = {
      {"02 02 01 00", "oidvalue_length 2\r\noidvalue_data 01 00\r\n"},
      {"05 00", "oidvalue_length 0\r\n"},
      {"43 01 07", "oidvalue_length 1\r\nUnknown ASN.1 object type\r\n"}};
  for (const auto& [value, tail] : tails) {
    const Bytes m = Response("01", value);
    ASSERT_TRUE(DecodeResponse(m, d));
    sink.Clear();
    AppendTraceDecoded(d, sink);
    EXPECT_TRUE(sink.str().ends_with(tail)) << sink.str();
  }
}

}  // namespace
}  // namespace tavi::ber
