#include "core/connection/printer_connection.h"

#include <utility>

#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "core/settings/port_settings.h"
#include "core/ui/seams.h"

namespace tavi {
PrinterConnection::PrinterConnection(PortSettings settings, ProgressDialog& progress,
                                     Messages& messages, Clock& clock, ChannelFactory factory,
                                     Trace trace)
    : settings_(std::move(settings)),
      progress_(progress),
      messages_(messages),
      clock_(clock),
      trace_(trace),
      factory_(std::move(factory)) {}

PrinterConnection::~PrinterConnection() {
  if (open_channel_ != nullptr) open_channel_->Close();
}

Channel* PrinterConnection::ChannelFor(std::int32_t kind) {
  auto it = channels_.find(kind);
  if (it != channels_.end()) return it->second.get();
  if (!factory_) return nullptr;
  ChannelContext context{settings_, progress_, traced_clock_, trace_};
  std::unique_ptr<Channel> channel = factory_(kind, context);
  if (!channel) return nullptr;
  Channel* raw = channel.get();
  channels_.emplace(kind, std::move(channel));
  return raw;
}

void PrinterConnection::Report(const Failure& failure) {
  // A step that Cancel ended (a socket call broken off, or any failure once Cancel was
  // pressed) is no failure: the operation ends without a message.
  if (progress_.IsCancelled()) {
    if (trace_.on()) {
      trace_.Event("conn", "cancelled, so no message: " + failure.details);
    }
    traced_messages_.NoteCancelled(failure.message_id, failure.details);
    return;
  }
  traced_messages_.ShowMessage(failure.message_id, failure.details);
}

std::string UnknownPortKindDetails(std::int32_t kind) {
  return "The port kind in the settings is " + std::to_string(kind) +
         "; it must be 0 (parallel port), 1 (network) or 2 (USB). Choose the port in Select Port.";
}

std::string PrinterConnection::PortWords(const Channel* channel) const {
  if (channel != nullptr) return channel->PortWords();
  // Nothing open: the current kind's channel, once there is one, names the printer.
  if (const auto it = channels_.find(settings_.port); it != channels_.end()) {
    return it->second->PortWords();
  }
  return "port kind " + std::to_string(settings_.port) +
         (IsPortKind(settings_.port) ? " (no channel in this build)" : " (no device)");
}

int PrinterConnection::NotOpenFailureId(int (Channel::*id)() const, int fallback) {
  const Channel* channel = IsPortKind(settings_.port) ? ChannelFor(settings_.port) : nullptr;
  return channel != nullptr ? (channel->*id)() : fallback;
}

bool PrinterConnection::Open() {
  const std::int32_t kind = settings_.port;
  Channel* channel = IsPortKind(kind) ? ChannelFor(kind) : nullptr;
  if (trace_.on()) {
    trace_.Event("conn", "open: " + PortWords(channel) + ", family " +
                             std::to_string(FamilyNumber()) + " (access code " +
                             (FamilyNumber() == 1 ? "A" : "B") + ")");
  }
  if (!IsPortKind(kind)) {
    Report({kIdsFailedToOpenPort, UnknownPortKindDetails(kind)});
    return false;
  }
  progress_.NamePrinter(PortWords(channel));
  progress_.SetStep({ProgressStage::kConnecting});
  if (channel == nullptr) {
    Report({kIdsFailedToOpenPort, "No channel for this port kind is built into this program."});
    return false;
  }
  // The channel that was opened is the one that is written, read and closed, even if the
  // settings change in between.
  open_channel_ = channel;
  Failure failure;
  if (!channel->Open(failure)) {
    if (failure.message_id == 0) failure.message_id = kIdsFailedToOpenPort;
    Report(failure);
    return false;
  }
  return true;
}

bool PrinterConnection::Write(std::span<const std::byte> bytes, Payload payload) {
  if (progress_.IsCancelled()) {
    trace_.Event("conn", "cancelled: nothing more is written");
    return false;
  }
  if (trace_.on()) trace_.Event("conn", "write " + DescribePayload(bytes, payload));
  // A firmware image goes out in several writes; its flow counts the bytes of the whole image.
  const auto size = static_cast<std::int64_t>(bytes.size());
  if (payload != Payload::kFirmware) progress_.SetStep({ProgressStage::kSending, 0, size});
  if (open_channel_ == nullptr) {
    Report({NotOpenFailureId(&Channel::WriteFailureId, kIdsFailedToWrite),
            "The printer connection is not open."});
    return false;
  }
  Failure failure;
  if (!open_channel_->Write(bytes, failure)) {
    if (failure.message_id == 0) failure.message_id = open_channel_->WriteFailureId();
    Report(failure);
    return false;
  }
  return true;
}

bool PrinterConnection::Write(std::string_view text) {
  return Write(std::as_bytes(std::span(text.data(), text.size())));
}

bool PrinterConnection::ReadReply(std::string& out) {
  if (progress_.IsCancelled()) {
    trace_.Event("conn", "cancelled: no more replies are read");
    return false;
  }
  if (open_channel_ == nullptr) {
    Report({NotOpenFailureId(&Channel::ReadFailureId, kIdsFailedToRead),
            "The printer connection is not open."});
    return false;
  }
  Failure failure;
  std::string reply;
  if (!open_channel_->ReadReply(reply, failure)) {
    if (failure.message_id == 0) failure.message_id = open_channel_->ReadFailureId();
    Report(failure);
    return false;
  }
  out = std::move(reply);
  return true;
}

bool PrinterConnection::Answers() {
  if (progress_.IsCancelled()) return false;
  const std::int32_t kind = settings_.port;
  Channel* channel = IsPortKind(kind) ? ChannelFor(kind) : nullptr;
  if (channel == nullptr) return false;
  Failure failure;
  std::string reply;
  const bool answered = channel->Open(failure) && channel->ReadReply(reply, failure);
  channel->Close();
  if (trace_.on()) {
    trace_.Event("conn", answered ? "the printer answers: " + PrintableText(reply)
                                  : "no answer yet: " + failure.details);
  }
  return answered;
}

bool PrinterConnection::Close() {
  trace_.Event("conn", "close");
  if (open_channel_ != nullptr) {
    open_channel_->Close();
    open_channel_ = nullptr;
  }
  return true;
}

bool PrinterConnection::ReopenAfterReset() {
  const std::int32_t kind = settings_.port;
  const Channel* channel = IsPortKind(kind) ? ChannelFor(kind) : nullptr;
  progress_.SetStep({ProgressStage::kWaitingForRestart});
  if (channel != nullptr && channel->AfterReset() == ResetPolicy::kWait) {
    traced_clock_.Sleep(kWaitResetMs);
    return true;
  }
  // The device leaves while the printer restarts: find it and open it again (a port without a
  // channel fails that open). The extra delay of old systems never applies here.
  Close();
  traced_clock_.Sleep(kWaitResetMs);
  return Open();
}

std::string_view PrinterConnection::AccessCodeLine() const {
  return tavi::AccessCodeLine(FamilyNumber());
}

}  // namespace tavi
