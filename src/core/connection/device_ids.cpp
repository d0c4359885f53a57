#include "core/connection/device_ids.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/resources/constants.h"

namespace tavi {

std::string UsbHardwareId(std::uint16_t vendor_id, std::uint16_t product_id) {
  char text[32];
  std::snprintf(text, sizeof text, "USB\\VID_%04X&PID_%04X", static_cast<unsigned>(vendor_id),
                static_cast<unsigned>(product_id));
  return text;
}

std::optional<std::size_t> MatchFamilyPrefix(std::string_view hardware_id) {
  std::string upper(hardware_id);
  std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  });
  for (std::size_t i = 0; i < std::size(kUsbHardwareIdPrefixes); ++i) {
    if (std::string_view(upper).starts_with(kUsbHardwareIdPrefixes[i])) return i;
  }
  return std::nullopt;
}

std::vector<std::size_t> FamilyDevicesInOrder(std::span<const UsbCandidate> candidates) {
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (MatchFamilyPrefix(candidates[i].hardware_id)) order.push_back(i);
  }
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const UsbCandidate& x = candidates[a];
    const UsbCandidate& y = candidates[b];
    return x.bus != y.bus ? x.bus < y.bus : x.address < y.address;
  });
  return order;
}

std::optional<std::size_t> PickFamilyDevice(std::span<const UsbCandidate> candidates) {
  const std::vector<std::size_t> order = FamilyDevicesInOrder(candidates);
  if (order.empty()) return std::nullopt;
  return order.front();
}

namespace {

// N for a kernel port name "parportN" (digits only after the prefix), else nullopt.
std::optional<unsigned long> KernelPortNumber(std::string_view name) {
  constexpr std::string_view kPrefix = "parport";
  if (!name.starts_with(kPrefix) || name.size() == kPrefix.size()) return std::nullopt;
  const std::string_view digits = name.substr(kPrefix.size());
  if (digits.size() > 6) return std::nullopt;
  unsigned long n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<unsigned long>(c - '0');
  }
  return n;
}

}  // namespace

std::optional<std::size_t> PickParallelPort(std::span<const std::string> names) {
  std::optional<std::size_t> best;
  unsigned long best_number = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::optional<unsigned long> n = KernelPortNumber(names[i]);
    if (n && (!best || *n < best_number)) {
      best = i;
      best_number = *n;
    }
  }
  if (best) return best;
  for (std::string_view address : {"0x378", "0x278", "0x3bc"}) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (names[i] == address) return i;
    }
  }
  if (names.empty()) return std::nullopt;
  return 0;
}

std::optional<std::string> ReplyTextFromDeviceId(std::span<const std::byte> arrived) {
  constexpr std::size_t kLengthField = 2;
  if (arrived.size() <= kLengthField) return std::nullopt;
  // The length field is the printer's own and often wrong (some count it, some do not, some
  // give any larger number): the text is bounded by what arrived and by its first zero byte.
  const std::span<const std::byte> id = arrived.subspan(kLengthField);
  const auto zero = std::find(id.begin(), id.end(), std::byte{0});
  std::string text;
  text.reserve(static_cast<std::size_t>(zero - id.begin()));
  for (auto it = id.begin(); it != zero; ++it) text.push_back(static_cast<char>(*it));
  return text;
}

}  // namespace tavi
