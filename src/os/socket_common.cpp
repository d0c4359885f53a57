// The parts of the socket layer that are the same on every system.
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "os/socket.h"

#include <chrono>

namespace tavi {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// White space as the C locale's isspace sees it.
bool IsSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

int DigitValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// One part of a dotted address as C reads an unsigned number: "0x" hexadecimal, a leading 0
// octal, else decimal. `at` starts on a digit and ends after the number. False when the value
// does not fit 32 bits.
bool ReadPart(std::string_view text, std::size_t& at, std::uint64_t& value) {
  int base = 10;
  if (text[at] == '0') {
    base = 8;
    const bool hex_prefix = at + 1 < text.size() && (text[at + 1] == 'x' || text[at + 1] == 'X');
    if (hex_prefix && at + 2 < text.size() && DigitValue(text[at + 2]) < 16) {
      base = 16;
      at += 2;
    }
  }
  value = 0;
  bool fits = true;
  for (; at < text.size() && DigitValue(text[at]) < base; ++at) {
    value =
        value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(DigitValue(text[at]));
    if (value > 0xFFFFFFFFu) {
      fits = false;
      value = 0xFFFFFFFFu + std::uint64_t{1};  // stays too large without wrapping
    }
  }
  return fits;
}

}  // namespace

bool ParseDottedAddress(std::string_view text, Ipv4& out) {
  // The text ends at its first NUL, as a C string would.
  text = text.substr(0, text.find('\0'));
  constexpr std::array<std::uint64_t, 4> kLastPartMax{0xFFFFFFFFu, 0xFFFFFFu, 0xFFFFu, 0xFFu};
  std::array<std::uint32_t, 3> parts{};
  std::size_t count = 0;  // parts before the last one
  std::size_t at = 0;
  std::uint64_t value = 0;
  for (;;) {
    if (at >= text.size() || !IsDigit(text[at])) return false;
    if (!ReadPart(text, at, value)) return false;
    if (at < text.size() && text[at] == '.') {
      if (count > 2 || value > 0xFF) return false;
      parts[count++] = static_cast<std::uint32_t>(value);
      ++at;
      continue;
    }
    break;
  }
  // White space ends the address; anything else after it is not an address.
  if (at < text.size() && !IsSpace(text[at])) return false;
  if (value > kLastPartMax[count]) return false;
  std::uint32_t host_order = static_cast<std::uint32_t>(value);
  for (std::size_t i = 0; i < count; ++i) host_order |= parts[i] << (24 - 8 * i);
  if (host_order == 0xFFFFFFFFu) return false;  // the no-address value
  const std::array<unsigned char, 4> octets{
      static_cast<unsigned char>(host_order >> 24), static_cast<unsigned char>(host_order >> 16),
      static_cast<unsigned char>(host_order >> 8), static_cast<unsigned char>(host_order)};
  std::memcpy(&out.network_order, octets.data(), octets.size());
  return true;
}

std::string FormatIpv4(Ipv4 address) {
  std::array<unsigned char, 4> octets{};
  std::memcpy(octets.data(), &address.network_order, octets.size());
  std::array<char, 16> text{};
  std::snprintf(text.data(), text.size(), "%u.%u.%u.%u", octets[0], octets[1], octets[2],
                octets[3]);
  return text.data();
}

Failure ResolveFailure(std::string_view host, int wsa_code) {
  std::string text = "name '" + std::string(host) + "'";
  switch (wsa_code) {
    case wsa::kHostNotFound:
    case wsa::kNoData:
      text += " not found";
      break;
    case wsa::kTryAgain:
      text += " could not be looked up: the name server did not answer (try again later)";
      break;
    case wsa::kNoRecovery:
      text += " could not be looked up: the name server failed";
      break;
    default:
      text += " could not be looked up (error " + std::to_string(wsa_code) + ")";
      break;
  }
  return {0, std::move(text), SystemCode::Winsock(wsa_code)};
}

std::int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

Socket::Socket(Kind kind) : kind_(kind) {}

Socket::~Socket() {
  Close();
}

bool Socket::Fail(int wsa_code, std::string reason) {
  last_failure_ = {0, std::move(reason), SystemCode::Winsock(wsa_code)};
  return false;
}

}  // namespace tavi
