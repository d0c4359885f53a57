#include "core/protocol/check_byte.h"

namespace tavi {

std::uint8_t CheckByte(std::span<const std::uint8_t> bytes) {
  unsigned sum = 1;
  for (std::uint8_t b : bytes) sum += b;
  return static_cast<std::uint8_t>(sum & 0xFFu);
}

}  // namespace tavi
