// Console texts for the printer's firmware and the frame they travel in after "PIPE MONITOR":
// 2-byte big-endian length N, the N text bytes, check byte over the N + 2 bytes before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavi {

// The frame is built in a 516-byte buffer: length (2) + text + check byte (1).
inline constexpr std::size_t kConsoleFrameBufferSize = 516;
inline constexpr std::size_t kMaxConsoleTextLength = kConsoleFrameBufferSize - 3;

// Lines of the head rank console text (the first one also carries the index and the string).
inline constexpr std::string_view kConsoleSetHeadRank = "HeadInfo_SetHeadRank";
inline constexpr std::string_view kConsoleNvSync = "NvMemMan_Sync\n";
inline constexpr std::string_view kConsoleTaskDelay = "Task_Delay 80\n";

// The frame of `text`; nullopt when the text is longer than kMaxConsoleTextLength bytes.
std::optional<std::vector<std::uint8_t>> BuildConsoleFrame(std::string_view text);

// "HeadInfo_SetHeadRank <head_index> \"<head_rank>\"\n" "NvMemMan_Sync\n" "Task_Delay 80\n"
// "rs\n". The head index is zero-based (head "1" is 0); the string goes in unescaped.
std::string HeadRankConsoleText(int head_index, std::string_view head_rank);

}  // namespace tavi
