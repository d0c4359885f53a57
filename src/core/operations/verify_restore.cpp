#include "core/operations/verify_restore.h"

#include <string>
#include <vector>

#include "core/connection/printer_connection.h"
#include "core/files/parameter_diff.h"
#include "core/protocol/operations.h"
#include "core/resources/strings.h"
#include "core/ui/seams.h"

namespace tavi {
namespace {

// Asks the printer again and again until it answers, for at most kAnswerWaitLimitMs.
bool WaitForAnswer(PrinterConnection& connection) {
  ProgressDialog& progress = connection.progress();
  Clock& clock = connection.clock();
  progress.SetProgressPos(0);
  progress.SetProgressRange(kAnswerWaitLimitMs / 1000);
  progress.Show(true);
  progress.NamePrinter(connection.PrinterWords());
  const std::int64_t start = clock.NowMs();
  const auto words = [&] {
    return "no answer from " + connection.PrinterWords() + " within " +
           std::to_string(clock.NowMs() - start) + " ms of the restore";
  };
  bool answered = false;
  for (;;) {
    const std::int64_t waited = clock.NowMs() - start;
    progress.SetStep({ProgressStage::kWaitingForAnswer, waited, kAnswerWaitLimitMs});
    progress.SetProgressPos(static_cast<std::int32_t>(waited / 1000));
    if (connection.Answers()) {
      answered = true;
      break;
    }
    if (progress.IsCancelled()) {
      connection.messages().NoteCancelled(kIdsVerifyNoAnswer, words());
      break;
    }
    if (clock.NowMs() - start >= kAnswerWaitLimitMs) {
      progress.Show(false);
      connection.messages().ShowMessage(kIdsVerifyNoAnswer, words());
      return false;
    }
    clock.Sleep(kAnswerProbeIntervalMs);
  }
  progress.Show(false);
  return answered;
}

}  // namespace

FlowOutcome VerifyRestore(PrinterConnection& connection, std::span<const std::uint8_t> image) {
  if (image.empty()) return FlowOutcome::kFailed;
  connection.trace().Event("verify", "waiting for the printer to answer again");
  if (!WaitForAnswer(connection)) return FlowOutcome::kFailed;

  std::vector<std::uint8_t> read(kParameterCapacity);
  const std::int32_t n = GetParameters(connection, read);
  if (n < 0) return FlowOutcome::kFailed;
  read.resize(static_cast<std::size_t>(n));

  const auto restored = image.first(image.size() - 1);
  const BlockDiff diff = DiffBlocks(restored, read);
  if (diff.equal()) {
    connection.messages().ShowMessage(kIdsVerifiedEqual);
    return FlowOutcome::kSuccess;
  }
  connection.messages().ShowMessage(
      kIdsVerifyMismatch,
      "Where they differ (the file's bytes | the printer's):\n" +
          DescribeDiff(restored, read, diff, kMismatchRangesShown, kMismatchBytesShown));
  return FlowOutcome::kMismatch;
}

}  // namespace tavi
