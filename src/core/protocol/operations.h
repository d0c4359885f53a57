// The printer operations: each is one open-to-close use of the printer connection, with the
// progress dialog shown while it runs. Failures show their one message at the point where they
// happen (through the connection); Cancel shows none.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tavi {

class PrinterConnection;

// The parameter buffers of the file flows hold 131,072 bytes; a block is 1..131,071 bytes.
inline constexpr std::int32_t kParameterCapacity = 131072;
// Firmware images go out in writes of at most this many bytes.
inline constexpr std::size_t kFirmwareChunk = 102400;

// Polls reply texts until a header under `marker` announces N chunks (N > 0); then the bar's
// range is 0..N and connection.chunk_count is N. False when a read fails (or was cancelled).
bool WaitForChunkCount(PrinterConnection& connection, std::string_view marker);
// Collects chunks 1..N after WaitForChunkCount. Report form: `text` becomes the assembled bytes
// up to the first zero byte (left unchanged on failure).
bool CollectReportChunks(PrinterConnection& connection, std::string& text);
// Parameter form: copies the block into `dest` (capped at its size); the count, or -1.
std::int32_t CollectParameterChunks(PrinterConnection& connection, std::span<std::uint8_t> dest);

// "GET REPORT". True when the whole report was collected and the exchange ended cleanly.
bool GetReport(PrinterConnection& connection, std::string& report);
// "GET PARAM". The number of bytes copied into `dest` (at most its size), or -1.
std::int32_t GetParameters(PrinterConnection& connection, std::span<std::uint8_t> dest);
// "PUT PARAM" (or "PUT ALL PARAM") with the image, then the console line "rs". Shows "Done." on
// success and returns true.
bool PutParameters(PrinterConnection& connection, std::span<const std::uint8_t> image, bool all);

// Inside an open connection: 300 ms, access-code line, "PIPE MONITOR", the console frame.
bool SendConsoleText(PrinterConnection& connection, std::string_view text);
// SendConsoleText("rs\n"), then 3000 ms.
bool SendRsLine(PrinterConnection& connection);
// Sends the head rank console text for the zero-based head index. Shows "Done." on success.
bool SetHeadRank(PrinterConnection& connection, int head_index, std::string_view head_rank);
// "BOOT_UpdateMain 0", reopen after reset, then the image in writes of at most 102,400 bytes.
// Shows "Done." on success.
bool UpgradeFirmware(PrinterConnection& connection, std::span<const std::uint8_t> image);

}  // namespace tavi
