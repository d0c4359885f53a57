#include "frontends/printer_sim/device_channel.h"

#include <algorithm>

#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "core/settings/port_settings.h"

namespace tavi::sim {
namespace {

bool Fail(Failure& failure, int id, std::string details) {
  failure.message_id = id;
  failure.details = std::move(details);
  return false;
}

}  // namespace

DeviceChannel::DeviceChannel(PrinterModel& model, std::int32_t port_kind)
    : model_(model),
      port_kind_(port_kind),
      reply_limit_(port_kind == kPortUsb ? kUsbReplyBufferSize : kParallelReplyBufferSize) {}

DeviceChannel::~DeviceChannel() {
  Close();
}

bool DeviceChannel::Open(Failure& failure) {
  if (model_.IsAway()) return Fail(failure, kIdsFailedToOpenPort, "the printer is restarting");
  if (!session_) {
    session_ = model_.OpenSession(port_kind_ == kPortUsb ? "usb" : "parallel");
  }
  return true;
}

bool DeviceChannel::Write(std::span<const std::byte> bytes, Failure& failure) {
  if (!session_) return Fail(failure, kIdsFailedToWrite, "the device is not open");
  if (model_.IsAway()) return Fail(failure, kIdsFailedToWrite, "the printer is restarting");
  model_.log().Add(Ev("device-write")
                       .Num("session", session_->id())
                       .Num("bytes", static_cast<std::int64_t>(bytes.size()))
                       .event);
  session_->Write(bytes);
  return true;
}

bool DeviceChannel::ReadReply(std::string& out, Failure& failure) {
  if (!session_) return Fail(failure, kIdsFailedToRead, "the device is not open");
  std::string text;
  if (!model_.ReadReply(text))
    return Fail(failure, kIdsFailedToRead, "no device ID: the printer is restarting");
  // The device-ID query fills at most the reply buffer; the text ends at the first zero byte.
  text.resize(std::min(text.size(), reply_limit_));
  const std::size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  out = std::move(text);
  return true;
}

void DeviceChannel::Close() {
  session_.reset();
}

std::string DeviceChannel::PortWords() const {
  return port_kind_ == kPortUsb ? "USB" : "parallel port";
}

ResetPolicy DeviceChannel::AfterReset() const {
  return port_kind_ == kPortUsb ? ResetPolicy::kReopen : ResetPolicy::kWait;
}

ChannelFactory DeviceChannelFactory(PrinterModel& model) {
  return [&model](std::int32_t port_kind, const ChannelContext&) -> std::unique_ptr<Channel> {
    if (port_kind != kPortParallel && port_kind != kPortUsb) return nullptr;
    return std::make_unique<DeviceChannel>(model, port_kind);
  };
}

}  // namespace tavi::sim
