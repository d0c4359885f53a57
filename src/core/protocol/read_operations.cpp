// The operations that read chunked replies: Get Report and Get Parameters.
#include <cstddef>
#include <functional>
#include <string>

#include "core/connection/printer_connection.h"
#include "core/protocol/operations.h"
#include "core/resources/constants.h"
#include "core/ui/seams.h"

namespace tavi {
namespace {

// One reply-reading exchange: show the progress dialog, open, access-code line, command, 300 ms,
// then `collect`. Afterwards the closing zero byte is written when the open succeeded, the dialog
// is hidden and the connection is closed. True when every step succeeded.
bool RunReadExchange(PrinterConnection& connection, std::string_view command,
                     const std::function<bool()>& collect) {
  ProgressDialog& progress = connection.progress();
  progress.SetProgressPos(0);
  progress.Show(true);

  bool ok = false;
  bool opened = false;
  bool write_failed = false;
  if (connection.Open()) {
    opened = true;
    if (connection.Write(connection.AccessCodeLine()) && connection.Write(command)) {
      connection.clock().Sleep(kWaitAfterCommandMs);
      ok = collect();
    } else {
      write_failed = true;
    }
  }

  // The closing zero byte ends the printer's reply sequence. It is not tried on a connection
  // whose write has just failed: that failure has been reported once already. It goes out while
  // the dialog still shows: a device that stops taking data keeps the write waiting, and only
  // Cancel ends that.
  if (opened && !write_failed) {
    const std::byte zero{0};
    if (!connection.Write(std::span(&zero, 1))) ok = false;
  }
  progress.Show(false);
  if (!connection.Close()) ok = false;
  return ok;
}

}  // namespace

bool GetReport(PrinterConnection& connection, std::string& report) {
  std::string text;
  const bool ok = RunReadExchange(connection, kCmdGetReport, [&] {
    return WaitForChunkCount(connection, kMarkerReport) && CollectReportChunks(connection, text);
  });
  if (ok) report = std::move(text);
  return ok;
}

std::int32_t GetParameters(PrinterConnection& connection, std::span<std::uint8_t> dest) {
  std::int32_t result = -1;
  const bool ok = RunReadExchange(connection, kCmdGetParam, [&] {
    if (!WaitForChunkCount(connection, kMarkerReadParam)) return false;
    result = CollectParameterChunks(connection, dest);
    return result >= 0;
  });
  return ok ? result : -1;
}

}  // namespace tavi
