// Addresses of either family in their text forms, the same on every system.
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "os/socket.h"

namespace tavi {
namespace {

constexpr std::size_t kGroups = 8;
// The longest text of an IPv6 address: "ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255".
constexpr std::size_t kMaxIpv6Text = 45;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One group: one to four hexadecimal digits.
bool ReadGroup(std::string_view text, std::uint16_t& group) {
  if (text.empty() || text.size() > 4) return false;
  unsigned value = 0;
  for (char c : text) {
    const int digit = HexValue(c);
    if (digit < 0) return false;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  group = static_cast<std::uint16_t>(value);
  return true;
}

// The IPv4 tail of an IPv6 address: exactly four decimal parts of 0..255, no leading zeros.
bool ReadDottedQuad(std::string_view text, std::array<std::uint8_t, 4>& out) {
  std::size_t part = 0;
  while (part < out.size()) {
    const std::size_t dot = text.find('.');
    const std::string_view digits = text.substr(0, dot);
    if (digits.empty() || digits.size() > 3 || (digits.size() > 1 && digits.front() == '0')) {
      return false;
    }
    unsigned value = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 255) return false;
    out[part++] = static_cast<std::uint8_t>(value);
    if (dot == std::string_view::npos) return part == out.size();
    text.remove_prefix(dot + 1);
  }
  return false;  // a fifth part
}

}  // namespace

NetAddress::NetAddress(Ipv4 address) {
  std::memcpy(octets.data(), &address.network_order, 4);
}

Ipv4 NetAddress::ipv4() const {
  Ipv4 address;
  if (!is_ipv6()) std::memcpy(&address.network_order, octets.data(), 4);
  return address;
}

bool ParseIpv6Address(std::string_view text, NetAddress& out) {
  if (!text.empty() && text.front() == '[') {
    if (text.size() < 2 || text.back() != ']') return false;
    text = text.substr(1, text.size() - 2);
  }
  if (text.size() < 2 || text.size() > kMaxIpv6Text) return false;
  std::array<std::uint16_t, kGroups> groups{};
  std::size_t count = 0;
  int gap = -1;  // where "::" stands, in groups
  std::size_t at = 0;
  if (text.substr(0, 2) == "::") {
    gap = 0;
    at = 2;
  } else if (text.front() == ':') {
    return false;
  }
  while (at < text.size()) {
    const std::size_t end = text.find(':', at);
    const std::string_view part = text.substr(at, end == std::string_view::npos ? end : end - at);
    if (part.find('.') != std::string_view::npos) {
      // A dotted IPv4 address ends the text and fills the last two groups.
      std::array<std::uint8_t, 4> quad{};
      if (end != std::string_view::npos || count + 2 > kGroups || !ReadDottedQuad(part, quad)) {
        return false;
      }
      groups[count++] = static_cast<std::uint16_t>(quad[0] << 8 | quad[1]);
      groups[count++] = static_cast<std::uint16_t>(quad[2] << 8 | quad[3]);
      break;
    }
    if (count == kGroups || !ReadGroup(part, groups[count])) return false;
    ++count;
    if (end == std::string_view::npos) break;
    at = end + 1;
    if (at == text.size()) return false;  // one colon at the end
    if (text[at] == ':') {
      if (gap >= 0) return false;  // "::" only once
      gap = static_cast<int>(count);
      ++at;
    }
  }
  if (gap < 0 ? count != kGroups : count >= kGroups) return false;
  std::array<std::uint16_t, kGroups> full{};
  const std::size_t head = gap < 0 ? count : static_cast<std::size_t>(gap);
  for (std::size_t i = 0; i < head; ++i) full[i] = groups[i];
  for (std::size_t i = head; i < count; ++i) full[kGroups - (count - i)] = groups[i];
  out.family = NetAddress::Family::kIpv6;
  for (std::size_t i = 0; i < kGroups; ++i) {
    out.octets[2 * i] = static_cast<std::uint8_t>(full[i] >> 8);
    out.octets[2 * i + 1] = static_cast<std::uint8_t>(full[i] & 0xFF);
  }
  return true;
}

bool ParseNumericAddress(std::string_view text, NetAddress& out) {
  Ipv4 address;
  if (ParseDottedAddress(text, address)) {
    out = NetAddress(address);
    return true;
  }
  return ParseIpv6Address(text, out);
}

std::string FormatAddress(const NetAddress& address) {
  if (!address.is_ipv6()) return FormatIpv4(address.ipv4());
  const auto& o = address.octets;
  std::array<unsigned, kGroups> groups{};
  for (std::size_t i = 0; i < kGroups; ++i)
    groups[i] = static_cast<unsigned>(o[2 * i] << 8 | o[2 * i + 1]);
  // An IPv4-mapped address keeps its IPv4 part dotted.
  if (groups[0] == 0 && groups[1] == 0 && groups[2] == 0 && groups[3] == 0 && groups[4] == 0 &&
      groups[5] == 0xFFFF) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "::ffff:%u.%u.%u.%u", o[12], o[13], o[14], o[15]);
    return text.data();
  }
  // The longest run of two or more zero groups (the first of equal runs) becomes "::".
  std::size_t best = kGroups;
  std::size_t best_length = 1;
  for (std::size_t i = 0; i < kGroups;) {
    std::size_t length = 0;
    while (i + length < kGroups && groups[i + length] == 0) ++length;
    if (length > best_length) {
      best = i;
      best_length = length;
    }
    i += length > 0 ? length : 1;
  }
  std::string text;
  for (std::size_t i = 0; i < kGroups;) {
    if (i == best) {
      text += "::";
      i += best_length;
      continue;
    }
    if (!text.empty() && text.back() != ':') text += ':';
    std::array<char, 8> group{};
    std::snprintf(group.data(), group.size(), "%x", groups[i]);
    text += group.data();
    ++i;
  }
  return text;
}

std::string BracketedAddress(const NetAddress& address) {
  return address.is_ipv6() ? "[" + FormatAddress(address) + "]" : FormatAddress(address);
}

}  // namespace tavi
