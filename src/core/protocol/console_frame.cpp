#include "core/protocol/console_frame.h"

#include <span>

#include "core/protocol/check_byte.h"
#include "core/resources/constants.h"

namespace tavi {

std::optional<std::vector<std::uint8_t>> BuildConsoleFrame(std::string_view text) {
  if (text.size() > kMaxConsoleTextLength) return std::nullopt;
  std::vector<std::uint8_t> frame;
  frame.reserve(text.size() + 3);
  frame.push_back(static_cast<std::uint8_t>((text.size() >> 8) & 0xFFu));
  frame.push_back(static_cast<std::uint8_t>(text.size() & 0xFFu));
  for (char c : text) frame.push_back(static_cast<std::uint8_t>(c));
  frame.push_back(CheckByte(frame));
  return frame;
}

std::string HeadRankConsoleText(int head_index, std::string_view head_rank) {
  std::string text(kConsoleSetHeadRank);
  text += ' ';
  text += std::to_string(head_index);
  text += " \"";
  text += head_rank;
  text += "\"\n";
  text += kConsoleNvSync;
  text += kConsoleTaskDelay;
  text += kConsoleRs;
  return text;
}

}  // namespace tavi
