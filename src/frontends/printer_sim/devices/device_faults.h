// What an emulated device does besides answering: the faults a USB printer or a parallel port
// can show, and the USB identity of the virtual printer.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tavi::sim {

enum class DeviceFault {
  kNone,
  kUnplug,             // unplugged during the open's second bulk transfer, plugged in at once
  kStall,              // the first bulk transfer ends with the endpoint stalled
  kHang,               // bulk transfers never complete (the printer never takes the bytes)
  kNoPermission,       // the device node may not be opened by the program
  kAbsent,             // no device at all
  kFirstBusy,          // two printers; another program holds the first one's interface
  kFirstNoPermission,  // two printers; the first one's node may not be opened
};

struct DeviceOptions {
  std::uint16_t usb_product_id = 0x0102;  // 0x0101, 0x0102 or 0x0103
  DeviceFault fault = DeviceFault::kNone;
  // The device ID's length field claims more bytes than the ID has.
  bool overstated_id_length = false;
};

// Names on the command line: "none", "unplug", "stall", "hang", "no-permission", "absent",
// "first-busy", "first-no-permission".
std::optional<DeviceFault> ParseDeviceFault(std::string_view name);
std::string_view DeviceFaultName(DeviceFault fault);

}  // namespace tavi::sim
