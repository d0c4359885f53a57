#include "core/connection/parallel_channel.h"

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

ParallelChannel::ParallelChannel(const ChannelContext& context,
                                 std::unique_ptr<ParallelBackend> backend)
    : progress_(context.progress), trace_(context.trace), backend_(std::move(backend)) {}

ParallelChannel::~ParallelChannel() {
  Close();
}

bool ParallelChannel::Open(Failure& failure) {
  Close();
  failure.message_id = kIdsFailedToOpenPort;
  if (!backend_) {
    failure.details = "Parallel ports are not supported in this build.";
    return false;
  }
  std::vector<std::string> ports;
  Failure error;
  if (!backend_->ListPorts(ports, error)) {
    failure.details = "The parallel ports could not be listed: " + error.details;
    return false;
  }
  if (ports.empty()) {
    failure.details = "No parallel port was found on this computer.";
    return false;
  }
  // The PC's first port, in the kernel's order rather than the library's.
  const std::string& name = ports[*PickParallelPort(ports)];
  if (!backend_->Open(name, error)) {
    failure.details = "Parallel port " + name + " could not be opened: " + error.details + ".";
    if (DeniesAccess(error.code)) failure.details += PermissionFix();
    return false;
  }
  port_ = name;
  if (trace_.on()) trace_.Event("par", "opened parallel port " + name);
  failure = {};
  return true;
}

bool ParallelChannel::Write(std::span<const std::byte> bytes, Failure& failure) {
  if (port_.empty()) {
    failure = {kIdsFailedToWrite, "The parallel port is not open."};
    return false;
  }
  std::size_t sent = 0;
  std::string error;
  // No piece limit: every attempt offers all the bytes not yet written.
  const TransferEnd end = WriteAll(
      bytes, bytes.size(), progress_,
      [this](std::span<const std::byte> piece) {
        const TransferResult result = backend_->Write(piece, kDeviceAttemptMs);
        if (trace_.on()) trace_.Event("par", DescribeAttempt("write", piece.size(), result));
        return result;
      },
      sent, error);
  if (end == TransferEnd::kDone) return true;
  // A failed write leaves the port open until Close.
  failure = {kIdsFailedToWrite, TransferDetails(end, "Parallel port " + port_, error)};
  trace_.Event("par", "failed: " + failure.details);
  return false;
}

bool ParallelChannel::ReadReply(std::string& out, Failure& failure) {
  if (port_.empty()) {
    failure = {kIdsFailedToRead, "The parallel port is not open."};
    return false;
  }
  std::array<std::byte, kParallelReplyBufferSize> buffer{};
  std::size_t count = 0;
  std::string error;
  const TransferEnd end = ReadOnce(
      progress_,
      [&] {
        const TransferResult result = backend_->ReadDeviceId(buffer, kDeviceAttemptMs);
        if (trace_.on() && result.status != TransferResult::Status::kDone) {
          trace_.Event("par", DescribeAttempt("device ID request", buffer.size(), result));
        }
        return result;
      },
      count, error);
  if (end != TransferEnd::kDone) {
    failure = {kIdsFailedToRead, TransferDetails(end, "Parallel port " + port_, error)};
    trace_.Event("par", "failed: " + failure.details);
    return false;
  }
  const auto received = std::span<const std::byte>(buffer).first(std::min(count, buffer.size()));
  if (trace_.on()) trace_.Event("par", DescribeDeviceId(received));
  // A device ID request that succeeded with nothing after the length field is an empty reply:
  // the printer has published nothing yet, and polling goes on.
  out = ReplyTextFromDeviceId(received).value_or(std::string());
  return true;
}

void ParallelChannel::Close() {
  if (port_.empty()) return;
  backend_->Close();
  port_.clear();
}

}  // namespace tavi
