#include "frontends/printer_sim/devices/device_faults.h"

#include <array>
#include <utility>

namespace tavi::sim {
namespace {

constexpr std::array<std::pair<DeviceFault, std::string_view>, 8> kNames{{
    {DeviceFault::kNone, "none"},
    {DeviceFault::kUnplug, "unplug"},
    {DeviceFault::kStall, "stall"},
    {DeviceFault::kHang, "hang"},
    {DeviceFault::kNoPermission, "no-permission"},
    {DeviceFault::kAbsent, "absent"},
    {DeviceFault::kFirstBusy, "first-busy"},
    {DeviceFault::kFirstNoPermission, "first-no-permission"},
}};

}  // namespace

std::optional<DeviceFault> ParseDeviceFault(std::string_view name) {
  for (const auto& [fault, text] : kNames) {
    if (text == name) return fault;
  }
  return std::nullopt;
}

std::string_view DeviceFaultName(DeviceFault fault) {
  for (const auto& [f, text] : kNames) {
    if (f == fault) return text;
  }
  return "none";
}

}  // namespace tavi::sim
