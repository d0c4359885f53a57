// Polling for chunked replies: the header wait and the chunk collection.
#include <string>

#include "core/connection/printer_connection.h"
#include "core/protocol/operations.h"
#include "core/protocol/reply_framing.h"
#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "core/ui/seams.h"

namespace tavi {
namespace {

// One poll: a fresh reply text and the payload of its reply field (empty when there is none).
// Every poll also lets the window run, so Cancel ends a wait on any port within one poll.
bool Poll(PrinterConnection& connection, std::string_view marker, std::string& payload) {
  connection.progress().PumpMessages(false);
  std::string text;
  if (!connection.ReadReply(text)) return false;
  payload = ExtractReplyField(text, marker);
  return true;
}

// Collects chunks 1..N into `assembly`; false when a read fails.
bool Collect(PrinterConnection& connection, std::string_view marker, ChunkAssembly& assembly) {
  if (!assembly.ok()) return false;
  ProgressDialog& progress = connection.progress();
  const auto step = [&] {
    progress.SetStep(
        {ProgressStage::kReceivingChunks, assembly.received(), connection.chunk_count});
  };
  step();
  while (!assembly.complete()) {
    std::string payload;
    if (!Poll(connection, marker, payload)) return false;
    if (payload.empty()) continue;
    connection.clock().Sleep(kWaitPollMs);
    if (assembly.Offer(payload)) {
      step();
      progress.SetProgressPos(assembly.received());
    } else if (assembly.oversized() != 0) {
      // A chunk that does not fit its slot: whatever came of the answer is not the printer's
      // block or report, so nothing of it is kept.
      connection.messages().ShowMessage(
          kIdsFailedToRead, "The printer's chunk " + std::to_string(assembly.oversized()) + " of " +
                                std::to_string(assembly.count()) + " carries " +
                                std::to_string(assembly.oversized_bytes()) +
                                " data bytes, more than the " + std::to_string(kChunkDataBytes) +
                                " a chunk holds; the answer is refused.");
      return false;
    }
  }
  return true;
}

}  // namespace

bool WaitForChunkCount(PrinterConnection& connection, std::string_view marker) {
  const bool report_form = marker == kMarkerReport;
  connection.chunk_count = 0;
  connection.progress().SetStep({report_form ? ProgressStage::kWaitingForReportHeader
                                             : ProgressStage::kWaitingForParameterHeader});
  do {
    std::string payload;
    if (!Poll(connection, marker, payload)) return false;
    if (payload.empty()) {
      if (report_form) connection.clock().Sleep(kWaitPollMs);
      continue;
    }
    const PayloadIndex index = ReadPayloadIndex(payload);
    connection.clock().Sleep(kWaitPollMs);
    // A chunk that comes before the header is dropped; it is stored when it comes again.
    if (index.index == 0) connection.chunk_count = ReadHeaderCount(payload, index.stop);
  } while (connection.chunk_count == 0);
  connection.progress().SetProgressRange(connection.chunk_count);
  return true;
}

bool CollectReportChunks(PrinterConnection& connection, std::string& text) {
  ChunkAssembly assembly(ChunkForm::kReport, connection.chunk_count);
  if (!Collect(connection, kMarkerReport, assembly)) return false;
  text = assembly.ReportText();
  return true;
}

std::int32_t CollectParameterChunks(PrinterConnection& connection, std::span<std::uint8_t> dest) {
  ChunkAssembly assembly(ChunkForm::kParameter, connection.chunk_count);
  if (!Collect(connection, kMarkerReadParam, assembly)) return -1;
  return assembly.CopyParameters(dest);
}

}  // namespace tavi
