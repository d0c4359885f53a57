// Pure rules of the parallel and USB channels: which USB device is ours, and the reply text
// inside a device ID.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavi {

// "USB\VID_xxxx&PID_xxxx" with four upper-case hex digits each.
std::string UsbHardwareId(std::uint16_t vendor_id, std::uint16_t product_id);

// Index of the first family prefix that the upper-cased `hardware_id` begins with, or nullopt.
std::optional<std::size_t> MatchFamilyPrefix(std::string_view hardware_id);

// One USB device as discovery sees it.
struct UsbCandidate {
  std::uint8_t bus = 0;
  std::uint8_t address = 0;
  std::string hardware_id;
};

// The indices of the candidates whose hardware id matches a family prefix, by bus number, then
// device address (ties keep their given order).
std::vector<std::size_t> FamilyDevicesInOrder(std::span<const UsbCandidate> candidates);

// The device that decides, walking the candidates by bus number, then device address (ties
// keep their given order): the first one whose hardware id matches a family prefix. Returns
// its index in `candidates`.
std::optional<std::size_t> PickFamilyDevice(std::span<const UsbCandidate> candidates);

// The parallel port the channel uses among the ports the library lists: the first in the
// kernel's order (parport0, parport1, ... by number, whatever the listing's order); failing
// those, the first I/O address in the order of the PC's LPT1, LPT2, LPT3 (0x378, 0x278,
// 0x3bc); failing those, the first one listed. Returns its index, or nullopt for no ports.
std::optional<std::size_t> PickParallelPort(std::span<const std::string> names);

// The reply text of a device ID as it arrived: a 2-byte big-endian length, then the ID. The
// text is the ID's bytes after the length field up to the first zero byte, never past what
// arrived, whatever the length field claims. Returns nullopt when nothing follows the length
// field (no device ID).
std::optional<std::string> ReplyTextFromDeviceId(std::span<const std::byte> arrived);

}  // namespace tavi
