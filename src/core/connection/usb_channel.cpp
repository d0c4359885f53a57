#include "core/connection/usb_channel.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "core/connection/device_ids.h"
#include "core/connection/device_transfer.h"
#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "core/trace/trace.h"

namespace tavi {
namespace {

std::string Describe(const UsbCandidate& device, const UsbDeviceInfo& info) {
  if (!info.path.empty()) return device.hardware_id + " at " + info.path;
  return device.hardware_id + " on bus " + std::to_string(device.bus) + " at address " +
         std::to_string(device.address);
}

}  // namespace

UsbChannel::UsbChannel(const ChannelContext& context, std::unique_ptr<UsbBackend> backend)
    : progress_(context.progress), trace_(context.trace), backend_(std::move(backend)) {}

UsbChannel::~UsbChannel() {
  Close();
}

bool UsbChannel::EnsureOpen(std::string& details) {
  if (open_) return true;
  if (!backend_) {
    details = "USB is not supported in this build.";
    return false;
  }
  // Nothing found earlier is reused: every open walks the bus again.
  std::vector<UsbDeviceInfo> devices;
  Failure error;
  if (!backend_->ListDevices(devices, error)) {
    details = "The USB devices could not be listed: " + error.details;
    return false;
  }
  std::vector<UsbCandidate> candidates;
  candidates.reserve(devices.size());
  for (const UsbDeviceInfo& d : devices) {
    candidates.push_back({d.bus, d.address, UsbHardwareId(d.vendor_id, d.product_id)});
  }
  const std::vector<std::size_t> order = FamilyDevicesInOrder(candidates);
  if (order.empty()) {
    details = "No USB printer of this family was found.";
    return false;
  }
  // The first matching device that can be opened: one that is busy or closed to this user
  // does not hide the next.
  std::string name;
  bool opened = false;
  bool permission_denied = false;
  for (std::size_t index : order) {
    name = Describe(candidates[index], devices[index]);
    if (backend_->Open(devices[index], error)) {
      opened = true;
      break;
    }
    if (!details.empty()) details += " ";
    details += "USB printer " + name + " could not be opened: " + error.details + ".";
    permission_denied = permission_denied || DeniesAccess(error.code);
  }
  if (!opened) {
    if (permission_denied) details += PermissionFix();
    return false;
  }
  details.clear();
  device_ = name;
  open_ = true;
  if (trace_.on()) trace_.Event("usb", "opened USB printer " + name);
  return true;
}

bool UsbChannel::Open(Failure& failure) {
  std::string details;
  if (EnsureOpen(details)) return true;
  trace_.Event("usb", "failed: " + details);
  failure = {kIdsFailedToOpenPort, std::move(details)};
  return false;
}

bool UsbChannel::Write(std::span<const std::byte> bytes, Failure& failure) {
  std::string details;
  if (!EnsureOpen(details)) {
    failure = {kIdsFailedToWrite, std::move(details)};
    return false;
  }
  std::size_t sent = 0;
  std::string error;
  const TransferEnd end = WriteAll(
      bytes, kUsbWriteChunk, progress_,
      [this](std::span<const std::byte> piece) {
        const TransferResult result = backend_->BulkWrite(piece, kDeviceAttemptMs);
        if (trace_.on()) trace_.Event("usb", DescribeAttempt("bulk write", piece.size(), result));
        return result;
      },
      sent, error);
  if (end == TransferEnd::kDone) return true;
  failure = {kIdsFailedToWrite, TransferDetails(end, "USB printer " + device_, error)};
  trace_.Event("usb", "failed: " + failure.details);
  // The next operation finds the device again.
  Close();
  return false;
}

bool UsbChannel::ReadReply(std::string& out, Failure& failure) {
  std::string details;
  if (!EnsureOpen(details)) {
    failure = {kIdsFailedToRead, std::move(details)};
    return false;
  }
  std::array<std::byte, kUsbReplyBufferSize> buffer{};
  std::size_t count = 0;
  std::string error;
  const TransferEnd end = ReadOnce(
      progress_,
      [&] {
        const TransferResult result = backend_->GetDeviceId(buffer, kDeviceAttemptMs);
        if (trace_.on() && result.status != TransferResult::Status::kDone) {
          trace_.Event("usb", DescribeAttempt("GET_DEVICE_ID", buffer.size(), result));
        }
        return result;
      },
      count, error);
  if (end != TransferEnd::kDone) {
    failure = {kIdsFailedToRead, TransferDetails(end, "USB printer " + device_, error)};
    trace_.Event("usb", "failed: " + failure.details);
    Close();
    return false;
  }
  const auto received = std::span<const std::byte>(buffer).first(std::min(count, buffer.size()));
  if (trace_.on()) trace_.Event("usb", DescribeDeviceId(received));
  const std::optional<std::string> text = ReplyTextFromDeviceId(received);
  if (!text) {
    // The request itself worked: the device stays open.
    failure = {kIdsFailedToRead, "USB printer " + device_ + " gave no device ID."};
    trace_.Event("usb", "failed: " + failure.details);
    return false;
  }
  out = *text;
  return true;
}

void UsbChannel::Close() {
  if (!open_) return;
  backend_->Close();
  open_ = false;
  device_.clear();
}

}  // namespace tavi
