#include "core/discovery/targets.h"

#include <algorithm>
#include <charconv>

namespace tavi::discovery {
namespace {

bool ParseNumber(std::string_view text, std::uint32_t max, std::uint32_t& out) {
  if (text.empty() || text.size() > 3) return false;
  const auto* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc{} && ptr == end && out <= max;
}

bool Usable(std::uint32_t address) {
  const bool multicast = (address >> 28) == 0xE;
  return address != 0 && address != 0xFFFFFFFFu && !multicast;
}

std::string Refusal(std::string_view text) {
  return "Not a target: \"" + std::string(text) +
         "\" (give an address a.b.c.d, a range a.b.c.d-e or a block a.b.c.d/n of at most 1,024 "
         "addresses)";
}

}  // namespace

bool ParseDottedQuad(std::string_view text, std::uint32_t& out) {
  std::uint32_t address = 0;
  for (int i = 0; i < 4; ++i) {
    const std::size_t dot = i < 3 ? text.find('.') : text.size();
    if (dot == std::string_view::npos) return false;
    std::uint32_t octet = 0;
    if (!ParseNumber(text.substr(0, dot), 255, octet)) return false;
    address = (address << 8) | octet;
    text.remove_prefix(i < 3 ? dot + 1 : dot);
  }
  out = address;
  return true;
}

std::string AddressText(std::uint32_t a) {
  return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
         std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

bool ParseTarget(std::string_view text, std::vector<std::uint32_t>& out, std::string& error) {
  std::uint32_t first = 0;
  std::uint32_t last = 0;
  const std::size_t dash = text.find('-');
  const std::size_t slash = text.find('/');
  if (dash != std::string_view::npos && slash == std::string_view::npos) {
    std::uint32_t end_octet = 0;
    if (!ParseDottedQuad(text.substr(0, dash), first) ||
        !ParseNumber(text.substr(dash + 1), 255, end_octet) || end_octet < (first & 0xFF)) {
      error = Refusal(text);
      return false;
    }
    last = (first & 0xFFFFFF00u) | end_octet;
  } else if (slash != std::string_view::npos && dash == std::string_view::npos) {
    std::uint32_t bits = 0;
    if (!ParseDottedQuad(text.substr(0, slash), first) ||
        !ParseNumber(text.substr(slash + 1), 32, bits) || bits < 22) {
      error = Refusal(text);
      return false;
    }
    const std::uint32_t host_mask = bits == 32 ? 0 : (0xFFFFFFFFu >> bits);
    first &= ~host_mask;
    last = first | host_mask;
    if (bits <= 30) {  // leave out the network and broadcast addresses
      ++first;
      --last;
    }
  } else if (dash == std::string_view::npos && slash == std::string_view::npos) {
    if (!ParseDottedQuad(text, first)) {
      error = Refusal(text);
      return false;
    }
    last = first;
  } else {
    error = Refusal(text);
    return false;
  }
  std::size_t added = 0;
  for (std::uint64_t a = first; a <= last; ++a) {
    if (!Usable(static_cast<std::uint32_t>(a))) continue;
    out.push_back(static_cast<std::uint32_t>(a));
    ++added;
  }
  if (added == 0) {
    error = "Not a target: \"" + std::string(text) + "\" names no unicast address";
    return false;
  }
  return true;
}

bool ParseTargets(std::span<const std::string> texts, std::vector<std::uint32_t>& out,
                  std::string& error) {
  out.clear();
  for (const std::string& text : texts) {
    if (!ParseTarget(text, out, error)) return false;
    if (out.size() > kMaxTargets) {
      std::sort(out.begin(), out.end());
      out.erase(std::unique(out.begin(), out.end()), out.end());
    }
    if (out.size() > kMaxTargets) {
      error = "Too many targets: at most " + std::to_string(kMaxTargets) + " addresses at once";
      return false;
    }
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return true;
}

}  // namespace tavi::discovery
