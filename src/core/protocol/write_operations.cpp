// The operations that only write: Put Parameters, the console texts, Set Head Rank and the
// firmware upgrade.
#include <algorithm>
#include <cstdint>

#include "core/connection/printer_connection.h"
#include "core/protocol/console_frame.h"
#include "core/protocol/operations.h"
#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "core/ui/seams.h"

namespace tavi {
namespace {

std::span<const std::byte> Bytes(std::span<const std::uint8_t> bytes) {
  return std::as_bytes(bytes);
}

// Position 0, range 0..100, show.
void StartWriteOnly(ProgressDialog& progress) {
  progress.SetProgressPos(0);
  progress.SetProgressRange(100);
  progress.Show(true);
}

// Hide, close, and "Done." on success.
bool FinishWriteOnly(PrinterConnection& connection, bool ok) {
  connection.progress().Show(false);
  connection.Close();
  if (ok) connection.messages().ShowMessage(kIdsDone);
  return ok;
}

}  // namespace

bool SendConsoleText(PrinterConnection& connection, std::string_view text) {
  const auto frame = BuildConsoleFrame(text);
  if (!frame) return false;
  connection.clock().Sleep(kWaitBeforeConsoleMs);
  return connection.Write(connection.AccessCodeLine()) && connection.Write(kCmdPipeMonitor) &&
         connection.Write(Bytes(*frame));
}

bool SendRsLine(PrinterConnection& connection) {
  if (!SendConsoleText(connection, kConsoleRs)) return false;
  connection.clock().Sleep(kWaitAfterRsMs);
  return true;
}

bool PutParameters(PrinterConnection& connection, std::span<const std::uint8_t> image, bool all) {
  ProgressDialog& progress = connection.progress();
  StartWriteOnly(progress);
  bool ok = false;
  if (connection.Open() && connection.Write(connection.AccessCodeLine()) &&
      connection.Write(all ? kCmdPutAllParam : kCmdPutParam) &&
      connection.Write(Bytes(image), Payload::kParameterImage)) {
    progress.SetProgressPos(50);
    if (SendRsLine(connection)) {
      progress.SetProgressPos(100);
      connection.clock().Sleep(kWaitAfterCommandMs);
      ok = true;
    }
  }
  return FinishWriteOnly(connection, ok);
}

bool SetHeadRank(PrinterConnection& connection, int head_index, std::string_view head_rank) {
  ProgressDialog& progress = connection.progress();
  StartWriteOnly(progress);
  const std::string text = HeadRankConsoleText(head_index, head_rank);
  bool ok = false;
  if (connection.Open() && SendConsoleText(connection, text)) {
    Clock& clock = connection.clock();
    progress.SetProgressPos(50);
    clock.Sleep(kWaitAfterRsMs);
    progress.SetProgressPos(75);
    clock.Sleep(kWaitAfterRsMs);
    progress.SetProgressPos(100);
    clock.Sleep(kWaitAfterCommandMs);
    ok = true;
  }
  return FinishWriteOnly(connection, ok);
}

bool UpgradeFirmware(PrinterConnection& connection, std::span<const std::uint8_t> image) {
  ProgressDialog& progress = connection.progress();
  StartWriteOnly(progress);
  bool ok = false;
  const bool opened = connection.Open();
  if (opened && SendConsoleText(connection, kConsoleBootUpdate)) {
    progress.SetProgressPos(10);
    // The printer restarts into its update mode; whether a USB device came back shows at the
    // first write.
    connection.ReopenAfterReset();
    const std::uint64_t total = image.size();
    std::uint64_t sent = 0;
    bool write_ok = true;
    while (sent < total) {
      const std::size_t chunk =
          static_cast<std::size_t>(std::min<std::uint64_t>(total - sent, kFirmwareChunk));
      // 90 * sent fits easily in 64 bits for any image that fits in memory.
      progress.SetProgressPos(static_cast<std::int32_t>(10 + (90 * sent) / total));
      progress.SetStep({ProgressStage::kSending, static_cast<std::int64_t>(sent),
                        static_cast<std::int64_t>(total)});
      if (!connection.Write(Bytes(image.subspan(static_cast<std::size_t>(sent), chunk)),
                            Payload::kFirmware)) {
        write_ok = false;
        break;
      }
      sent += chunk;
    }
    if (write_ok) {
      progress.SetStep({ProgressStage::kSending, static_cast<std::int64_t>(total),
                        static_cast<std::int64_t>(total)});
      progress.SetProgressPos(100);
      connection.clock().Sleep(kWaitAfterCommandMs);
      ok = true;
    }
  }
  // Once the printer may have been told to take an image, a Cancel leaves it holding part of
  // one: the person is told so, after the connection is closed.
  const bool cut = !ok && opened && progress.IsCancelled();
  FinishWriteOnly(connection, ok);
  if (cut) {
    connection.trace().Event("conn", "cancelled: the printer may hold part of an image");
    connection.messages().ShowMessage(kIdsUpgradeCancelled);
  }
  return ok;
}

}  // namespace tavi
