// Polling for chunked replies: the header wait and the chunk collection.
#include <string>

#include "core/connection/printer_connection.h"
#include "core/protocol/operations.h"
#include "core/protocol/reply_framing.h"
#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "core/trace/trace.h"
#include "core/ui/seams.h"

namespace tavi {
namespace {

// The most characters of a reply text that the details of a time-out quote.
constexpr std::size_t kQuotedReplyLength = 80;

// What a wait has seen, for the details when Cancel or the time-out ends it.
struct WaitWatch {
  explicit WaitWatch(PrinterConnection& connection) : started_ms(connection.clock().NowMs()) {}
  std::int64_t started_ms;
  int replies = 0;
  std::string last;  // the last reply text that was not empty
};

// One poll: a fresh reply text and the payload of its reply field (empty when there is none).
// Every poll also lets the window run, so Cancel ends a wait on any port within one poll.
bool Poll(PrinterConnection& connection, std::string_view marker, std::string& payload,
          WaitWatch& watch) {
  connection.progress().PumpMessages(false);
  std::string text;
  if (!connection.ReadReply(text)) return false;
  ++watch.replies;
  if (!text.empty()) watch.last = text;
  payload = ExtractReplyField(text, marker);
  return true;
}

// " within 2003 ms; 12 replies read, the last: STATUS=IDLE;".
std::string WaitWords(PrinterConnection& connection, const WaitWatch& watch) {
  std::string words =
      " within " + std::to_string(connection.clock().NowMs() - watch.started_ms) + " ms; ";
  if (watch.replies == 0) return words + "no reply was read";
  words += std::to_string(watch.replies) + (watch.replies == 1 ? " reply" : " replies") + " read";
  if (watch.last.empty()) return words + ", all empty";
  const bool cut = watch.last.size() > kQuotedReplyLength;
  return words + ", the last: " + PrintableText(watch.last.substr(0, kQuotedReplyLength)) +
         (cut ? "..." : "");
}

// A wait that Cancel (or the time-out) ended says what it was waiting for.
void NoteWaitEnded(PrinterConnection& connection, const std::string& what) {
  if (!connection.progress().IsCancelled()) return;  // the failed read has said why
  connection.messages().NoteCancelled(kIdsFailedToRead, what);
}

// Collects chunks 1..N into `assembly`; false when a read fails.
bool Collect(PrinterConnection& connection, std::string_view marker, ChunkAssembly& assembly) {
  if (!assembly.ok()) return false;
  ProgressDialog& progress = connection.progress();
  WaitWatch watch(connection);
  const auto step = [&] {
    progress.SetStep(
        {ProgressStage::kReceivingChunks, assembly.received(), connection.chunk_count});
  };
  step();
  while (!assembly.complete()) {
    std::string payload;
    if (!Poll(connection, marker, payload, watch)) {
      NoteWaitEnded(connection, std::to_string(assembly.received()) + " of " +
                                    std::to_string(assembly.count()) + " chunks (" +
                                    std::string(marker) + ") from " + connection.PrinterWords() +
                                    WaitWords(connection, watch));
      return false;
    }
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
  WaitWatch watch(connection);
  do {
    std::string payload;
    if (!Poll(connection, marker, payload, watch)) {
      // A printer of the other family takes no command sent after our access-code line, so
      // its header never comes either: the details name the family that was asked.
      const std::int32_t family = connection.FamilyNumber();
      NoteWaitEnded(connection, "no reply header (" + std::string(marker) + ") from " +
                                    connection.PrinterWords() + " for family " +
                                    std::to_string(family) + " (access code " +
                                    (family == 1 ? "A" : "B") + ")" + WaitWords(connection, watch));
      return false;
    }
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
