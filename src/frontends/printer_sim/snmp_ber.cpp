#include "frontends/printer_sim/snmp_ber.h"

#include <charconv>

namespace tavi::sim {

bool ReadTlv(std::string_view data, std::size_t& pos, BerTlv& out) {
  if (pos >= data.size() || data.size() - pos < 2) return false;
  out.tag = static_cast<std::uint8_t>(data[pos]);
  std::size_t at = pos + 1;
  const auto first = static_cast<std::uint8_t>(data[at++]);
  std::size_t length = first;
  if (first & 0x80) {
    const std::size_t octets = first & 0x7f;
    if (octets == 0 || octets > 4 || data.size() - at < octets) return false;  // no indefinite form
    length = 0;
    for (std::size_t i = 0; i < octets; ++i)
      length = (length << 8) | static_cast<std::uint8_t>(data[at++]);
  }
  if (data.size() - at < length) return false;
  out.content = data.substr(at, length);
  pos = at + length;
  return true;
}

bool DecodeInteger(std::string_view content, std::int64_t& out) {
  if (content.empty() || content.size() > 8) return false;
  std::uint64_t value = (static_cast<std::uint8_t>(content[0]) & 0x80) ? ~std::uint64_t{0} : 0;
  for (char c : content) value = (value << 8) | static_cast<std::uint8_t>(c);
  out = static_cast<std::int64_t>(value);
  return true;
}

namespace {

bool Expect(std::string_view data, std::size_t& pos, std::uint8_t tag, BerTlv& out,
            std::string& why, const char* what) {
  if (!ReadTlv(data, pos, out)) {
    why = std::string(what) + ": element does not fit";
    return false;
  }
  if (out.tag != tag) {
    why = std::string(what) + ": unexpected tag";
    return false;
  }
  return true;
}

bool ExpectInteger(std::string_view data, std::size_t& pos, std::int64_t& value, std::string& why,
                   const char* what) {
  BerTlv t;
  if (!Expect(data, pos, kBerInteger, t, why, what)) return false;
  if (!DecodeInteger(t.content, value)) {
    why = std::string(what) + ": bad integer";
    return false;
  }
  return true;
}

}  // namespace

bool ParseSnmpMessage(std::string_view datagram, SnmpMessage& out, std::string& why) {
  std::size_t pos = 0;
  BerTlv message;
  if (!Expect(datagram, pos, kBerSequence, message, why, "message")) return false;
  const std::string_view body = message.content;
  std::size_t at = 0;
  if (!ExpectInteger(body, at, out.version, why, "version")) return false;
  BerTlv t;
  if (!Expect(body, at, kBerOctetString, t, why, "community")) return false;
  out.community.assign(t.content);
  BerTlv pdu;
  if (!ReadTlv(body, at, pdu)) {
    why = "pdu: element does not fit";
    return false;
  }
  out.pdu_type = pdu.tag;
  std::size_t p = 0;
  if (!Expect(pdu.content, p, kBerInteger, t, why, "request-id")) return false;
  if (t.content.empty() || t.content.size() > 8) {
    why = "request-id: bad integer";
    return false;
  }
  out.request_id.assign(t.content);
  if (!ExpectInteger(pdu.content, p, out.error_status, why, "error-status")) return false;
  if (!ExpectInteger(pdu.content, p, out.error_index, why, "error-index")) return false;
  BerTlv list;
  if (!Expect(pdu.content, p, kBerSequence, list, why, "variable-bindings")) return false;
  std::size_t b = 0;
  out.bindings.clear();
  while (b < list.content.size()) {
    if (out.bindings.size() == kMaxBindings) {
      why = "too many bindings";
      return false;
    }
    BerTlv binding;
    if (!Expect(list.content, b, kBerSequence, binding, why, "binding")) return false;
    std::size_t v = 0;
    BerTlv name;
    BerTlv value;
    if (!Expect(binding.content, v, kBerOid, name, why, "binding name")) return false;
    if (!ReadTlv(binding.content, v, value)) {
      why = "binding value: element does not fit";
      return false;
    }
    out.bindings.push_back({std::string(name.content), value.tag, std::string(value.content)});
  }
  return true;
}

std::string EncodeTlv(std::uint8_t tag, std::string_view content) {
  std::string out(1, static_cast<char>(tag));
  const std::size_t n = content.size();
  if (n < 0x80) {
    out.push_back(static_cast<char>(n));
  } else {
    std::string octets;
    for (std::size_t v = n; v > 0; v >>= 8)
      octets.insert(octets.begin(), static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>(0x80 | octets.size()));
    out += octets;
  }
  out += content;
  return out;
}

std::string EncodeIntegerContent(std::int64_t value) {
  std::string out;
  for (int i = 7; i >= 0; --i)
    out.push_back(static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xff));
  // Drop leading octets that only repeat the sign.
  while (out.size() > 1) {
    const auto a = static_cast<std::uint8_t>(out[0]);
    const auto b = static_cast<std::uint8_t>(out[1]);
    if ((a == 0x00 && !(b & 0x80)) || (a == 0xff && (b & 0x80))) {
      out.erase(out.begin());
    } else {
      break;
    }
  }
  return out;
}

std::string EncodeOid(std::string_view dotted) {
  if (dotted.starts_with('.')) dotted.remove_prefix(1);
  std::vector<std::uint32_t> arcs;
  while (!dotted.empty()) {
    const std::size_t dot = dotted.find('.');
    const std::string_view part = dotted.substr(0, dot);
    std::uint32_t arc = 0;
    const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), arc);
    if (part.empty() || ec != std::errc() || end != part.data() + part.size()) return {};
    arcs.push_back(arc);
    if (dot == std::string_view::npos) break;
    dotted.remove_prefix(dot + 1);
    if (dotted.empty()) return {};
  }
  if (arcs.size() < 2 || arcs[0] > 2 || (arcs[0] < 2 && arcs[1] >= 40)) return {};
  std::string out;
  arcs[1] += arcs[0] * 40;
  for (std::size_t i = 1; i < arcs.size(); ++i) {
    std::string group;
    std::uint32_t v = arcs[i];
    group.push_back(static_cast<char>(v & 0x7f));
    for (v >>= 7; v > 0; v >>= 7) group.insert(group.begin(), static_cast<char>(0x80 | (v & 0x7f)));
    out += group;
  }
  return out;
}

std::string OidText(std::string_view content) {
  std::string out;
  std::uint64_t v = 0;
  bool first = true;
  for (std::size_t i = 0; i < content.size(); ++i) {
    v = (v << 7) | (static_cast<std::uint8_t>(content[i]) & 0x7f);
    if (v > 0xffffffffu) return "?";
    if (static_cast<std::uint8_t>(content[i]) & 0x80) continue;
    if (first) {
      const std::uint64_t a = v < 80 ? v / 40 : 2;
      out += "." + std::to_string(a) + "." + std::to_string(v - a * 40);
      first = false;
    } else {
      out += "." + std::to_string(v);
    }
    v = 0;
  }
  return v != 0 || out.empty() ? "?" : out;
}

std::string EncodeSnmpMessage(const SnmpMessage& m) {
  std::string list;
  for (const auto& b : m.bindings) {
    list += EncodeTlv(kBerSequence, EncodeTlv(kBerOid, b.oid) +
                                        (b.raw ? b.value : EncodeTlv(b.value_tag, b.value)));
  }
  const std::string pdu = EncodeTlv(kBerInteger, m.request_id) +
                          EncodeTlv(kBerInteger, EncodeIntegerContent(m.error_status)) +
                          EncodeTlv(kBerInteger, EncodeIntegerContent(m.error_index)) +
                          EncodeTlv(kBerSequence, list);
  return EncodeTlv(kBerSequence, EncodeTlv(kBerInteger, EncodeIntegerContent(m.version)) +
                                     EncodeTlv(kBerOctetString, m.community) +
                                     EncodeTlv(m.pdu_type, pdu));
}

}  // namespace tavi::sim
