#include "core/connection/device_transfer.h"

#include <algorithm>

#include "core/resources/constants.h"
#include "core/trace/trace.h"
#include "core/ui/seams.h"

namespace tavi {

TransferEnd WriteAll(std::span<const std::byte> bytes, std::size_t max_piece,
                     ProgressDialog& progress, const WriteAttempt& attempt, std::size_t& sent,
                     std::string& error) {
  sent = 0;
  if (max_piece == 0) max_piece = bytes.size();
  while (sent < bytes.size()) {
    const std::span<const std::byte> piece =
        bytes.subspan(sent, std::min(max_piece, bytes.size() - sent));
    const TransferResult result = attempt(piece);
    // A device never moves more than it was given; a count beyond that is not trusted.
    sent += std::min(result.count, piece.size());
    if (result.status == TransferResult::Status::kFailed) {
      error = result.error;
      return TransferEnd::kFailed;
    }
    if (sent == bytes.size()) break;
    progress.PumpMessages(false);
    if (progress.IsCancelled()) return TransferEnd::kCancelled;
  }
  return TransferEnd::kDone;
}

TransferEnd ReadOnce(ProgressDialog& progress, const ReadAttempt& attempt, std::size_t& count,
                     std::string& error) {
  count = 0;
  for (;;) {
    const TransferResult result = attempt();
    switch (result.status) {
      case TransferResult::Status::kDone:
        count = result.count;
        return TransferEnd::kDone;
      case TransferResult::Status::kFailed:
        error = result.error;
        return TransferEnd::kFailed;
      case TransferResult::Status::kTimedOut:
        break;
    }
    progress.PumpMessages(false);
    if (progress.IsCancelled()) return TransferEnd::kCancelled;
  }
}

std::string DescribeAttempt(std::string_view what, std::size_t offered,
                            const TransferResult& result) {
  std::string text(what);
  text += ' ' + std::to_string(offered) + " bytes: ";
  switch (result.status) {
    case TransferResult::Status::kDone:
      return text + std::to_string(result.count) + " moved";
    case TransferResult::Status::kTimedOut:
      return text + "busy for " + std::to_string(kDeviceAttemptMs) + " ms, " +
             std::to_string(result.count) + " moved";
    case TransferResult::Status::kFailed:
      return text + "failed after " + std::to_string(result.count) + " moved: " + result.error;
  }
  return text;
}

std::string DescribeDeviceId(std::span<const std::byte> received) {
  const std::string_view text(reinterpret_cast<const char*>(received.data()), received.size());
  return "device ID, " + std::to_string(received.size()) + " bytes: " + PrintableText(text);
}

std::string PermissionFix() {
  std::string fix = " This user may not open it: add the user to group ";
  fix += kDeviceGroup;
  fix += " (sudo usermod -aG ";
  fix += kDeviceGroup;
  fix += " $USER), then log out and in again.";
  return fix;
}

std::string TransferDetails(TransferEnd end, std::string_view what, std::string_view error) {
  std::string details(what);
  if (end == TransferEnd::kCancelled) {
    details += ": cancelled while the printer was busy.";
  } else {
    details += ": ";
    details += error.empty() ? std::string_view("the transfer failed") : error;
    details += '.';
  }
  return details;
}

}  // namespace tavi
