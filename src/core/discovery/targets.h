// What a sweep is asked to reach: single addresses, ranges of the last octet and small CIDR
// blocks, in dotted IPv4 only (no name look-ups). Addresses are in host byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavi::discovery {

// The largest block (a /22) one CIDR target may name.
inline constexpr std::size_t kMaxBlockAddresses = 1024;
// The most addresses all targets of one sweep may name together.
inline constexpr std::size_t kMaxTargets = 16 * kMaxBlockAddresses;

// Exactly four decimal octets "a.b.c.d", each 0..255.
[[nodiscard]] bool ParseDottedQuad(std::string_view text, std::uint32_t& out);
std::string AddressText(std::uint32_t address);

// Appends the addresses of one target: "a.b.c.d", "a.b.c.d-e" (last octet d to e) or
// "a.b.c.d/n" with n from 22 to 32 (host bits of the address are ignored; for n up to 30 the
// block's network and broadcast addresses are left out). 0.0.0.0, 255.255.255.255 and multicast
// addresses are refused. False with `error` set when the text is none of these.
[[nodiscard]] bool ParseTarget(std::string_view text, std::vector<std::uint32_t>& out,
                               std::string& error);

// Every target's addresses, sorted, each once. False (and `error`) at the first bad target or
// when together they name more than kMaxTargets addresses.
[[nodiscard]] bool ParseTargets(std::span<const std::string> texts, std::vector<std::uint32_t>& out,
                                std::string& error);

}  // namespace tavi::discovery
