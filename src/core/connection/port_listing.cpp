#include "core/connection/port_listing.h"

#include <algorithm>
#include <array>

#include "core/connection/device_ids.h"
#include "core/connection/device_transfer.h"
#include "core/resources/constants.h"

namespace tavi {
namespace {

// One bounded attempt; fills the device ID or the note.
template <typename ReadFn>
void ReadIdOnce(ListedDevice& device, ReadFn read, std::span<std::byte> buffer) {
  const TransferResult result = read(buffer);
  if (result.status == TransferResult::Status::kTimedOut) {
    device.note = "the printer is busy";
  } else if (result.status == TransferResult::Status::kFailed) {
    device.note = result.error;
  } else if (auto text =
                 ReplyTextFromDeviceId(buffer.first(std::min(result.count, buffer.size())))) {
    device.device_id = std::move(*text);
  } else {
    device.note = "no device ID";
  }
}

void ListParallel(ParallelBackend& backend, PortListing& listing) {
  std::vector<std::string> names;
  Failure error;
  if (!backend.ListPorts(names, error)) {
    listing.parallel_error = error.details;
    return;
  }
  const std::optional<std::size_t> chosen = PickParallelPort(names);
  for (std::size_t i = 0; i < names.size(); ++i) {
    ListedDevice device{names[i], std::nullopt, {}, chosen == i};
    if (backend.Open(names[i], error)) {
      std::array<std::byte, kParallelReplyBufferSize> buffer{};
      ReadIdOnce(
          device, [&](std::span<std::byte> b) { return backend.ReadDeviceId(b, kDeviceAttemptMs); },
          buffer);
      backend.Close();
    } else {
      device.note = error.details + (DeniesAccess(error.code) ? "." + PermissionFix() : "");
    }
    listing.parallel.push_back(std::move(device));
  }
}

void ListUsb(UsbBackend& backend, PortListing& listing) {
  std::vector<UsbDeviceInfo> devices;
  Failure error;
  if (!backend.ListDevices(devices, error)) {
    listing.usb_error = error.details;
    return;
  }
  std::vector<UsbCandidate> candidates;
  for (const UsbDeviceInfo& d : devices) {
    candidates.push_back({d.bus, d.address, UsbHardwareId(d.vendor_id, d.product_id)});
  }
  // In bus and address order, like discovery; Tavi uses the first one that opens (the first
  // one when none does).
  const std::vector<std::size_t> order = FamilyDevicesInOrder(candidates);
  bool used_one = false;
  for (std::size_t i : order) {
    const UsbCandidate& c = candidates[i];
    ListedDevice device{c.hardware_id + " on bus " + std::to_string(c.bus) + " at address " +
                            std::to_string(c.address),
                        std::nullopt,
                        {},
                        false};
    if (backend.Open(devices[i], error)) {
      device.used = !used_one;
      used_one = true;
      std::array<std::byte, kUsbReplyBufferSize> buffer{};
      ReadIdOnce(
          device, [&](std::span<std::byte> b) { return backend.GetDeviceId(b, kDeviceAttemptMs); },
          buffer);
      backend.Close();
    } else {
      device.note = error.details + (DeniesAccess(error.code) ? "." + PermissionFix() : "");
    }
    listing.usb.push_back(std::move(device));
  }
  if (!used_one && !listing.usb.empty()) listing.usb.front().used = true;
}

void FormatSection(std::string& out, const char* title, const std::vector<ListedDevice>& devices,
                   const std::string& error, const char* none) {
  out += title;
  out += '\n';
  if (!error.empty()) {
    out += "  cannot be listed: " + error + '\n';
    return;
  }
  if (devices.empty()) out += std::string("  ") + none + '\n';
  for (const ListedDevice& d : devices) {
    out += "  " + d.name;
    if (d.used) out += "  [used by Tavi]";
    out += '\n';
    if (d.device_id) {
      out += "    device ID: " + *d.device_id + '\n';
    } else {
      out += "    device ID not readable: " + d.note + '\n';
    }
  }
}

}  // namespace

PortListing ListPorts(ParallelBackend* parallel, UsbBackend* usb) {
  PortListing listing;
  if (parallel != nullptr) {
    ListParallel(*parallel, listing);
  } else {
    listing.parallel_error = "parallel ports are not supported in this build";
  }
  if (usb != nullptr) {
    ListUsb(*usb, listing);
  } else {
    listing.usb_error = "USB is not supported in this build";
  }
  return listing;
}

std::string FormatPortListing(const PortListing& listing) {
  std::string out;
  FormatSection(out, "Parallel ports:", listing.parallel, listing.parallel_error, "none found");
  FormatSection(out, "USB printers of this family:", listing.usb, listing.usb_error, "none found");
  const auto answered = [](const std::vector<ListedDevice>& devices) {
    for (const ListedDevice& d : devices) {
      if (d.device_id) return true;
    }
    return false;
  };
  if (!answered(listing.parallel) && listing.usb.empty()) {
    out += "No printer answered on this machine.\n";
  }
  return out;
}

}  // namespace tavi
