// What the virtual printer has to say for itself: its status report and its parameter block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace tavi::sim {

// The size of the built-in parameter block: not a multiple of 128, so its last chunk is short.
inline constexpr std::size_t kBuiltinParamsSize = 3000;
// The printer carries this many heads (indexes 0..7).
inline constexpr int kHeadCount = 8;

// What the report reflects.
struct PrinterState {
  std::int32_t family = 2;
  std::size_t params_size = 0;
  std::uint32_t params_sum = 0;
  std::map<int, std::string> head_ranks;
  std::int64_t firmware_size = -1;  // -1: no upgrade received yet
  std::string firmware_sha256;
  std::int64_t restarts = 0;
  std::int64_t commands = 0;
};

// A deterministic parameter block of kBuiltinParamsSize bytes: a readable header, then bytes of
// every value (not text).
std::string BuiltinParams(std::int32_t family);

// The built-in report: several sections of plain text, a few KiB, with CRLF or LF line ends.
std::string BuildReport(const PrinterState& state, bool crlf);

}  // namespace tavi::sim
